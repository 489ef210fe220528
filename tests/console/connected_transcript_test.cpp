// The console's checks that need an open connection, against the simulator.
#include <string>

#include "tests/serial/device_transcript.h"
#include "tests/support/console_texts.h"

namespace {


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
         connect + conf_question + download_aborted + prompt + "Disconnected\n"},
        {"connect 1\ndownload\n\ndisconnect\n",
         connect + conf_question + download_aborted + prompt + "Disconnected\n"},
        {"connect 1\ndownload\nyes\nnope\ndisconnect\n",
         connect + conf_question + rules_question + download_aborted + prompt + "Disconnected\n"},
        {"connect 1\nconfigure examples/site.cfg\ndownload\nN\ndisconnect\n",
         connect + "Configuration items processed 24\n" + prompt + rules_question + download_aborted +
             prompt + "Disconnected\n"},
        // An answer too long for the line is decided by its first character,
        // and none of it is read as a command ("x" would end the program).
        {"connect 1\ndownload\n" + std::string(300, 'n') + " x\ndisconnect\n",
         connect + conf_question + download_aborted + prompt + "Disconnected\n"},
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
    EXPECT_OUTPUT(session(connected_at("19200") + prompt + conf_question + "\n" + download_aborted),
                  run.out);
    EXPECT_EQ(run.status, 1);
}

TEST(FirmwareCommand, YesOfEitherCaseUpdatesAndAFailureIsReportedWithoutBells) {
    for (const char* yes : {"y\n", "Y\n"}) {
        RunResult run = run_console(std::string("firmware 1 tests/console/files/no-such.hex\n") + yes);
        EXPECT_OUTPUT(session(firmware_question +
                              "\a\aError: cannot open tests/console/files/no-such.hex\n"
                              "Error: Firmware update failed!\n\tTry again!\n"),
                      run.out)
            << yes;
    }
}

}  // namespace
