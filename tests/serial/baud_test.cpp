#include "serial/baud.h"

#include <gtest/gtest.h>

namespace {

TEST(GetBaud, FindsExactlyTheRatesOfTheTable) {
    struct Case {
        int32_t baud;
        bool found;
        const char* message;
    } cases[] = {
        {110, true, ""},    {1200, true, ""},    {14400, true, ""},
        {56000, true, ""},  {115200, true, ""},  {12345, false, ""},
        {-9600, false, ""}, {230400, false, ""}, {0, false, "get_baud: Error: invalid baud: 0\n"},
    };
    for (const Case& c : cases) {
        testing::internal::CaptureStdout();
        const baud_row* row = get_baud(c.baud);
        std::fflush(stdout);
        EXPECT_EQ(testing::internal::GetCapturedStdout(), c.message) << c.baud;
        ASSERT_EQ(row != nullptr, c.found) << c.baud;
        if (row != nullptr) {
            EXPECT_EQ(row->rate, c.baud);
        }
    }
}

}  // namespace
