// Faults of the device during the transfers, injected by the simulator: the
// console program against it over a pty.

#include <signal.h>

#include <string>
#include <vector>

#include "tests/serial/device_transcript.h"
#include "tests/transfer/console_texts.h"
#include "tests/transfer/progress_lines.h"
#include "tests/transfer/temp_file.h"
#include "tests/windows/wine.h"

namespace {

const std::string download_script = "connect 1\ndownload\ny\ny\n";
const std::string download_start =
    connected_at("19200") + prompt + conf_question + rules_question;
const std::string configuration_sent = "Downloading Configuration succeeded\n";

// A read of the port that the system cannot carry out ends the program.
const std::string read_failed =
    "\a\aError: could not read on COM port COM1: Input/output error\n"
    "Return code 26, system error code 5\n";

std::string zeros(int count) {
    std::string text;
    for (int i = 0; i < count; ++i) text += "[00] ";
    return text;
}

TEST(DownloadFaults, EveryFailedStepEndsTheDownloadAndTheConnection) {
    struct Case {
        const char* fault;
        std::vector<std::string> device;
        std::string script;
        std::string start;
        std::string messages;
    };
    // Packets count from 1: the "conf" command, 16 record packets, the
    // "rules" command, the rule packets, the finish packet.
    const Case cases[] = {
        {"NAK storm on the conf command",
         {"--nak", "1:5"},
         download_script,
         download_start,
         "\a\aError: writing Configuration command failed: -6\n"
         "\a\aError: Download failed: -1\n"},
        {"no answer to a record packet",
         {"--silent-packet", "2"},
         download_script,
         download_start,
         "\a\aError: reading ack or nak: 0\n\a\aError: writing data pkt: -4\n"
         "\a\aError: writing Configuration file failed: -3\n\a\aError: Download failed: -2\n"},
        {"wrong answer to the rules command",
         {"--wrong-answer", "18:0x41"},
         download_script,
         download_start,
         configuration_sent +
             "\a\aError: reading ack or nak: got 0x41\n"
             "\a\aError: writing Rules command failed: -5\n\a\aError: Download failed: -3\n"},
        {"wrong answer to a rule packet",
         {"--wrong-answer", "20:0x18"},
         "rules tests/transfer/files/download.rul\nconnect 1\ndownload\ny\n",
         "Rules processed 4, implicit 1\n" + prompt + connected_at("19200") + prompt +
             conf_question,
         configuration_sent +
             "\a\aError: reading ack or nak: got 0x18\n\a\aError: writing data pkt: -5\n"
             "\a\aError: writing Rules file failed: -3\n\a\aError: Download failed: -4\n"},
        {"NAK storm on the finish packet",
         {"--nak", "19:5"},
         download_script,
         download_start,
         configuration_sent +
             "Downloading Rules succeeded\n"
             "\a\aError: error writing finish pkt: -6\n\a\aError: Download failed: -5\n"},
    };
    std::vector<DeviceRun> runs;
    for (const Case& c : cases) runs.push_back({c.device, c.script});
    std::vector<RunResult> results = run_side_by_side(runs);
    for (size_t i = 0; i < std::size(cases); ++i) {
        const Case& c = cases[i];
        EXPECT_OUTPUT(session(c.start + c.messages + "Disconnected\n"), results[i].out) << c.fault;
        EXPECT_EQ(results[i].err, "") << c.fault;
    }
}

TEST(FirmwareFaults, LoaderThatDoesNotAnswerEndsTheUpdate) {
    std::vector<RunResult> results =
        run_side_by_side({{{"--no-sync-ack"}, update_script}, {{"--no-ident-ack"}, update_script}});
    // Noise instead of the ACK after the sync character.
    EXPECT_OUTPUT(session(firmware_question + firmware_warning +
                          "\n\a\aError: did not synchronize with the Vestrimond!\n"
                          "\nRead #1 got 1 char\nRead #2 got 4 chars:\n? s y n c " +
                          zeros(15) + "\nDisconnected\n" + not_updated),
                  results[0].out);
    // Silence after the identifier.
    EXPECT_OUTPUT(session(firmware_question + firmware_warning + loader_connected +
                          "\n\a\aError: did not receive VeMoNd identifier acknowledgement!\n"
                          "\nRead #1 got 0 chars\nRead #2 got 0 chars:\n" +
                          zeros(20) + "\nDisconnected\n" + not_updated),
                  results[1].out);
}

// The port's path goes away as the device resets. Where the port is opened a
// second time for the loader (Windows), that opening fails and ends the
// update; where the rate is set on the port that is held (POSIX), the update
// goes on over it.
TEST(FirmwareFaults, PortWhosePathVanishesAtTheResetIsKeptOrEndsTheUpdate) {
    TempFile link("com1");
    SimProcess device({"--link", link.path(), "--vanish-on-reset"});
    ASSERT_FALSE(device.path().empty()) << device.log();
    RunOptions options;
    options.env = {{"VESTRIMOND_COM1", link.path()}};
    RunResult run = run_console(update_script, options);
    if (!program_runs_under_wine()) {
        EXPECT_OUTPUT(session(firmware_question + firmware_warning + loader_connected + "\n\n\n" +
                              "Disconnected\n" + updated),
                      without_progress(run.out));
        return;
    }
    // Under Wine the port's link then leads nowhere, and the test run's /dev
    // holds no serial device for Wine to fall back on; the system text is Wine's.
    EXPECT_OUTPUT(session(firmware_question + firmware_warning +
                          "\a\aError: cannot open COM port COM1: File not found.\n"
                          "\a\aError: could not open COM port COM1\n" +
                          (program_runs_under_wine() ? absent_port_hint("COM1") : "") +
                          not_updated),
                  run.out);
}

TEST(LineCut, ReadFailureDuringATransferEndsTheProgramAbnormally) {
    if (program_runs_under_wine()) {
        GTEST_SKIP() << "Wine reads a serial line whose other end has hung up as silence, "
                        "not as a failed read";
    }
    std::vector<RunResult> results = run_side_by_side(
        {{{"--hang-up-at-packet", "5"}, download_script},
         {{"--hang-up-at-record", "3"}, update_script}});
    // In the middle of the configuration record.
    EXPECT_OUTPUT(start_text() + prompt + download_start, results[0].out);
    // After two records went through.
    EXPECT_OUTPUT(start_text() + prompt + firmware_question + firmware_warning + loader_connected + "\n\n",
                  without_progress(results[1].out));
    EXPECT_EQ(progress_lines(results[1].out), 2u);
    for (const RunResult& run : results) {
        EXPECT_EQ(run.err, read_failed);
        EXPECT_EQ(run.signal, SIGABRT);
    }
}

}  // namespace
