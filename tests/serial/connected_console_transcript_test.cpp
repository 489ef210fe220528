// The console's commands while a connection is open, against the simulated
// device: refusals and aborted downloads leave the connection as it was.

#include <string>

#include "tests/serial/device_transcript.h"

namespace {

const std::string one_pass = ".\nSerial test passed: wrote 63 characters\n";
const std::string aborted = "\a\aDownload Aborted!\n";
const std::string default_question =
    "\a\aWarning: Configuration file has not yet been processed!\n"
    "Do you want to use the Default Configuration? (yes|no) [no]: ";
const std::string implicit_question =
    "\n\a\aWarning: Rules file has not yet been processed!\n"
    "Do you  want to use the Implicit Rule only without specific rules?\n"
    "(yes|no) [no]: ";

TEST(ConnectedConsole, RefusedCommandsKeepTheConnection) {
    SimProcess device;
    RunResult run = run_with_device(device,
                                    "connect 1\nconnect 1 9600\nfirmware 1 examples/firmware.hex\n"
                                    "baud\nbaud 1200\nserialtest\nserialtest 1\ndisconnect\n");
    EXPECT_OUTPUT(session(connected_at("19200") + prompt + "\a\aError: already Connected!\n" +
                          prompt + "\a\aError: already Connected, Disconnect first!\n" + prompt +
                          "\a\aError: missing argument: baud\n" + prompt +
                          "\a\aError: invalid baud rate: 1200\n" + prompt +
                          "\a\aError: missing argument: iteration\n" + prompt + one_pass + prompt +
                          "Disconnected\n"),
                  run.out);
}

TEST(ConnectedConsole, DownloadAbortedAtAQuestionKeepsTheConnection) {
    SimProcess device;
    // No to the first question; after a configure only the second is asked,
    // and an empty answer is a no; the end of input aborts too.
    RunResult run = run_with_device(device,
                                    "connect 1\ndownload\nno\nconfigure examples/site.cfg\n"
                                    "download\n\nserialtest 1\ndownload\n");
    EXPECT_OUTPUT(session(connected_at("19200") + prompt + default_question + aborted + prompt +
                          "Configuration items processed 24\n" + prompt + implicit_question +
                          aborted + prompt + one_pass + prompt + implicit_question + "\n" +
                          aborted),
                  run.out);
}

}  // namespace
