#include <string>
#include <vector>

#include "tests/serial/device_transcript.h"

namespace {

// The line is set to discard received NUL bytes; a provider that does not
// (Wine, a pty) has them dropped by the port layer, which then waits for the
// places they took.
TEST(ReceivedNulBytes, NeverReachTheConsole) {
    struct Case {
        const char* what;
        const char* banner;
        std::string output;
    } cases[] = {
        {"NULs around and inside the name",
         "\\x00\\r\\nVestri\\x00mond APRS digipeater\\r\\n\\x00Version 2.83b\\x00\\r\\n",
         connected_at("19200") + prompt + "Disconnected\n"},
        {"NULs in the answer of another device", "Ve\\x00st\\x00\\x00ro\\r\\n",
         "Connecting at 19200...\n"
         "\n\a\aError: did not receive the Vestrimond prompt!\nExpected: Vestrimond\n"
         "Got: length 24 (0x18):\n"
         "Dec  Hex |  0  1  2  3  4  5  6  7    8  9  a  b  c  d  e  f | 0123456789abcdef\n"
         "   0 0000| 56 65 73 74 72 6f 3e 20   56 65 73 74 72 6f 0d 0a | Vestro> Vestro..\n"
         "  16 0010| 56 65 73 74 72 6f 3e 20                           | Vestro> \n" +
             prompt + "\a\aError: not Connected!\n"},
    };
    std::vector<DeviceRun> runs;
    for (const Case& c : cases) runs.push_back({{"--banner", c.banner}, "connect 1\ndisconnect\n"});
    std::vector<RunResult> results = run_side_by_side(runs);
    for (size_t i = 0; i < std::size(cases); ++i) {
        EXPECT_OUTPUT(session(cases[i].output), results[i].out) << cases[i].what;
    }
}

}  // namespace
