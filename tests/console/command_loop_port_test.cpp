// The console's own writes to the device failing, with the scripted port: a
// failed "host" write ends the connection, a failed "download" write keeps it.

#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <string>

#include "config/conf_record.h"
#include "console/command_loop.h"
#include "console/console_input.h"
#include "rules/rule_record.h"
#include "serial/connection.h"
#include "tests/support/port_script.h"

namespace {

const std::string prompt = "Command> ";

// Runs the console on `script` against a device that answers the identify
// command, with the console's write number `failing_write` (from 0) failing.
// A device that acknowledges packets answers every other write with ACK.
std::string run_console_main(const std::string& script, int failing_write,
                             bool acknowledges_packets = false) {
    port_script::reset();
    port_script::state.fail_write_at = failing_write;
    port_script::state.on_write = [acknowledges_packets](const std::string& written) {
        if (written == std::string("\x03\nversion\n")) {
            port_script::feed("Vestrimond\r\nVersion 2.83b\r\nVestro> ");
        } else if (acknowledges_packets) {
            port_script::feed("\x06");
        }
    };
    connected = 0;
    conf_processed = 0;
    rules_processed = 0;
    prev_line[0] = '\0';
    std::FILE* input = std::tmpfile();
    std::fputs(script.c_str(), input);
    std::rewind(input);
    set_console_input(input);
    testing::internal::CaptureStdout();
    console_main();
    std::fflush(stdout);
    std::string out = testing::internal::GetCapturedStdout();
    set_console_input(stdin);
    std::fclose(input);
    return out;
}

std::string scripted_failure(int count) {
    return "\a\aError: wrote 0 of " + std::to_string(count) +
           ", got error on port COM1: scripted failure\n";
}

TEST(ConsoleWrites, FailedHostWriteEndsTheConnectionFailedDownloadWriteKeepsIt) {
    struct Case {
        const char* command;
        std::string after;  // from the command's output on
    } cases[] = {
        {"baud 9600\n",
         scripted_failure(10) + "\a\aError: wrote Host Baud command, got error on port COM1\n" +
             prompt + "\a\aError: not Connected!\n"},
        {"download\ny\ny\n",
         scripted_failure(9) + "\a\aError: wrote Download command, got error on port COM1\n" +
             prompt + "Disconnected\n"},
    };
    for (const Case& c : cases) {
        // Write 0 identifies the device, write 1 is the command's own.
        std::string out = run_console_main(std::string("connect 1\n") + c.command + "disconnect\n", 1);
        std::string expected = c.after + prompt + "\n";
        ASSERT_GE(out.size(), expected.size()) << c.command;
        EXPECT_EQ(out.substr(out.size() - expected.size()), expected) << c.command;
    }
}

TEST(ConsoleDownload, UpperCaseYesIsAYesAndEveryDownloadEndsTheConnection) {
    const std::string not_connected = prompt + "\a\aError: not Connected!\n";
    struct Case {
        const char* answers;
        bool acknowledges_packets;
        std::string outcome;
    } cases[] = {
        {"Y\nYes\n", true, "Downloading Configuration succeeded\nDownloading Rules succeeded\n"},
        {"y\ny\n", false,
         "\a\aError: reading ack or nak: 0\n"
         "\a\aError: writing Configuration command failed: -4\n"
         "\a\aError: Download failed: -1\n"},
    };
    for (const Case& c : cases) {
        std::string out = run_console_main(
            std::string("connect 1\ndownload\n") + c.answers + "download\nserialtest 5\ndisconnect\n",
            -1, c.acknowledges_packets);
        std::string expected = c.outcome + "Disconnected\n" + not_connected + not_connected +
                               not_connected + prompt + "\n";
        ASSERT_GE(out.size(), expected.size()) << c.answers;
        EXPECT_EQ(out.substr(out.size() - expected.size()), expected) << c.answers;
        EXPECT_FALSE(port_script::state.is_open) << c.answers;
    }
}

}  // namespace
