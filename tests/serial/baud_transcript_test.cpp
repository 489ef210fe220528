#include <string>

#include "tests/serial/device_transcript.h"

namespace {

const std::string one_pass = ".\nSerial test passed: wrote 63 characters\n";

TEST(BaudChange, DeviceAndHostMoveToTheNewRateTogether) {
    // The simulated line loses what the host sends at a rate the device is
    // not at, so each loop test proves both ends changed.
    SimProcess device;
    RunResult run = run_with_device(
        device, "connect 1\nbaud 57600\nserialtest 1\nbaud 9600\nserialtest 1\ndisconnect\n");
    EXPECT_OUTPUT(
        session(connected_at("19200") + prompt + connected_at("57600") + prompt + one_pass +
                prompt + connected_at("9600") + prompt + one_pass + prompt + "Disconnected\n"),
        run.out);
}

TEST(BaudChange, MissingPromptAfterTheChangeEndsTheConnection) {
    SimProcess device({"--no-baud-prompt"});
    RunResult run = run_with_device(device, "connect 1\nbaud 38400\nserialtest 1\n");
    EXPECT_OUTPUT(session(connected_at("19200") + prompt + "Connecting at 38400...\n" +
                          "\a\aError: did not receive the Vestrimond prompt!\n" + prompt +
                          "\a\aError: not Connected!\n"),
                  run.out);
}

}  // namespace
