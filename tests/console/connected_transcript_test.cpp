// The console's checks that need an open connection, against the simulator.
#include <string>

#include "tests/serial/device_transcript.h"

namespace {

const std::string conf_question =
    "\a\aWarning: Configuration file has not yet been processed!\n"
    "Do you want to use the Default Configuration? (yes|no) [no]: ";
const std::string rules_question =
    "\n\a\aWarning: Rules file has not yet been processed!\n"
    "Do you  want to use the Implicit Rule only without specific rules?\n"
    "(yes|no) [no]: ";
const std::string aborted = "\a\aDownload Aborted!\n";

TEST(ConnectedConsole, CommandsRefusedOrCheckedWhileConnected) {
    SimProcess device;
    ASSERT_FALSE(device.path().empty()) << device.log();
    RunResult run = run_with_device(device,
                                    "connect 1\n"
                                    "connect 1\n"
                                    "firmware 1 examples/firmware.hex\n"
                                    "baud\n"
                                    "baud 110\n"
                                    "serialtest\n"
                                    "disconnect\n"
                                    "disconnect\n");
    EXPECT_OUTPUT(session(connected_at("19200") + prompt + "\a\aError: already Connected!\n" +
                          prompt + "\a\aError: already Connected, Disconnect first!\n" + prompt +
                          "\a\aError: missing argument: baud\n" + prompt +
                          "\a\aError: invalid baud rate: 110\n" + prompt +
                          "\a\aError: missing argument: iteration\n" + prompt +
                          "Disconnected\n" + prompt + "\a\aError: not Connected!\n"),
                  run.out);
}

TEST(ConnectedConsole, DownloadAsksForWhatWasNotReadAndAnythingButYesAborts) {
    const std::string connect = connected_at("19200") + prompt;
    struct Case {
        std::string script;
        std::string output;
    } cases[] = {
        {"connect 1\ndownload\nn\ndisconnect\n",
         connect + conf_question + aborted + prompt + "Disconnected\n"},
        {"connect 1\ndownload\n\ndisconnect\n",
         connect + conf_question + aborted + prompt + "Disconnected\n"},
        {"connect 1\ndownload\nyes\nnope\ndisconnect\n",
         connect + conf_question + rules_question + aborted + prompt + "Disconnected\n"},
        {"connect 1\nconfigure examples/site.cfg\ndownload\nN\ndisconnect\n",
         connect + "Configuration items processed 24\n" + prompt + rules_question + aborted +
             prompt + "Disconnected\n"},
        // An answer too long for the line is decided by its first character,
        // and none of it is read as a command ("x" would end the program).
        {"connect 1\ndownload\n" + std::string(300, 'n') + " x\ndisconnect\n",
         connect + conf_question + aborted + prompt + "Disconnected\n"},
    };
    std::vector<DeviceRun> runs;
    for (const Case& c : cases) runs.push_back({{}, c.script});
    std::vector<RunResult> results = run_side_by_side(runs);
    for (size_t i = 0; i < std::size(cases); ++i) {
        EXPECT_OUTPUT(session(cases[i].output), results[i].out) << cases[i].script;
        EXPECT_EQ(results[i].status, 1);
    }
}

TEST(ConnectedConsole, EndOfInputAtADownloadQuestionAbortsThenEndsAtThePrompt) {
    SimProcess device;
    ASSERT_FALSE(device.path().empty()) << device.log();
    RunResult run = run_with_device(device, "connect 1\ndownload\n");
    EXPECT_OUTPUT(session(connected_at("19200") + prompt + conf_question + "\n" + aborted),
                  run.out);
    EXPECT_EQ(run.status, 1);
}

TEST(FirmwareCommand, FailedUpdateIsReportedWithoutBells) {
    RunResult run = run_console("firmware 1 tests/console/files/no-such.hex\ny\n");
    EXPECT_OUTPUT(session("\a\aWARNING! This will alter the Vestrimond firmware!\n"
                          "Do you want to continue (n or y)? [n]: "
                          "\a\aError: cannot open tests/console/files/no-such.hex\n"
                          "Error: Firmware update failed!\n\tTry again!\n"),
                  run.out);
}

}  // namespace
