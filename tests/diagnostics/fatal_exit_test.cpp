#include "diagnostics/fatal_exit.h"

#include <gtest/gtest.h>

namespace {

TEST(FatalExit, CodeZeroReportsOnStandardErrorAndReturns) {
    testing::internal::CaptureStderr();
    testing::internal::CaptureStdout();
    fatal_exit(0, "something failed\n");
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "");
    EXPECT_EQ(testing::internal::GetCapturedStderr(),
              "something failed\nReturn code 0, system error code 0\n");
}

TEST(FatalExitDeathTest, NonZeroCodeEndsTheProcessAbnormally) {
    EXPECT_DEATH(fatal_exit(26, "read failed\n"),
                 "read failed\nReturn code 26, system error code 0\n");
}

}  // namespace
