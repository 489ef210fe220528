#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <string>

#include "serial/connection.h"
#include "serial/serial_test.h"
#include "tests/support/port_script.h"

namespace {

const std::string start_answer = "\r\nBegin serial test: end with <ctrl>-c\r\n";

class LoopTest : public testing::Test {
  protected:
    void SetUp() override {
        port_script::reset();
        port_script::state.is_open = true;
        connected = 1;
        std::strcpy(port_name, "COM2");
    }

    // A device that answers the start and echoes each byte through `echo`.
    void device(const std::string& start, std::string (*echo)(int index, unsigned char byte)) {
        port_script::state.on_write = [start, echo, index = 0](const std::string& written) mutable {
            if (written == "serialtest\n") {
                port_script::feed(start);
            } else if (written.size() == 1 && written[0] != '\x03') {
                port_script::feed(echo(++index, static_cast<unsigned char>(written[0])));
            }
        };
    }

    std::string run(const char* iterations, int code = 44) {
        testing::internal::CaptureStdout();
        serial_test(code, iterations);
        std::fflush(stdout);
        return testing::internal::GetCapturedStdout();
    }
};

std::string echo_all(int, unsigned char byte) {
    return std::string(1, static_cast<char>(byte));
}

TEST_F(LoopTest, EveryIterationSendsTheCharacters40To7EAndPrintsADot) {
    device(start_answer, echo_all);
    EXPECT_EQ(run("2x"), "..\nSerial test passed: wrote 126 characters\n");

    std::string expected = "serialtest\n";
    for (int i = 0; i < 2; ++i) {
        for (int c = 0x40; c <= 0x7E; ++c) expected += static_cast<char>(c);
    }
    expected += '\x03';
    EXPECT_EQ(port_script::all_written(), expected);
    EXPECT_EQ(port_script::state.writes.size(), 1u + 126u + 1u);
    EXPECT_EQ(port_script::state.reads[0].size, 1024);
    EXPECT_EQ(port_script::state.reads[0].timeout_ms, 1000);
    EXPECT_EQ(port_script::state.reads[1].size, 1);
    EXPECT_EQ(port_script::state.reads[1].timeout_ms, 1000);
    EXPECT_EQ(connected, 1);
    EXPECT_TRUE(port_script::state.is_open);
}

// The iteration after the largest count is never reached, so the loop ends.
TEST_F(LoopTest, LargestCountEndsAfterItsLastIteration) {
    device(start_answer, [](int i, unsigned char b) { return i <= 63 ? echo_all(i, b) : ""; });
    testing::internal::CaptureStdout();
    bool passed = run_iterations(INT32_MAX, INT32_MAX);
    std::string output = testing::internal::GetCapturedStdout();
    EXPECT_TRUE(passed) << output;
    EXPECT_EQ(output, ".");
    EXPECT_EQ(port_script::all_written().size(), 63u);
}

TEST_F(LoopTest, RefusedCountOrCodeSendsNothingAndKeepsTheConnection) {
    // 0, -3 and abc are shown over the line (loop_transcript_test.cpp).
    EXPECT_EQ(run("-99999999999"), "\a\aError: Invalid iteration count: -2147483648\n");
    EXPECT_EQ(run("1", 45), "\a\aError: Invalid command 45\n");
    EXPECT_TRUE(port_script::state.writes.empty());
    EXPECT_EQ(connected, 1);
}

TEST_F(LoopTest, WrongStartAnswerIsDumpedAndNothingElseIsSent) {
    device("Unknown command", echo_all);
    EXPECT_EQ(run("1"),
              "\n\a\aError: did not receive the serialtest response!\n"
              "Got: length 15 (0xf):\n"
              "Dec  Hex |  0  1  2  3  4  5  6  7    8  9  a  b  c  d  e  f | 0123456789abcdef\n"
              "   0 0000| 55 6e 6b 6e 6f 77 6e 20   63 6f 6d 6d 61 6e 64    | Unknown command\n");
    EXPECT_EQ(port_script::all_written(), "serialtest\n");
    EXPECT_EQ(connected, 0);
    EXPECT_FALSE(port_script::state.is_open);
}

TEST_F(LoopTest, EchoFaultsEndTheTestAndTheConnectionWithoutTheEndByte) {
    struct Case {
        const char* name;
        std::string (*echo)(int, unsigned char);
        const char* output;
        size_t bytes_sent;
    } cases[] = {
        {"echo stops after 5", [](int i, unsigned char b) { return i <= 5 ? echo_all(i, b) : ""; },
         "\n\a\aError: did not receive the serialtest response on port COM2!\n", 6},
        {"second byte changed",
         [](int i, unsigned char b) { return echo_all(i, i == 2 ? b | 0x80 : b); },
         "\n\a\aError: serialtest mismatch character 0x41, got 0xc1\n", 2},
        {"NUL instead of the byte",
         [](int i, unsigned char b) { return i == 2 ? std::string(1, '\0') : echo_all(i, b); },
         "\n\a\aError: did not receive the serialtest response on port COM2!\n", 2},
    };
    for (const Case& c : cases) {
        SetUp();
        device(start_answer, c.echo);
        EXPECT_EQ(run("3"), c.output) << c.name;
        EXPECT_EQ(port_script::all_written().size(), 11 + c.bytes_sent) << c.name;
        EXPECT_EQ(port_script::all_written().find('\x03'), std::string::npos) << c.name;
        EXPECT_EQ(connected, 0) << c.name;
        EXPECT_FALSE(port_script::state.is_open) << c.name;
    }
}

TEST_F(LoopTest, FailedWritesAreReportedAtTheirStep) {
    struct Case {
        int fail_write_at;
        const char* message;
    } cases[] = {
        {0, "\n\a\aError: wrote serialtest command, got error on port COM2\n"},
        {5, "\n\a\aError: wrote serialtest count 1 value 0x44, got error on port COM2\n"},
        {64, "\n\a\aError: wrote serialtest count 2 value 0x40, got error on port COM2\n"},
        {127, "\n\a\aError: wrote serialtest termination command, got error on port COM2\n"},
    };
    for (const Case& c : cases) {
        SetUp();
        device(start_answer, echo_all);
        port_script::state.fail_write_at = c.fail_write_at;
        std::string output = run("2");
        EXPECT_NE(output.find(c.message), std::string::npos) << c.fail_write_at << "\n" << output;
        EXPECT_EQ(connected, 0) << c.fail_write_at;
    }
}

}  // namespace
