#include "sim/pty_line.h"

#include <fcntl.h>
#include <poll.h>
#include <stdlib.h>
#include <sys/inotify.h>
#include <sys/prctl.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

#include "sim/log.h"
#include "sim/stop_signal.h"
#include "sim/tty_settings.h"

namespace sim {

namespace {

using std::chrono::milliseconds;

// Every wait is cut into slices of this length, so that the host's rate is
// sampled often and a stop is noticed soon.
constexpr milliseconds slice(10);

// A device's write this soon after a byte arrived is its answer to that byte.
constexpr milliseconds answer_at_once(20);

// Bytes that reach the host this much after their time are logged.
constexpr milliseconds late(20);

// How long bytes may wait for the host to take them before they are dropped.
constexpr milliseconds write_room(1000);

// The line stops taking bytes from the pty while this many are on their way
// to the device: a host that floods the line waits, as behind a full buffer.
constexpr size_t in_flight_limit = 4096;
constexpr size_t outgoing_limit = 4096;

// What a USB adapter (an FTDI chip at full speed) hands on at most in one
// packet: 64 bytes, two of them its status.
constexpr size_t adapter_packet = 62;

timespec time_until(wire_clock::time_point until) {
    auto left = std::max(until - wire_clock::now(), wire_clock::duration::zero());
    auto ns = std::chrono::duration_cast<std::chrono::nanoseconds>(left).count();
    return timespec{static_cast<time_t>(ns / 1'000'000'000), static_cast<long>(ns % 1'000'000'000)};
}

void pause_until(wire_clock::time_point until) {
    timespec wait = time_until(until);
    ppoll(nullptr, 0, &wait, nullptr);
}

// Recorded bytes are in the file at once: a test reads it while the line runs.
void save(std::FILE* file, const unsigned char* bytes, size_t count) {
    if (file == nullptr) return;
    std::fwrite(bytes, 1, count, file);
    std::fflush(file);
}

}  // namespace

void PtyLine::record(std::FILE* from_host, std::FILE* to_host) {
    record_from_host_ = from_host;
    record_to_host_ = to_host;
}

void PtyLine::Rates::add(int32_t value) {
    auto end = rate.begin() + count;
    auto found = std::find(rate.begin(), end, value);
    if (found != end) {
        std::rotate(found, found + 1, end);
        return;
    }
    if (count == static_cast<int>(rate.size())) {
        std::rotate(rate.begin(), rate.begin() + 1, rate.end());
        --count;
    }
    rate[static_cast<size_t>(count++)] = value;
}

bool PtyLine::Rates::has(int32_t value) const {
    return std::find(rate.begin(), rate.begin() + count, value) != rate.begin() + count;
}

PtyLine::PtyLine(const LineOptions& options)
    : options_(options),
      to_device_(options, LineFaults::Direction::to_device),
      to_host_(options, LineFaults::Direction::to_host) {}

PtyLine::~PtyLine() {
    if (master_ >= 0) close(master_);
    if (reopens_ >= 0) close(reopens_);
}

bool PtyLine::open(int32_t rate) {
    master_ = posix_openpt(O_RDWR | O_NOCTTY | O_NONBLOCK);
    if (master_ < 0 || grantpt(master_) != 0 || unlockpt(master_) != 0 ||
        ptsname_r(master_, slave_path_, sizeof slave_path_) != 0) {
        return false;
    }
    // The slave starts raw at the device's rate, so that a host that does not
    // set the line up still meets the device.
    int slave = ::open(slave_path_, O_RDWR | O_NOCTTY);
    if (slave < 0) return false;
    bool set = set_raw_line(slave, rate) == 0;
    int saved = errno;
    close(slave);
    errno = saved;
    if (!set) return false;
    // A paced line wakes for every frame: the kernel's default slack of
    // 50 us on each wake would add up to a slower line.
    if (options_.pace) prctl(PR_SET_TIMERSLACK, 1000UL);
    set_rate(rate);
    host_rates_.add(host_rate());
    // Opens and closes of the slave are queued by the kernel as they happen.
    // Without that report the line still sees every change of rate, the one
    // change that matters for what the device hears.
    reopens_ = inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
    if (reopens_ >= 0 && inotify_add_watch(reopens_, slave_path_, IN_OPEN | IN_CLOSE) < 0) {
        close(reopens_);
        reopens_ = -1;
    }
    return true;
}

void PtyLine::set_rate(int32_t rate) {
    log_line("device rate %ld", static_cast<long>(rate));
    rate_ = rate;
}

int32_t PtyLine::host_rate() const {
    return line_rate(master_);
}

// A host whose end is at 0 baud (or shows no rate to read) has hung up,
// unless its end shows no rate at all (ignore_host_rate).
bool PtyLine::hangs_up_at(int32_t rate) const {
    return !options_.ignore_host_rate && rate <= 0;
}

PtyLine::Poll PtyLine::poll_master(clock::time_point until) {
    // A full line takes nothing more from the pty: only a hang-up is watched.
    short events = in_flight_.size() < in_flight_limit ? POLLIN : 0;
    pollfd watch{master_, events, 0};
    timespec wait = time_until(until);
    int ready = ppoll(&watch, 1, &wait, nullptr);
    if (ready <= 0) return Poll::quiet;
    if (watch.revents & POLLIN) return Poll::data;
    return (watch.revents & (POLLHUP | POLLERR)) ? Poll::host_absent : Poll::quiet;
}

// True when the host opened or closed its end since the last call. Some
// hosts open the port anew before they close the old handle: either counts.
bool PtyLine::host_reopened() {
    if (reopens_ < 0) return false;
    bool reopened = false;
    alignas(inotify_event) char events[1024];
    while (read(reopens_, events, sizeof events) > 0) reopened = true;
    return reopened;
}

// Notes a change of the host's end: a reopen, or a rate it was not seen at
// since it last settled. `rate` is the end's rate now. Until the end has
// settled, the pty may still hand over bytes written before the change.
void PtyLine::watch_host_end(int32_t rate, bool reopened) {
    if (reopened || !host_rates_.has(rate)) {
        settling_ = true;
        changed_at_ = clock::now();
    }
    host_rates_.add(rate);
}

// Called when the pty has nothing to read: a while after the last change,
// every byte written before it has been taken.
void PtyLine::settle_host_end() {
    const int32_t rate = host_rate();
    watch_host_end(rate, host_reopened());
    if (settling_ && clock::now() - changed_at_ >= milliseconds(settle_ms)) {
        settling_ = false;
        host_rates_ = Rates{};
        host_rates_.add(rate);
    }
}

// Takes what the host sent from the pty and puts it on the line; the count,
// 0 when nothing was there, -1 when the host's end is closed.
int PtyLine::receive() {
    const bool reopened_before = host_reopened();
    unsigned char bytes[512];
    ssize_t count = read(master_, bytes, sizeof bytes);
    if (count < 0) return errno == EIO ? -1 : 0;
    if (count == 0) return -1;
    save(record_from_host_, bytes, static_cast<size_t>(count));
    // A reopen reported just after the read may have followed bytes of this
    // very read: it counts for these bytes and the next ones.
    const bool reopened_since = host_reopened();
    const int32_t rate_now = host_rate();
    watch_host_end(rate_now, reopened_before || reopened_since);
    // At 0 baud the host has hung up: what it sends does not reach the line.
    if (hangs_up_at(rate_now)) {
        log_line("lost %zd bytes the host sent at 0 baud", count);
        return -1;
    }
    // A host that changed its rate (by reopening, or as QEMU's serial backend
    // does, by setting the pty at once) may have written these bytes before
    // the change: until its end settles they count as sent at any rate it
    // was seen at, the one it has now last.
    Rates sent_at = settling_ ? host_rates_ : Rates{};
    sent_at.add(rate_now);

    const auto now = clock::now();
    const int32_t sender_rate = options_.ignore_host_rate ? rate_ : rate_now;
    const int32_t timed_at = options_.pace ? sender_rate : 0;
    for (ssize_t i = 0; i < count; ++i) {
        in_flight_.push_back({bytes[i], from_host_.send(now, timed_at), sent_at});
    }
    return static_cast<int>(count);
}

// Moves the next byte whose frame has ended from the line to the device, as
// the device's receiver hears it; true when the device has a byte to read.
// One byte at a time: each is heard at the rate the device has when it takes
// the byte, after what the bytes before it made the device do.
bool PtyLine::take_arrived() {
    const auto now = clock::now();
    while (heard_.empty() && !in_flight_.empty() && in_flight_.front().arrival <= now) {
        Incoming sent = in_flight_.front();
        in_flight_.pop_front();
        last_arrival_ = sent.arrival;
        int byte = to_device_.pass(sent.byte);
        if (byte < 0) {
            log_line("lost a byte from the host");
            continue;
        }
        if (options_.ignore_host_rate || sent.sent_at.has(rate_)) {
            heard_.push_back(static_cast<uint8_t>(byte));
            continue;
        }
        Misheard misheard = hear(static_cast<uint8_t>(byte), sent.sent_at.newest(), rate_);
        log_line("0x%02x sent at %ld heard at %ld as %d bytes", byte,
                 static_cast<long>(sent.sent_at.newest()), static_cast<long>(rate_),
                 misheard.count);
        heard_.insert(heard_.end(), misheard.bytes.begin(), misheard.bytes.begin() + misheard.count);
    }
    return !heard_.empty();
}

void PtyLine::send_arrived() {
    const auto now = clock::now();
    int32_t host = 0;  // read once the first byte arrives
    while (!outgoing_.empty() && outgoing_.front().arrival <= now) {
        Outgoing sent = outgoing_.front();
        outgoing_.pop_front();
        // A loaded machine can hold the simulator up: say so where it may
        // make the host's time-out run out.
        if (now - sent.arrival > late) {
            log_line("byte to the host late by %lld ms",
                     static_cast<long long>(std::chrono::duration_cast<milliseconds>(
                                                now - sent.arrival).count()));
        }
        int byte = to_host_.pass(sent.byte);
        if (byte < 0) {
            log_line("lost a byte to the host");
            continue;
        }
        if (host == 0) host = host_rate();
        // A host at 0 baud has hung up: the byte is lost, as to a closed end.
        if (hangs_up_at(host)) {
            host = -1;
            log_line("lost a byte to the host at 0 baud");
            continue;
        }
        uint8_t clean = static_cast<uint8_t>(byte);
        if (options_.ignore_host_rate || host == sent.sent_at) {
            hand_to_host(&clean, 1, sent.arrival);
            continue;
        }
        Misheard misheard = hear(clean, sent.sent_at, host);
        hand_to_host(misheard.bytes.data(), static_cast<size_t>(misheard.count), sent.arrival);
    }
    if (!adapter_.empty() && now >= adapter_due_) {
        to_master_.insert(to_master_.end(), adapter_.begin(), adapter_.end());
        adapter_.clear();
    }
    while (!to_master_.empty()) {
        unsigned char bytes[256];
        size_t count = std::min(to_master_.size(), sizeof bytes);
        std::copy_n(to_master_.begin(), count, bytes);
        ssize_t done = ::write(master_, bytes, count);
        if (done < 0 && errno != EAGAIN && errno != EINTR) {
            log_line("dropped %zu bytes: %s", to_master_.size(), std::strerror(errno));
            to_master_.clear();
        }
        if (done <= 0) break;
        save(record_to_host_, bytes, static_cast<size_t>(done));
        to_master_.erase(to_master_.begin(), to_master_.begin() + done);
        unsent_since_ = now;
    }
    if (to_master_.empty()) {
        unsent_since_ = now;
    } else if (now - unsent_since_ > write_room) {
        log_line("dropped %zu bytes the host did not take", to_master_.size());
        to_master_.clear();
    }
}

// Bytes the host's end received at `arrival`: straight to the pty, or held by
// the adapter.
void PtyLine::hand_to_host(const uint8_t* bytes, std::size_t count,
                           clock::time_point arrival) {
    if (options_.latency_ms <= 0) {
        to_master_.insert(to_master_.end(), bytes, bytes + count);
        return;
    }
    for (std::size_t i = 0; i < count; ++i) {
        if (adapter_.empty()) adapter_due_ = arrival + milliseconds(options_.latency_ms);
        adapter_.push_back(bytes[i]);
        if (adapter_.size() == adapter_packet) {
            to_master_.insert(to_master_.end(), adapter_.begin(), adapter_.end());
            adapter_.clear();
        }
    }
}

void PtyLine::cut_line() {
    if (master_ < 0) return;
    log_line("line cut");
    close(master_);
    master_ = -1;
    in_flight_.clear();
    heard_.clear();
    outgoing_.clear();
    adapter_.clear();
    to_master_.clear();
}

int PtyLine::read_byte(int timeout_ms) {
    if (cut()) return hung_up;
    const bool limited = timeout_ms >= 0;
    const auto deadline = clock::now() + milliseconds(std::max(timeout_ms, 0));
    auto next_heard = [this] {
        int byte = heard_.front();
        heard_.pop_front();
        return byte;
    };
    for (;;) {
        if (stop_requested()) return hung_up;
        send_arrived();
        if (take_arrived()) return next_heard();

        auto now = clock::now();
        auto wake = now + slice;
        if (limited) wake = std::min(wake, deadline);
        if (!in_flight_.empty()) wake = std::min(wake, in_flight_.front().arrival);
        if (!outgoing_.empty()) wake = std::min(wake, outgoing_.front().arrival);
        if (!adapter_.empty()) wake = std::min(wake, adapter_due_);
        if (!to_master_.empty()) wake = std::min(wake, now + milliseconds(1));

        Poll state = poll_master(wake);
        int got = state == Poll::data ? receive() : 0;
        // Setting the line to 0 baud is how a host hangs up a serial line.
        if (got == 0 && state != Poll::host_absent && hangs_up_at(host_rate())) got = -1;
        if (got > 0) {
            host_absent_ = false;
        } else if (got < 0 || state == Poll::host_absent) {
            if (!host_absent_) {
                host_absent_ = true;
                absent_since_ = clock::now();
                log_line("host closed the line");
            }
            bool nothing_left = in_flight_.empty() && heard_.empty();
            if (nothing_left && clock::now() - absent_since_ >= milliseconds(hang_up_after_ms)) {
                return hung_up;
            }
            pause_until(wake);
        } else {
            settle_host_end();
            if (host_absent_) log_line("host opened the line");
            host_absent_ = false;
        }
        if (limited && clock::now() >= deadline) {
            send_arrived();
            return take_arrived() ? next_heard() : timed_out;
        }
    }
}

void PtyLine::wait_for_host() {
    while (!stop_requested() && !cut()) {
        pollfd watch{master_, POLLIN, 0};
        poll(&watch, 1, 0);
        bool away = (watch.revents & POLLHUP) || hangs_up_at(host_rate());
        if (!away || (watch.revents & POLLIN)) return;
        pause_until(clock::now() + slice);
    }
}

void PtyLine::write(const void* bytes, std::size_t count) {
    if (cut()) return;
    const auto* next = static_cast<const unsigned char*>(bytes);
    // The device answers the moment a byte has arrived: the time the
    // simulator took to get to that byte is not the line's.
    auto now = clock::now();
    if (now - last_arrival_ < answer_at_once) now = last_arrival_;
    const int32_t timed_at = options_.pace ? rate_ : 0;
    for (std::size_t i = 0; i < count; ++i) {
        outgoing_.push_back({next[i], from_device_.send(now, timed_at), rate_});
    }
    send_arrived();
    // A device that writes faster than its line carries waits for room.
    while (outgoing_.size() > outgoing_limit && !stop_requested()) {
        pause_until(outgoing_.front().arrival);
        send_arrived();
    }
}

void PtyLine::print_counts(std::FILE* stream) const {
    std::fprintf(stream,
                 "vestrimond-sim: line: %llu bytes from the host, %llu to the host; "
                 "%llu with a bit flipped, %llu lost\n",
                 static_cast<unsigned long long>(to_device_.bytes()),
                 static_cast<unsigned long long>(to_host_.bytes()),
                 static_cast<unsigned long long>(to_device_.flipped() + to_host_.flipped()),
                 static_cast<unsigned long long>(to_device_.dropped() + to_host_.dropped()));
}

}  // namespace sim
