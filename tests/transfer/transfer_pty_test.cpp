// The transfers end to end: the console program against the device simulator
// over a pty.

#include <gtest/gtest.h>

#include <csignal>
#include <cstdio>
#include <fstream>
#include <iterator>
#include <sstream>
#include <string>
#include <vector>

#include "config/conf_parser.h"
#include "config/conf_record.h"
#include "rules/rule_parser.h"
#include "rules/rule_record.h"
#include "tests/support/sim_process.h"
#include "tests/support/transcript.h"
#include "tests/transfer/console_texts.h"
#include "tests/transfer/progress_lines.h"
#include "tests/transfer/temp_file.h"
#include "tests/windows/wine.h"

namespace {

const std::string connected = "Connecting at 19200...\n\aConnected at 19200\n";

std::string image_of(const void* bytes, size_t count) {
    return std::string(static_cast<const char*>(bytes), count);
}

RunOptions wired_to(const SimProcess& sim) {
    RunOptions options;
    options.env = {{"VESTRIMOND_COM1", sim.path()}};
    return options;
}

// The lines of examples/firmware.hex without their CR LF, from line `first`
// (counted from 1) to line `last`.
std::string example_records(int first, int last) {
    std::ifstream in(std::string(TEST_SOURCE_DIR) + "/examples/firmware.hex");
    std::string line, records;
    for (int number = 1; std::getline(in, line) && number <= last; ++number) {
        if (!line.empty() && line.back() == '\r') line.pop_back();
        if (number >= first) records += line + "\n";
    }
    return records;
}

std::string update_error(const std::string& what) {
    return "\n\a\aError: Firmware updating error: " + what + "\n";
}

TEST(DownloadOverPty, UnprocessedFilesSendTheDefaultRecordAndNoRules) {
    TempFile conf("conf.bin");
    TempFile rules("rules.bin");
    SimProcess sim({"--save-conf", conf.path(), "--save-rules", rules.path()});
    ASSERT_FALSE(sim.path().empty()) << sim.log();
    RunResult run = run_console("connect 1\ndownload\ny\ny\n", wired_to(sim));
    EXPECT_OUTPUT(start_text() + prompt + connected + prompt + conf_question +
                      rules_question + downloaded + prompt + "\n",
                  run.out);
    EXPECT_EQ(conf.read(), image_of(&conf_defaults, sizeof conf_defaults));
    EXPECT_EQ(rules.read(), "");
}

TEST(DownloadOverPty, ParsedRecordAndRulesArriveByteForByte) {
    const std::string cfg = "tests/transfer/files/download.cfg";
    const std::string rul = "tests/transfer/files/download.rul";
    // The same parse in this process gives the images the device must get, and
    // the console's own output for both commands.
    testing::internal::CaptureStdout();
    conf_reset();
    int conf_result = conf_process((std::string(TEST_SOURCE_DIR) + "/" + cfg).c_str());
    std::string conf_out = testing::internal::GetCapturedStdout();
    testing::internal::CaptureStdout();
    int rules_result = rules_process((std::string(TEST_SOURCE_DIR) + "/" + rul).c_str());
    std::string rules_out = testing::internal::GetCapturedStdout();
    ASSERT_EQ(conf_result, 0) << conf_out;
    ASSERT_EQ(rules_result, 0) << rules_out;
    ASSERT_EQ(conf_record.rule_count, 4) << rules_out;
    // Messages name the file as typed.
    auto as_typed = [](std::string out) {
        for (size_t at; (at = out.find(std::string(TEST_SOURCE_DIR) + "/")) != std::string::npos;) {
            out.erase(at, std::string(TEST_SOURCE_DIR).size() + 1);
        }
        return out;
    };

    TempFile conf("conf.bin");
    TempFile rules("rules.bin");
    SimProcess sim({"--save-conf", conf.path(), "--save-rules", rules.path()});
    ASSERT_FALSE(sim.path().empty()) << sim.log();
    RunResult run = run_console(
        "configure " + cfg + "\nrules " + rul + "\nconnect 1\ndownload\n", wired_to(sim));

    EXPECT_OUTPUT(start_text() + prompt + as_typed(conf_out) + prompt + as_typed(rules_out) +
                      prompt + connected + prompt + downloaded + prompt + "\n",
                  run.out);
    EXPECT_EQ(conf.read(), image_of(&conf_record, sizeof conf_record));
    EXPECT_EQ(rules.read(),
              image_of(rule_table.data(), conf_record.rule_count * sizeof(rule_record)));
}

TEST(DownloadOverPty, NakedPacketIsSentAgain) {
    TempFile conf("conf.bin");
    SimProcess sim({"--save-conf", conf.path(), "--nak", "3:2"});
    ASSERT_FALSE(sim.path().empty()) << sim.log();
    RunResult run = run_console("connect 1\ndownload\ny\ny\n", wired_to(sim));
    EXPECT_OUTPUT(start_text() + prompt + connected + prompt + conf_question +
                      rules_question + downloaded + prompt + "\n",
                  run.out);
    EXPECT_EQ(conf.read(), image_of(&conf_defaults, sizeof conf_defaults));
}

TEST(FirmwareOverPty, ExampleImageIsAcceptedRecordByRecord) {
    TempFile saved("firmware.hex");
    SimProcess sim({"--save-firmware", saved.path()});
    ASSERT_FALSE(sim.path().empty()) << sim.log();
    RunResult run = run_console(update_script, wired_to(sim));
    EXPECT_OUTPUT(start_text() + prompt + firmware_question + firmware_warning + loader_connected +
                      "\n\n\n" + "Disconnected\n" + updated + prompt + "\n",
                  without_progress(run.out));
    EXPECT_EQ(progress_lines(run.out), 45u);
    EXPECT_NE(run.out.find("100.0%" + std::string(59, '=') + "\n"), std::string::npos);
    EXPECT_EQ(saved.read(), example_records(1, 45));
}

// The device path of each platform: the pty itself, or under Wine a port
// above COM20 by its Windows device path.
TEST(FirmwareOverPty, DevicePathIsThePortOfTheUpdate) {
    TempFile saved("firmware.hex");
    SimProcess sim({"--save-firmware", saved.path()});
    ASSERT_FALSE(sim.path().empty()) << sim.log();
    RunOptions options;
    std::string port = sim.path();
    if (program_runs_under_wine()) {
        options.env = {{"VESTRIMOND_COM23", sim.path()}};
        port = "\\\\.\\COM23";
    }
    RunResult run = run_console("firmware " + port + " examples/firmware.hex\ny\n\n", options);
    EXPECT_OUTPUT(start_text() + prompt + firmware_question + firmware_warning + loader_connected +
                      "\n\n\n" + "Disconnected\n" + updated + prompt + "\n",
                  without_progress(run.out));
    EXPECT_EQ(saved.read(), example_records(1, 45));
}

TEST(FirmwareOverPty, LoaderErrorsAreRepeatedOrEndTheUpdate) {
    struct Case {
        const char* what;
        std::vector<std::string> options;
        std::string messages;
        bool succeeded;
        int accepted;
    };
    const Case cases[] = {
        {"bad checksum twice, then ACK",
         {"--loader-answers", "1:0x12,0x12"},
         update_error("bad record checksum on Line 1, resending.") +
             update_error("bad record checksum on Line 1, resending.") + "\n",
         true,
         45},
        {"nine errors, then a tenth",
         {"--loader-answers", "1:0x12,0x12,0x12", "--loader-answers", "2:0x11,none,0x15",
          "--loader-answers", "3:0x41,0x12,0x12", "--loader-answers", "4:0x17"},
         update_error("bad record checksum on Line 1, resending.") +
             update_error("bad record checksum on Line 1, resending.") +
             update_error("bad record checksum on Line 1, resending.") +
             update_error("didn't get start character on Line 2, resending.") +
             update_error("timed out on Line 2, resending.") +
             update_error("validation on Line 2, resending.") +
             update_error("unknown (0x41) on Line 3, resending.") +
             update_error("bad record checksum on Line 3, resending.") +
             update_error("bad record checksum on Line 3, resending.") +
             "\n\a\aError: maximum Firmware updating errors (10) encountered- aborting!\n",
         false,
         3},
        {"buffer full",
         {"--loader-answers", "5:0x17"},
         update_error("buffer full on Line 5- aborting!"),
         false,
         4},
        {"fatal",
         {"--loader-answers", "2:0x18"},
         update_error("fatal on Line 2- aborting!"),
         false,
         1},
    };
    for (const Case& c : cases) {
        TempFile saved("firmware.hex");
        std::vector<std::string> options = c.options;
        options.insert(options.end(), {"--save-firmware", saved.path()});
        SimProcess sim(options);
        ASSERT_FALSE(sim.path().empty()) << sim.log();
        RunResult run = run_console(update_script, wired_to(sim));
        EXPECT_OUTPUT(start_text() + prompt + firmware_question + firmware_warning + loader_connected +
                          "\n\n" + c.messages + "Disconnected\n" +
                          (c.succeeded ? updated : not_updated) + prompt + "\n",
                      without_progress(run.out))
            << c.what;
        EXPECT_EQ(progress_lines(run.out), static_cast<size_t>(c.accepted)) << c.what;
        EXPECT_EQ(saved.read(), example_records(1, c.accepted)) << c.what;
    }
}

TEST(FirmwareOverPty, DeviceWithoutLoaderPromptIsRefused) {
    // The device boots into its console instead, whose prompt is dumped.
    SimProcess sim({"--no-loader-prompt"});
    ASSERT_FALSE(sim.path().empty()) << sim.log();
    RunResult run = run_console(update_script, wired_to(sim));
    EXPECT_OUTPUT(start_text() + prompt + firmware_question + firmware_warning +
                      "\n\a\aError: did not receive the Vestrimond Firmware prompt!\n"
                      "\nRead #1 got 1 char\nRead #2 got 7 chars:\n"
                      "0x56 0x65 0x73 0x74 0x72 0x6f 0x3e 0x20 \n"
                      "Disconnected\n" +
                      not_updated + prompt + "\n",
                  run.out);
}

// A trace read back: the bytes of each direction in order, the words of its
// events, and the first line that does not read as the manual describes.
struct ReadTrace {
    std::string out;
    std::string in;
    std::vector<std::string> events;
    std::string malformed;
};

ReadTrace read_trace(const std::string& text) {
    ReadTrace trace;
    std::istringstream lines(text);
    double last_ms = 0;
    for (std::string line; std::getline(lines, line);) {
        if (line.empty() || line[0] == '#') continue;
        std::istringstream fields(line);
        double ms = -1;
        std::string kind;
        fields >> ms >> kind;
        if (!fields || ms < last_ms) {
            if (trace.malformed.empty()) trace.malformed = line;
            continue;
        }
        last_ms = ms;
        if (kind != "out" && kind != "in") {
            trace.events.push_back(kind);
            continue;
        }
        std::string bytes, shown, token;
        while (fields >> token && token[0] != '|') {
            int byte = std::stoi(token, nullptr, 16);
            bytes += static_cast<char>(byte);
            shown += byte >= 0x20 && byte < 0x7F ? static_cast<char>(byte) : '.';
        }
        std::size_t bar = line.find('|');
        if (bytes.empty() || bytes.size() > 16 || bar == std::string::npos ||
            line.substr(bar) != "|" + shown + "|") {
            if (trace.malformed.empty()) trace.malformed = line;
        }
        (kind == "out" ? trace.out : trace.in) += bytes;
    }
    return trace;
}

size_t count_of(const std::vector<std::string>& events, const std::string& kind) {
    size_t count = 0;
    for (const std::string& event : events) count += event == kind;
    return count;
}

TEST(TraceOverPty, TraceHoldsEveryByteTheDeviceGotAndSent) {
    struct Case {
        const char* what;
        std::string script;
        std::vector<std::string> sim_options;
        bool resets;  // the firmware update's reset: a new rate, or on Windows a reopening
        size_t closes;
        std::string last_event;
        int signal;  // that ended the program, 0: it ended at the end of its input
    };
    const Case cases[] = {
        {"download", "connect 1\ndownload\ny\ny\n", {}, false, 1, "close", 0},
        {"firmware update", update_script, {}, true, 1, "close", 0},
        {"firmware update with a record refused once",
         update_script,
         {"--loader-answers", "3:0x12"},
         true,
         1,
         "close",
         0},
        // The program ends abnormally on the failed read: the trace has it all.
        {"download cut by the device",
         "connect 1\ndownload\ny\ny\n",
         {"--hang-up-at-packet", "5"},
         false,
         0,
         "error",
         SIGABRT},
    };
    for (const Case& c : cases) {
        // Wine reads a line whose other end has hung up as silence.
        if (c.signal != 0 && program_runs_under_wine()) continue;
        TempFile trace_file("trace.txt");
        TempFile from_host("from_host.bin");
        TempFile to_host("to_host.bin");
        std::vector<std::string> options = c.sim_options;
        options.insert(options.end(), {"--record-from-host", from_host.path(), "--record-to-host",
                                       to_host.path()});
        SimProcess sim(options);
        ASSERT_FALSE(sim.path().empty()) << sim.log();
        RunOptions run_options = wired_to(sim);
        run_options.args = {"--trace", trace_file.path()};
        RunResult run = run_console(c.script, run_options);
        EXPECT_EQ(run.signal, c.signal) << c.what << run.out;
        EXPECT_EQ(run.status, c.signal == 0 ? 1 : -1) << c.what << run.out;
        EXPECT_EQ(sim.stop(), 0) << c.what;

        ReadTrace trace = read_trace(trace_file.read());
        EXPECT_EQ(trace.malformed, "") << c.what;
        EXPECT_FALSE(trace.out.empty()) << c.what;
        EXPECT_EQ(trace.out, from_host.read()) << c.what;
        EXPECT_EQ(trace.in, to_host.read()) << c.what;
        const size_t reopens = c.resets && program_runs_under_wine() ? 1 : 0;
        EXPECT_EQ(count_of(trace.events, "open"), 1 + reopens) << c.what;
        EXPECT_EQ(count_of(trace.events, "close"), c.closes + reopens) << c.what;
        EXPECT_EQ(count_of(trace.events, "rate"), c.resets ? 1 - reopens : 0) << c.what;
        ASSERT_FALSE(trace.events.empty()) << c.what;
        EXPECT_EQ(trace.events.back(), c.last_event) << c.what;
        EXPECT_GT(count_of(trace.events, "purge"), 0u) << c.what;
        EXPECT_GT(count_of(trace.events, "timeout"), 0u) << c.what;
    }
}

}  // namespace
