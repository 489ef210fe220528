// The device's answers through the connection, the loop test, the download
// and the firmware update, each run against a fuzz_port device.
//
// Input: byte 0 picks the dialogue, byte 1 is the host's write that fails
// (255: none), byte 2 the openings that are refused (a bit each), byte 3 a
// dialogue parameter (loop test iterations, rule count); the rest are the
// device's answers as fuzz_port::plug reads them.

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <string>
#include <string_view>

#include "config/conf_record.h"
#include "fuzz/fuzz_port.h"
#include "fuzz/fuzz_support.h"
#include "serial/connection.h"
#include "serial/port.h"
#include "serial/serial_test.h"
#include "transfer/download.h"
#include "transfer/firmware.h"

namespace {

using fuzz_port::Event;

constexpr char firmware_image[] =
    ":10000000000102030405060708090A0B0C0D0E0F78\n"
    "; a comment line between the records\n"
    ":10001000101112131415161718191A1B1C1D1E1F68\n"
    ":00000001FF\n";
constexpr int firmware_records = 3;

const char* firmware_path;

struct Params {
    int failing_write;
    unsigned open_failures;
    uint8_t value;
};

bool delivered(const Event& e, std::string_view bytes) {
    return !e.is_write && e.bytes == bytes;
}

// The connection's result and its state agree: only 0 leaves one open.
void check_connection_state(int result) {
    bool open = connected == 1 && fuzz_port::is_open();
    expect((result == 0) == open, "connection result and state disagree");
    if (result != 0) expect(connected == 0 && !fuzz_port::is_open(), "failure left a port open");
}

void first_connection() {
    std::snprintf(port_name, sizeof port_name, "COM1");
    int result = connect_device(19200, false);
    expect(result == 0 || result == 2 || result == 3 || result == 4,
           "first connection result outside 0, 2, 3, 4");
    check_connection_state(result);
    if (result != 0) return;
    // The identify answer is the one read of 200 bytes.
    for (const Event& e : fuzz_port::events()) {
        if (e.is_write || e.size != 200) continue;
        std::size_t name = e.bytes.find("Vestrimond");
        expect(name != std::string::npos && e.bytes.find("Version ", name) != std::string::npos,
               "connected without the name and version in the answer");
    }
}

void open_connection() {
    std::snprintf(port_name, sizeof port_name, "COM1");
    connected = open_port(port_name, 19200) == 0 ? 1 : 0;
}

void reconnection() {
    open_connection();
    if (!connected) return;
    int result = connect_device(57600, true);
    expect(result == 0 || result == 2 || result == 7 || result == 8,
           "re-connection result outside 0, 2, 7, 8");
    check_connection_state(result);
    if (result == 0) {
        expect(fuzz_port::events().back().bytes.find("Vestro> ") != std::string::npos,
               "re-connected without the prompt in the last answer");
    }
}

void loop_test(const Params& p) {
    open_connection();
    if (!connected) return;
    int iterations = p.value % 3 + 1;
    std::string count = std::to_string(iterations);
    serial_test(44, count.c_str());
    if (!connected) {
        expect(!fuzz_port::is_open(), "failed loop test left the port open");
        return;
    }
    // Passed: every character came back unchanged, then the end byte went.
    const auto& events = fuzz_port::events();
    int echoes = 0;
    for (std::size_t i = 0; i + 1 < events.size(); ++i) {
        if (events[i].is_write && events[i].size == 1 && events[i].bytes != "\x03") {
            expect(delivered(events[i + 1], events[i].bytes), "passed without the echo");
            ++echoes;
        }
    }
    expect(echoes == 63 * iterations, "passed without every character");
    expect(events.back().is_write && events.back().bytes == "\x03", "no end byte after a pass");
}

void download(const Params& p) {
    open_connection();
    if (!connected) return;
    conf_record.rule_count = p.value;
    int result = dwn_download();
    expect(result <= 0 && result >= -5, "download result outside 0..-5");
    expect(fuzz_port::is_open(), "the download closed the port itself");
    if (result != 0) return;
    // Success: every packet was finally acknowledged, the finish packet last.
    int rules = p.value < 30 ? p.value : 30;
    int packets = 1 + 16 + 1 + (rules * 28 + 59) / 60 + 1;
    const auto& events = fuzz_port::events();
    int acks = 0;
    for (std::size_t i = 0; i + 1 < events.size(); ++i) {
        if (events[i].is_write && delivered(events[i + 1], "\x06")) ++acks;
    }
    expect(acks == packets, "download succeeded without an ACK for every packet");
    const Event& finish = events[events.size() - 2];
    expect(finish.is_write && finish.bytes.substr(2, 10) == "-cestfini-",
           "download succeeded without the finish packet last");
}

// The operator is ready at once.
void no_enter() {}

void firmware_update() {
    int result = firmware("COM1", firmware_path, no_enter);
    expect(result == 0 || (result <= -5 && result >= -14), "firmware result outside its codes");
    expect(!fuzz_port::is_open(), "the update left the port open");
    if (result != 0) return;
    int acks = 0;
    for (const Event& e : fuzz_port::events()) {
        if (!e.is_write && e.size == 1 && e.timeout_ms == 100 && e.bytes == "\x06") ++acks;
    }
    expect(acks == firmware_records, "update succeeded without an ACK for every record");
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    discard_program_output();
    firmware_path = (new InputFile)->hold(reinterpret_cast<const uint8_t*>(firmware_image),
                                          sizeof firmware_image - 1);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 4) return 0;
    Params p{data[1] == 255 ? -1 : data[1], data[2], data[3]};
    reset_program_state();
    fuzz_port::plug(data + 4, size - 4);
    fuzz_port::set_faults(p.failing_write, p.open_failures);
    switch (data[0] % 5) {
        case 0: first_connection(); break;
        case 1: reconnection(); break;
        case 2: loop_test(p); break;
        case 3: download(p); break;
        case 4: firmware_update(); break;
    }
    close_port();
    return 0;
}
