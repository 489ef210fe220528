#include <gtest/gtest.h>

#include <cstdio>
#include <string>

#include "serial/comm_properties_win32.h"
#include "serial/port.h"

namespace {

// What a serial port that can do the link offers.
COMMPROP capable_port() {
    COMMPROP properties{};
    properties.dwSettableParams = SP_PARITY | SP_BAUD | SP_DATABITS | SP_STOPBITS;
    properties.wSettableData = DATABITS_7 | DATABITS_8;
    properties.wSettableStopParity = STOPBITS_10 | STOPBITS_20 | PARITY_NONE | PARITY_EVEN;
    properties.dwProvCapabilities = PCF_TOTALTIMEOUTS | PCF_INTTIMEOUTS | PCF_DTRDSR;
    return properties;
}

TEST(CommProperties, FirstMissingCapabilityRefusesThePortWithTheValueRead) {
    struct Case {
        const char* what;
        void (*change)(COMMPROP&);
        int code;
        const char* message;
    } cases[] = {
        {"capable port", [](COMMPROP&) {}, 0, ""},
        {"no parity setting", [](COMMPROP& p) { p.dwSettableParams &= ~SP_PARITY; }, -7,
         "\a\aError: required comm properties for port COM3 not settable: Settable Params "
         "0x0000000e\n"},
        {"no stop bits setting", [](COMMPROP& p) { p.dwSettableParams = SP_BAUD; }, -7,
         "\a\aError: required comm properties for port COM3 not settable: Settable Params "
         "0x00000002\n"},
        {"7 data bits only", [](COMMPROP& p) { p.wSettableData = DATABITS_7; }, -9,
         "\a\aError: 8 data bits comm properties for port COM3 not settable: Settable Data "
         "0x0004\n"},
        {"parity always on", [](COMMPROP& p) { p.wSettableStopParity &= ~PARITY_NONE; }, -10,
         "\a\aError: 1 stop bit, no parity comm properties for port COM3 not settable: Settable "
         "Stop & Parity 0x0405\n"},
        {"two stop bits only", [](COMMPROP& p) { p.wSettableStopParity = STOPBITS_20 | PARITY_NONE; },
         -10,
         "\a\aError: 1 stop bit, no parity comm properties for port COM3 not settable: Settable "
         "Stop & Parity 0x0104\n"},
        {"no interval time-outs", [](COMMPROP& p) { p.dwProvCapabilities &= ~PCF_INTTIMEOUTS; },
         -11,
         "\a\aError: timeouts comm properties for port COM3 not settable: Settable Prov Cap "
         "0x00000041\n"},
        {"no time-outs at all", [](COMMPROP& p) { p.dwProvCapabilities = 0; }, -11,
         "\a\aError: timeouts comm properties for port COM3 not settable: Settable Prov Cap "
         "0x00000000\n"},
        {"several missing: the first check speaks",
         [](COMMPROP& p) {
             p.wSettableData = 0;
             p.dwProvCapabilities = 0;
         },
         -9,
         "\a\aError: 8 data bits comm properties for port COM3 not settable: Settable Data "
         "0x0000\n"},
    };
    for (const Case& c : cases) {
        COMMPROP properties = capable_port();
        c.change(properties);
        testing::internal::CaptureStdout();
        int code = check_comm_properties("COM3", properties);
        std::fflush(stdout);
        EXPECT_EQ(code, c.code) << c.what;
        EXPECT_EQ(testing::internal::GetCapturedStdout(), c.message) << c.what;
    }
}

TEST(CommProperties, BufferIsNeverSmallerThanCommprop) {
    const WORD whole = sizeof(COMMPROP);
    struct Case {
        WORD reported;
        WORD size;
    } cases[] = {
        {0, whole}, {1, whole}, {62, whole}, {whole, whole}, {200, 200}, {65535, 65535},
    };
    for (const Case& c : cases) EXPECT_EQ(comm_prop_buffer_size(c.reported), c.size) << c.reported;
}

TEST(PortArguments, MissingArgumentsAreRefusedWithoutTouchingAPort) {
    static char byte = 'x';
    struct Case {
        const char* what;
        int (*call)();
        int result;
        const char* message;
    } cases[] = {
        {"open without name", [] { return open_port(nullptr, 19200); }, -1,
         "open_port: Error: port null argument\n"},
        {"set without name", [] { return set_comm_prop(nullptr, 19200); }, -1,
         "set_comm_prop: Error: port null argument\n"},
        {"set at a rate outside the table", [] { return set_comm_prop("COM1", 12345); }, -2,
         "\a\aError: Invalid baud rate 12345\n"},
        {"write without name", [] { return write_port(nullptr, &byte, 1); }, -1,
         "write_port: Error: invalid param file port\n"},
        {"write without bytes", [] { return write_port("COM1", nullptr, 1); }, -2,
         "write_port: Error: invalid param buf ptr\n"},
        {"write of nothing", [] { return write_port("COM1", &byte, 0); }, -1,
         "write_port: Error: invalid param len: 0\n"},
    };
    for (const Case& c : cases) {
        testing::internal::CaptureStdout();
        int result = c.call();
        std::fflush(stdout);
        EXPECT_EQ(result, c.result) << c.what;
        EXPECT_EQ(testing::internal::GetCapturedStdout(), c.message) << c.what;
    }
}

TEST(PortOpening, PortThatDoesNotExistIsRefusedWithTheSystemText) {
    testing::internal::CaptureStdout();
    EXPECT_EQ(open_port("COM19", 19200), -2);
    std::fflush(stdout);
    std::string out = testing::internal::GetCapturedStdout();
    const std::string start = "\a\aError: cannot open COM port COM19: ";
    ASSERT_EQ(out.compare(0, start.size(), start), 0) << out;
    // One line: the system text's own CR LF is removed.
    EXPECT_GT(out.size(), start.size() + 1) << out;
    EXPECT_EQ(out.find_first_of("\r\n"), out.size() - 1) << out;
    // The hint after it names the port as missing and the ports that exist.
    testing::internal::CaptureStdout();
    print_open_hint();
    std::fflush(stdout);
    out = testing::internal::GetCapturedStdout();
    EXPECT_EQ(out.rfind("COM19 does not exist on this PC", 0), 0u) << out;
    // Nothing stayed open: closing does nothing, twice.
    close_port();
    close_port();
}

// The fatal end: status 134, as the abort that ends the Linux program shows in
// the shell, and nothing of the C runtime after the program's own lines.
TEST(PortReadDeathTest, ReadWithoutAnOpenPortEndsTheProgramWithTheSystemCode) {
    // ERROR_INVALID_HANDLE is 6.
    EXPECT_EXIT(
        {
            char buffer[4];
            read_port("COM1", buffer, sizeof buffer, 100);
        },
        testing::ExitedWithCode(134),
        "could not read on COM port COM1: .*\nReturn code 26, system error code 6\n$");
}

TEST(PortReadDeathTest, ArgumentsThatCannotBeReadIntoEndTheProgram) {
    char buffer[4];
    EXPECT_DEATH(read_port(nullptr, buffer, 4, 100),
                 "read_port: Error: invalid param port\nReturn code 25, ");
    EXPECT_DEATH(read_port("COM1", nullptr, 4, 100),
                 "read_port: Error: invalid param buf ptr\nReturn code 25, ");
    EXPECT_DEATH(read_port("COM1", buffer, 0, 100),
                 "read_port: Error: invalid param size: 0\nReturn code 25, ");
}

}  // namespace
