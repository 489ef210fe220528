#include "sim/pty_line.h"

#include <fcntl.h>
#include <poll.h>
#include <stdlib.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>

#include "sim/log.h"
#include "sim/stop_signal.h"
#include "sim/tty_settings.h"

namespace sim {

namespace {

// Every wait is cut into slices of this length, so that the host's rate is
// sampled often and a stop is noticed soon.
constexpr int slice_ms = 10;

// A byte counts as sent at the device's rate when the host's end was at that
// rate at some sample this recent: the host may close and reopen at a new rate
// before the device has picked up what it wrote at the old one.
constexpr auto agreement_window = std::chrono::milliseconds(50);

// How long a write may wait for room before the rest is dropped.
constexpr int write_room_ms = 1000;

void pause_ms(int milliseconds) {
    pollfd none{-1, 0, 0};
    poll(&none, 1, milliseconds);
}

}  // namespace

PtyLine::~PtyLine() {
    if (master_ >= 0) close(master_);
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
    set_rate(rate);
    return true;
}

void PtyLine::set_rate(int32_t rate) {
    log_line("device rate %ld", static_cast<long>(rate));
    rate_ = rate;
    last_agreement_ = clock::time_point{};
    rates_agree();
}

bool PtyLine::rates_agree() {
    auto now = clock::now();
    if (line_rate(master_) == rate_) last_agreement_ = now;
    return now - last_agreement_ <= agreement_window;
}

PtyLine::Poll PtyLine::poll_master(int timeout_ms) {
    pollfd watch{master_, POLLIN, 0};
    int ready = poll(&watch, 1, timeout_ms);
    if (ready <= 0) return Poll::quiet;
    if (watch.revents & POLLIN) return Poll::data;
    return Poll::host_absent;
}

// Reads what the host sent into received_; the count, 0 when nothing was
// there or it was lost, -1 when the host's end is closed.
int PtyLine::receive() {
    ssize_t count = read(master_, received_, sizeof received_);
    if (count < 0) return errno == EIO ? -1 : 0;
    if (count == 0) return -1;
    if (!rates_agree()) {
        log_line("lost %d bytes: host at %ld, device at %ld", static_cast<int>(count),
                 static_cast<long>(line_rate(master_)), static_cast<long>(rate_));
        return 0;
    }
    next_ = 0;
    end_ = static_cast<int>(count);
    return end_;
}

void PtyLine::cut_line() {
    if (master_ < 0) return;
    log_line("line cut");
    close(master_);
    master_ = -1;
    next_ = end_ = 0;
}

int PtyLine::read_byte(int timeout_ms) {
    if (cut()) return hung_up;
    if (next_ < end_) return received_[next_++];
    const bool limited = timeout_ms >= 0;
    const auto deadline = clock::now() + std::chrono::milliseconds(std::max(timeout_ms, 0));
    for (;;) {
        if (stop_requested()) return hung_up;
        int slice = slice_ms;
        if (limited) {
            auto left = std::chrono::ceil<std::chrono::milliseconds>(deadline - clock::now());
            slice = static_cast<int>(std::clamp<long long>(left.count(), 0, slice_ms));
        }
        Poll state = poll_master(slice);
        int got = state == Poll::data ? receive() : 0;
        if (got > 0) {
            host_absent_ = false;
            return received_[next_++];
        }
        if (got < 0 || state == Poll::host_absent) {
            if (!host_absent_) {
                host_absent_ = true;
                absent_since_ = clock::now();
                log_line("host closed the line");
            }
            if (clock::now() - absent_since_ >= std::chrono::milliseconds(hang_up_after_ms)) {
                return hung_up;
            }
            pause_ms(slice);
        } else if (state == Poll::quiet) {
            rates_agree();
            if (host_absent_) log_line("host opened the line");
            host_absent_ = false;
        }
        if (limited && clock::now() >= deadline) return timed_out;
    }
}

void PtyLine::wait_for_host() {
    while (!stop_requested() && !cut()) {
        pollfd watch{master_, POLLIN, 0};
        poll(&watch, 1, 0);
        if (!(watch.revents & POLLHUP) || (watch.revents & POLLIN)) return;
        pause_ms(slice_ms);
    }
}

void PtyLine::write(const void* bytes, std::size_t count) {
    if (cut()) return;
    const auto* next = static_cast<const unsigned char*>(bytes);
    const auto deadline = clock::now() + std::chrono::milliseconds(write_room_ms);
    while (count > 0) {
        ssize_t done = ::write(master_, next, count);
        if (done > 0) {
            next += done;
            count -= static_cast<std::size_t>(done);
            continue;
        }
        if ((done < 0 && errno != EAGAIN && errno != EINTR) || clock::now() >= deadline) break;
        pollfd watch{master_, POLLOUT, 0};
        poll(&watch, 1, slice_ms);
    }
    if (count > 0) log_line("dropped %zu bytes the host did not take", count);
}

}  // namespace sim
