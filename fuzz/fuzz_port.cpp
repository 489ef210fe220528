#include "fuzz/fuzz_port.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "serial/port.h"
#include "serial/port_arguments.h"
#include "diagnostics/system.h"

namespace fuzz_port {

namespace {

struct Device {
    bool present = false;
    const uint8_t* data = nullptr;
    std::size_t size = 0;
    std::size_t next = 0;        // next byte of data
    std::size_t chunk_left = 0;  // bytes left in the current chunk
    bool in_chunk = false;
};

Device device;
bool port_open = false;
int open_count = 0;
int write_count = 0;
int failing_write_no = -1;
unsigned failing_opens = 0;
int saved_error = 0;
std::vector<Event> log;

[[noreturn]] void finding(const char* what) {
    std::fprintf(stderr, "fuzz_port: %s\n", what);
    std::abort();
}

// Starts the next chunk; false when the data is used up.
bool next_chunk() {
    if (device.next >= device.size) return false;
    std::size_t length = device.data[device.next++];
    device.chunk_left = std::min(length, device.size - device.next);
    device.in_chunk = true;
    return true;
}

void restart() {
    port_open = false;
    open_count = 0;
    write_count = 0;
    failing_write_no = -1;
    failing_opens = 0;
    saved_error = 0;
    log.clear();
}

}  // namespace

void unplug() {
    device = Device{};
    restart();
}

void plug(const uint8_t* data, std::size_t size) {
    device = Device{true, data, size, 0, 0, false};
    restart();
}

void set_faults(int failing_write, unsigned open_failures) {
    failing_write_no = failing_write;
    failing_opens = open_failures;
}

const std::vector<Event>& events() { return log; }
bool is_open() { return port_open; }
int opens() { return open_count; }

}  // namespace fuzz_port

using namespace fuzz_port;

int open_port(const char* name, int32_t baud) {
    if (int refused = check_open_arguments(name)) return refused;
    if (port_open) finding("a port was opened while another one was open");
    int number = open_count++;
    bool refused = number < 32 && (failing_opens >> number & 1u) != 0;
    if (!device.present || refused) {
        saved_error = ENOENT;
        std::printf("\a\aError: cannot open COM port %s: %s\n", name, system_error_text());
        return -2;
    }
    if (set_comm_prop(name, baud) != 0) return -3;
    port_open = true;
    return 0;
}

// A rate change counts as an opening: the fuzzer's refusals reach it too.
int change_port_rate(const char* name, int32_t baud) {
    port_open = false;
    return open_port(name, baud);
}

int set_comm_prop(const char* name, int32_t baud) {
    return check_comm_prop_arguments(name, baud);
}

int write_port(const char* name, const void* bytes, int count) {
    if (int refused = check_write_arguments(name, bytes, count)) return refused;
    // Every byte is read, so that a count beyond the caller's buffer is found.
    std::string written(static_cast<const char*>(bytes), static_cast<std::size_t>(count));
    int number = write_count++;
    if (!port_open || number == failing_write_no) {
        saved_error = EIO;
        std::printf("\a\aError: wrote 0 of %d, got error on port %s: %s\n", count, name,
                    system_error_text());
        return -3;
    }
    log.push_back({true, count, 0, written});
    return count;
}

int read_port(const char* name, void* buffer, int size, int timeout_ms) {
    if (name == nullptr || buffer == nullptr || size <= 0 || timeout_ms <= 0) {
        finding("read_port with an invalid argument");
    }
    if (!port_open) finding("read_port on a closed port");
    auto* into = static_cast<unsigned char*>(buffer);
    // The last byte the caller offers must be its own, whatever arrives.
    volatile unsigned char last = into[size - 1];
    (void)last;

    Event read{false, size, timeout_ms, {}};
    if (device.in_chunk || next_chunk()) {
        while (device.chunk_left > 0 && static_cast<int>(read.bytes.size()) < size) {
            uint8_t byte = device.data[device.next++];
            --device.chunk_left;
            if (byte != 0) read.bytes.push_back(static_cast<char>(byte));
        }
        if (device.chunk_left == 0) device.in_chunk = false;
    }
    std::memcpy(into, read.bytes.data(), read.bytes.size());
    int got = static_cast<int>(read.bytes.size());
    log.push_back(std::move(read));
    return got;
}

// What has arrived and was not read yet is dropped: the rest of the chunk.
void purge_port() {
    if (!device.in_chunk) return;
    device.next += device.chunk_left;
    device.chunk_left = 0;
    device.in_chunk = false;
}

void close_port() { port_open = false; }

void print_open_hint() {}

int adapter_latency_timer_ms(const char*) { return -1; }

int last_system_error() { return saved_error; }

const char* system_error_text() { return std::strerror(saved_error); }

void sleep_ms(unsigned) {}

void end_abnormally() { std::abort(); }
