#include <string>
#include <vector>

#include "tests/serial/device_transcript.h"

namespace {

const std::string not_connected = "\a\aError: not Connected!\n";

TEST(LoopTestOverTheLine, EchoingDevicePassesWithADotPerIteration) {
    SimProcess device;
    RunResult run = run_with_device(device,
                                    "connect 1\nserialtest 1\nserialtest 10\nserialtest 0\n"
                                    "serialtest -3\nserialtest abc\nserialtest 2x\ndisconnect\n");
    EXPECT_OUTPUT(
        session(connected_at("19200") + prompt + ".\nSerial test passed: wrote 63 characters\n" +
                prompt + "..........\nSerial test passed: wrote 630 characters\n" + prompt +
                "\a\aError: Invalid iteration count: 0\n" + prompt +
                "\a\aError: Invalid iteration count: -3\n" + prompt +
                "\a\aError: Invalid iteration count: 0\n" + prompt +
                "..\nSerial test passed: wrote 126 characters\n" + prompt + "Disconnected\n"),
        run.out);
}

TEST(LoopTestOverTheLine, DeviceFaultsEndTheConnection) {
    struct Case {
        const char* fault;
        const char* count;
        std::string output;
    } cases[] = {
        // No start answer to "serialtest".
        {"--ignore-command", "serialtest",
         "\n\a\aError: did not receive the serialtest response!\nGot: length 0 (0x0):\n"},
        // The echo stops in the second iteration.
        {"--echo-stop-after", "70",
         ".\n\a\aError: did not receive the serialtest response on port COM1!\n"},
        // 'A' (0x41) comes back with bit 7 set.
        {"--echo-corrupt", "2", "\n\a\aError: serialtest mismatch character 0x41, got 0xc1\n"},
    };
    // The device stays in its test mode until the next connection interrupts it.
    std::vector<DeviceRun> runs;
    for (const Case& c : cases) {
        runs.push_back({{c.fault, c.count}, "connect 1\nserialtest 2\nserialtest 1\nconnect 1\n"});
    }
    std::vector<RunResult> results = run_side_by_side(runs);
    for (size_t i = 0; i < std::size(cases); ++i) {
        EXPECT_OUTPUT(session(connected_at("19200") + prompt + cases[i].output + prompt +
                              not_connected + prompt + connected_at("19200")),
                      results[i].out)
            << cases[i].fault;
    }
}

}  // namespace
