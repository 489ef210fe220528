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
std::string run_console_main(const std::string& script, int failing_write) {
    port_script::reset();
    port_script::state.fail_write_at = failing_write;
    port_script::state.on_write = [](const std::string& written) {
        if (written == std::string("\x03\nversion\n")) {
            port_script::feed("Vestrimond\r\nVersion 2.83b\r\nVestro> ");
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

}  // namespace
