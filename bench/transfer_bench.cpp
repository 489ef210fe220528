// Two measures of the transfers.
//
// Unpaced: host time per firmware record and per download packet against a
// device that answers at once on an unpaced pty, next to a bare
// write/poll/read ping-pong of the same sizes over the same kind of pty, and
// the time the same exchange takes on the wire at 19200 baud. The device runs
// in a thread on the pty master and stamps every answer it sends; the time per
// exchange is the mean distance between its answers, so both runs are measured
// the same way.
//
// Paced: a whole firmware update of a 64 KiB image and a download at every
// host rate against the simulator on a paced line (vestrimond-sim --pace),
// next to the wire-time floor: every byte that crosses the line, both ways, at
// 10 bits a byte.
//
// Latency: the same firmware update and a download at 19200 with a USB
// adapter at the host's end that holds what it receives for its latency timer
// (vestrimond-sim --latency), at 16 ms as adapters come and at 1 ms as the
// port layer asks the driver for, next to the same floor.
//
// With the latency timer, the records' time is split: the wire (each record
// out and its answer back), the adapter's timer (a lone answer byte waits all
// of it), the simulator (from the record's last bit to its answer's first,
// with the wake-ups of both ends) and the host's turnaround (from the answer
// read to the next record written). The bench stamps the program's own reads
// and writes on the port: it stands in for the system's read and write.
//
// "transfer_bench unpaced", "transfer_bench paced" or "transfer_bench
// latency" runs one of the three.

#include <dlfcn.h>
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

#include "config/conf_parser.h"
#include "config/conf_record.h"
#include "rules/rule_parser.h"
#include "rules/rule_record.h"
#include "serial/connection.h"
#include "serial/port.h"
#include "transfer/download.h"
#include "transfer/firmware.h"
#include "transfer/framing.h"

using bench_clock = std::chrono::steady_clock;

// The program's reads and writes on a terminal, while a run is traced.
struct PortEvent {
    bench_clock::time_point at;  // a write's start, a read's end
    bool is_write;
    ssize_t bytes;
};
std::vector<PortEvent> port_events;  // room is made before the tracing starts
std::atomic<bool> tracing{false};

void trace_port(int fd, bench_clock::time_point at, bool is_write, ssize_t bytes) {
    if (tracing && bytes > 0 && fd > 2 && port_events.size() < port_events.capacity() &&
        isatty(fd)) {
        port_events.push_back({at, is_write, bytes});
    }
}

extern "C" ssize_t write(int fd, const void* bytes, size_t count) {
    static auto system_write =
        reinterpret_cast<ssize_t (*)(int, const void*, size_t)>(dlsym(RTLD_NEXT, "write"));
    auto at = bench_clock::now();
    ssize_t done = system_write(fd, bytes, count);
    trace_port(fd, at, true, done);
    return done;
}

extern "C" ssize_t read(int fd, void* buffer, size_t size) {
    static auto system_read =
        reinterpret_cast<ssize_t (*)(int, void*, size_t)>(dlsym(RTLD_NEXT, "read"));
    ssize_t done = system_read(fd, buffer, size);
    trace_port(fd, bench_clock::now(), false, done);
    return done;
}

namespace {

constexpr int record_count = 4000;
constexpr int packet_count = 4000;
constexpr int warm_up = 50;                  // answers left out at the start
constexpr int record_chars = 43;             // ":10", address, type, 16 data bytes, sum
constexpr int packet_bytes = 64;             // 60 payload bytes
constexpr double wire_bits_per_byte = 10.0;  // 8N1
constexpr double wire_baud = 19200.0;

// The device end. In the firmware dialogue it waits for "reset\n", prompts
// with 0x05 until the sync 0x16, acknowledges it and the 9-byte identifier,
// then acknowledges every record at its CR; in packet mode it acknowledges
// every packet once its length is complete.
class Device {
  public:
    enum class Mode { firmware_dialogue, records, packets };

    Device(int master, Mode mode) : master_(master) {
        stamps_.reserve(record_count + packet_count + 16);
        state_ = mode == Mode::firmware_dialogue ? State::await_reset
                 : mode == Mode::records         ? State::records
                                                 : State::packets;
        thread_ = std::thread([this] { run(); });
    }
    ~Device() {
        stop_ = true;
        thread_.join();
    }

    // Mean time between the answers after the warm-up, in microseconds.
    double mean_interval_us(int answers) const {
        size_t last = stamps_.size() - 1;
        size_t first = stamps_.size() - static_cast<size_t>(answers) + warm_up;
        auto span = std::chrono::duration<double, std::micro>(stamps_[last] - stamps_[first]);
        return span.count() / double(last - first);
    }
    size_t answers() const { return stamps_.size(); }

  private:
    enum class State { await_reset, prompting, identifier, records, packets };

    void run() {
        unsigned char buffer[1024];
        auto next_prompt = bench_clock::now();
        while (!stop_) {
            if (state_ == State::prompting && bench_clock::now() >= next_prompt) {
                send(0x05, false);
                next_prompt = bench_clock::now() + std::chrono::milliseconds(50);
            }
            pollfd watch{master_, POLLIN, 0};
            if (poll(&watch, 1, 5) <= 0 || !(watch.revents & POLLIN)) continue;
            ssize_t count = read(master_, buffer, sizeof buffer);
            for (ssize_t i = 0; i < count; ++i) take(buffer[i]);
        }
    }

    void take(unsigned char byte) {
        switch (state_) {
            case State::await_reset:
                tail_ += static_cast<char>(byte);
                if (tail_.size() > 6) tail_.erase(0, tail_.size() - 6);
                if (tail_ == "reset\n") state_ = State::prompting;
                break;
            case State::prompting:
                if (byte == 0x16) {
                    send(0x06, false);
                    state_ = State::identifier;
                    received_ = 0;
                }
                break;
            case State::identifier:
                if (++received_ == 9) {
                    send(0x06, false);
                    state_ = State::records;
                }
                break;
            case State::records:
                if (byte == '\r') send(0x06, true);
                break;
            case State::packets:
                if (received_ < 2) length_ = (length_ << 8) | byte;
                if (++received_ >= 2 && received_ == length_) {
                    send(0x06, true);
                    received_ = 0;
                    length_ = 0;
                }
                break;
        }
    }

    void send(unsigned char byte, bool stamped) {
        if (write(master_, &byte, 1) == 1 && stamped) stamps_.push_back(bench_clock::now());
    }

    int master_;
    State state_;
    std::string tail_;
    int received_ = 0;
    int length_ = 0;
    std::vector<bench_clock::time_point> stamps_;
    std::atomic<bool> stop_{false};
    std::thread thread_;
};

struct Pty {
    int master = -1;
    int keeper = -1;  // a slave descriptor held open, so the line never hangs up
    char path[128] = "";
};

bool open_pty(Pty& pty) {
    pty.master = posix_openpt(O_RDWR | O_NOCTTY);
    if (pty.master < 0 || grantpt(pty.master) != 0 || unlockpt(pty.master) != 0 ||
        ptsname_r(pty.master, pty.path, sizeof pty.path) != 0) {
        return false;
    }
    pty.keeper = open(pty.path, O_RDWR | O_NOCTTY);
    termios raw;
    if (pty.keeper < 0 || tcgetattr(pty.keeper, &raw) != 0) return false;
    cfmakeraw(&raw);
    return tcsetattr(pty.keeper, TCSANOW, &raw) == 0;
}

std::string record_line(unsigned address) {
    char text[64];
    unsigned sum = 0x10 + (address >> 8) + (address & 0xFF);
    int length = std::snprintf(text, sizeof text, ":10%04X00", address & 0xFFFF);
    for (int i = 0; i < 16; ++i) {
        unsigned byte = (address + static_cast<unsigned>(i) * 7) & 0xFF;
        sum += byte;
        length +=
            std::snprintf(text + length, sizeof text - static_cast<size_t>(length), "%02X", byte);
    }
    std::snprintf(text + length, sizeof text - static_cast<size_t>(length), "%02X",
                  (0x100 - (sum & 0xFF)) & 0xFF);
    return text;
}

// A firmware file of `count` data records of 16 bytes (no address records:
// the offsets wrap, which the loader and the check do not mind).
std::string write_firmware_file(int count) {
    char path[] = "/tmp/vestrimond-bench-XXXXXX";
    int fd = mkstemp(path);
    std::FILE* fp = fdopen(fd, "w");
    for (int i = 0; i < count; ++i) std::fprintf(fp, "%s\n", record_line(unsigned(i) * 16).c_str());
    std::fclose(fp);
    return path;
}

// Runs `work` with standard output sent to /dev/null, unbuffered as in the
// program, so that the progress line costs what a write costs.
template <typename Work>
int quietly(Work work) {
    std::fflush(stdout);
    int saved = dup(1);
    int null = open("/dev/null", O_WRONLY);
    dup2(null, 1);
    close(null);
    std::setvbuf(stdout, nullptr, _IONBF, 0);
    int result = work();
    std::fflush(stdout);
    dup2(saved, 1);
    close(saved);
    return result;
}

// The operator is ready at once.
void wait_for_enter() {}

// The program's own firmware update over COM1.
double program_per_record(Pty& pty) {
    std::string file = write_firmware_file(record_count);
    Device device(pty.master, Device::Mode::firmware_dialogue);
    int result = quietly([&] { return firmware("COM1", file.c_str(), wait_for_enter); });
    std::remove(file.c_str());
    if (result != 0 || device.answers() != size_t(record_count)) {
        std::fprintf(stderr, "firmware update failed: %d\n", result);
        std::exit(1);
    }
    return device.mean_interval_us(record_count);
}

// The program's packet framing over COM1.
double program_per_packet(Pty& pty) {
    static unsigned char image[packet_count * dwn_max_payload];
    for (size_t i = 0; i < sizeof image; ++i) image[i] = static_cast<unsigned char>(i * 13);
    Device device(pty.master, Device::Mode::packets);
    std::snprintf(port_name, sizeof port_name, "COM1");
    if (open_port(port_name, 19200) != 0) std::exit(1);
    int sent = quietly([&] { return dwn_write_file(image, int(sizeof image)); });
    close_port();
    if (sent != int(sizeof image)) {
        std::fprintf(stderr, "download failed: %d\n", sent);
        std::exit(1);
    }
    return device.mean_interval_us(packet_count);
}

// The bare exchange: write, poll, read one byte, nothing else.
double bare_per_exchange(Pty& pty, Device::Mode mode, const std::string& message, int count) {
    Device device(pty.master, mode);
    int fd = open(pty.path, O_RDWR | O_NOCTTY);
    for (int i = 0; i < count; ++i) {
        if (write(fd, message.data(), message.size()) != ssize_t(message.size())) std::exit(1);
        pollfd watch{fd, POLLIN, 0};
        unsigned char answer;
        if (poll(&watch, 1, 1000) != 1 || read(fd, &answer, 1) != 1) std::exit(1);
    }
    close(fd);
    return device.mean_interval_us(count);
}

void report(const char* what, double program_us, double bare_us, int wire_bytes) {
    double wire_us = wire_bytes * wire_bits_per_byte / wire_baud * 1e6;
    std::printf("%s\n", what);
    std::printf("  program         %8.1f us per exchange\n", program_us);
    std::printf("  bare ping-pong  %8.1f us per exchange\n", bare_us);
    std::printf("  ratio           %8.2f   (target at most 1.25)\n", program_us / bare_us);
    std::printf("  wire at 19200   %8.1f us (%d bytes of 10 bits); program time is %.3f %% of it\n",
                wire_us, wire_bytes, 100.0 * program_us / wire_us);
}

// The simulator on a paced line, as a child process; its pty is COM1.
class PacedDevice {
  public:
    // `latency_ms`: the adapter's latency timer at the host's end, 0 for none.
    explicit PacedDevice(int32_t rate, int latency_ms = 0) {
        int out[2];
        if (pipe(out) != 0) std::exit(1);
        std::string rate_text = std::to_string(rate);
        std::string latency_text = std::to_string(latency_ms);
        pid_ = fork();
        if (pid_ == 0) {
            dup2(out[1], 1);
            close(out[0]);
            execl(VESTRIMOND_SIM, VESTRIMOND_SIM, "--pace", "--baud", rate_text.c_str(),
                  "--latency", latency_text.c_str(), static_cast<char*>(nullptr));
            _exit(127);
        }
        close(out[1]);
        std::string path;
        char c;
        while (read(out[0], &c, 1) == 1 && c != '\n') path += c;
        close(out[0]);
        if (path.empty()) {
            std::fprintf(stderr, "the simulator did not start\n");
            std::exit(1);
        }
        setenv("VESTRIMOND_COM1", path.c_str(), 1);
    }
    ~PacedDevice() {
        kill(pid_, SIGTERM);
        waitpid(pid_, nullptr, 0);
    }

  private:
    pid_t pid_;
};

double seconds_since(bench_clock::time_point start) {
    return std::chrono::duration<double>(bench_clock::now() - start).count();
}

double wire_seconds(long bytes, int32_t rate) {
    return bytes * wire_bits_per_byte / rate;
}

// `fixed_waits`: the reads of the dialogue that wait out their whole time-out
// by design, while `bytes_meanwhile` of the bytes cross the line.
void report_paced(const char* what, double seconds, long bytes, int32_t rate, double fixed_waits,
                  long bytes_meanwhile) {
    double floor = wire_seconds(bytes, rate);
    std::printf("  %-26s %8.3f s  floor %8.3f s (%6ld bytes at %5d)  ratio %.4f", what, seconds,
                floor, bytes, rate, seconds / floor);
    std::printf("  without the %.0f ms of fixed waits %.4f\n", fixed_waits * 1000,
                (seconds - fixed_waits) / (floor - wire_seconds(bytes_meanwhile, rate)));
}

// The read time-out the port layer gives a read that receives nothing.
double idle_read_seconds(int timeout_ms, int size, int32_t rate) {
    return (timeout_ms + 10 + size * (10000 / rate)) / 1000.0;
}

// Where the time of a traced firmware update went: each record from its write
// to the read that got its answer (the wire both ways, the adapter's timer,
// the rest the simulator's and the wake-ups'), then to the next record's
// write (the host's turnaround).
void report_record_split(bench_clock::time_point start, double seconds, int latency_ms) {
    const double record_wire = wire_seconds(record_chars + 1 + 1, 19200);
    double answered = 0, turnaround = 0, first_record = -1;
    int records = 0;
    for (std::size_t i = 0; i < port_events.size(); ++i) {
        const PortEvent& sent = port_events[i];
        if (!sent.is_write || sent.bytes != record_chars + 1) continue;
        std::size_t answer = i + 1;
        while (answer < port_events.size() && port_events[answer].is_write) ++answer;
        if (answer == port_events.size()) break;
        if (first_record < 0) first_record = std::chrono::duration<double>(sent.at - start).count();
        ++records;
        answered += std::chrono::duration<double>(port_events[answer].at - sent.at).count();
        std::size_t next = answer + 1;
        while (next < port_events.size() && !port_events[next].is_write) ++next;
        if (next < port_events.size() && port_events[next].bytes == record_chars + 1) {
            turnaround += std::chrono::duration<double>(port_events[next].at -
                                                        port_events[answer].at).count();
        }
    }
    const double wire = records * record_wire, timer = records * latency_ms / 1000.0;
    std::printf("    %d records: wire %.3f s, adapter timer %.3f s, simulator and wake-ups "
                "%.3f s, host turnaround %.3f s; before the first record %.3f s, the rest "
                "%.3f s\n",
                records, wire, timer, answered - wire - timer, turnaround, first_record,
                seconds - first_record - answered - turnaround);
}

// A whole firmware update at 19200: the program's own update of a 64 KiB
// image in records of 16 bytes. The floor counts every byte of the dialogue:
// interrupt, reset, sync, identifier and records with their CR out; the
// prompt, the two acknowledgements and one answer per record back.
void paced_firmware(int latency_ms = 0) {
    constexpr int records = 4096;
    std::string file = write_firmware_file(records);
    PacedDevice device(19200, latency_ms);
    port_events.clear();
    port_events.reserve(8 * records + 64);
    tracing = latency_ms > 0;
    auto start = bench_clock::now();
    int result = quietly([&] { return firmware("COM1", file.c_str(), wait_for_enter); });
    double seconds = seconds_since(start);
    tracing = false;
    std::remove(file.c_str());
    if (result != 0) {
        std::fprintf(stderr, "firmware update failed: %d\n", result);
        std::exit(1);
    }
    long bytes = 2 + 6 + 1 + 9 + long(records) * (record_chars + 1) + 1 + 1 + 1 + records;
    // Waits of the dialogue itself: the drain before the warning, the read
    // after "reset", the wait for more prompt bytes after the first, and for
    // more answer bytes after the sync and after the identifier.
    double waits = idle_read_seconds(100, 1024, 19200) + idle_read_seconds(50, 32, 19200) +
                   idle_read_seconds(100, 19, 19200) + idle_read_seconds(30, 19, 19200) +
                   idle_read_seconds(200, 19, 19200);
    report_paced("firmware update, 64 KiB", seconds, bytes, 19200, waits, 2 + 6);
    if (latency_ms > 0) report_record_split(start, seconds, latency_ms);
}

// The program's download of examples/site.cfg and examples/site.rul at
// `rate`, from the "download" command to the finish packet's answer. The
// floor counts the command, every packet and every answer.
void paced_download(int32_t rate, int latency_ms = 0) {
    PacedDevice device(rate, latency_ms);
    std::snprintf(port_name, sizeof port_name, "COM1");
    if (quietly([&] { return connect_device(rate, false); }) != 0) {
        std::fprintf(stderr, "no connection at %d\n", rate);
        std::exit(1);
    }
    auto start = bench_clock::now();
    int result = quietly([] {
        if (write_port(port_name, "download\n", 9) != 9) return -9;
        return dwn_download();
    });
    double seconds = seconds_since(start);
    close_port();
    connected = 0;
    if (result != 0) {
        std::fprintf(stderr, "download failed at %d: %d\n", rate, result);
        std::exit(1);
    }
    const long rules = long(conf_record.rule_count) * 28;
    const long packets = 3 + (904 + 59) / 60 + (rules + 59) / 60;
    const long bytes = 9 + 3 * 21 + 904 + rules + ((904 + 59) / 60 + (rules + 59) / 60) * 4 + packets;
    char what[40];
    std::snprintf(what, sizeof what, "download at %d", rate);
    // The download first reads what the device may have left, for 10 ms,
    // while its command crosses the line.
    report_paced(what, seconds, bytes, rate, idle_read_seconds(10, 64, rate), 9);
}

void read_example_files() {
    quietly([] {
        conf_reset();
        conf_process(TEST_SOURCE_DIR "/examples/site.cfg");
        return rules_process(TEST_SOURCE_DIR "/examples/site.rul");
    });
}

void paced() {
    read_example_files();
    std::printf("Paced line (vestrimond-sim --pace): program time next to the wire-time floor\n");
    for (int32_t rate : {4800, 9600, 19200, 38400, 57600}) paced_download(rate);
    paced_firmware();
}

void latency() {
    read_example_files();
    std::printf("USB adapter's latency timer (vestrimond-sim --pace --latency MS): program time "
                "next to the wire-time floor\n");
    for (int latency_ms : {16, 1}) {
        std::printf(" timer %d ms:\n", latency_ms);
        paced_firmware(latency_ms);
        paced_download(19200, latency_ms);
    }
}

void unpaced() {
    Pty pty;
    if (!open_pty(pty)) {
        std::perror("pty");
        std::exit(1);
    }
    setenv("VESTRIMOND_COM1", pty.path, 1);

    std::string packet(packet_bytes, '\x5a');
    packet[0] = 0;
    packet[1] = packet_bytes;
    double record_program = program_per_record(pty);
    double record_bare =
        bare_per_exchange(pty, Device::Mode::records, record_line(0) + "\r", record_count);
    double packet_program = program_per_packet(pty);
    double packet_bare = bare_per_exchange(pty, Device::Mode::packets, packet, packet_count);

    report("Firmware record: 43 characters and CR out, one answer byte back", record_program,
           record_bare, record_chars + 1 + 1);
    report("Download packet: 64 bytes out, one answer byte back", packet_program, packet_bare,
           packet_bytes + 1);
}

}  // namespace

int main(int argc, char** argv) {
    std::string only = argc > 1 ? argv[1] : "";
    if (only.empty() || only == "unpaced") unpaced();
    if (only.empty() || only == "paced") paced();
    if (only.empty() || only == "latency") latency();
    return 0;
}
