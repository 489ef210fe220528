#include "diagnostics/fatal_exit.h"

#include <gtest/gtest.h>

#include <csignal>
#include <cstdio>

#include "tests/support/port_script.h"

namespace {

TEST(FatalExit, CodeZeroReportsOnStandardErrorAndReturns) {
    testing::internal::CaptureStderr();
    testing::internal::CaptureStdout();
    fatal_exit(0, "something failed\n");
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "");
    EXPECT_EQ(testing::internal::GetCapturedStderr(),
              "something failed\nReturn code 0, system error code 0\n");
}

// Shows, as the abort comes, how long the program paused before it.
void report_pause(int) {
    std::fprintf(stderr, "paused %u ms\n", port_script::state.slept_ms);
}

TEST(FatalExitDeathTest, NonZeroCodeEndsTheProcessAbnormally) {
    // The message stays on the screen 5 s before the end.
    EXPECT_DEATH(
        {
            port_script::state.slept_ms = 0;
            std::signal(SIGABRT, report_pause);
            fatal_exit(26, "read failed\n");
        },
        "read failed\nReturn code 26, system error code 0\npaused 5000 ms\n");
}

}  // namespace
