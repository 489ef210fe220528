#include "serial/timeouts.h"

#include <gtest/gtest.h>

namespace {

using std::chrono::microseconds;
using std::chrono::milliseconds;

TEST(PortTimeouts, StandingSetFollowsTheCharacterTimeWithAWriteMultiplierOfAtLeast1) {
    struct Case {
        int32_t baud;
        uint32_t read_multiplier;
        uint32_t write_multiplier;
    } cases[] = {
        {110, 90, 181}, {300, 33, 66}, {600, 16, 33},  {1200, 8, 16}, {2400, 4, 8},
        {4800, 2, 4},   {9600, 1, 2},  {14400, 0, 1},  {19200, 0, 1}, {38400, 0, 1},
        {56000, 0, 1},  {57600, 0, 1}, {115200, 0, 1},
    };
    for (const Case& c : cases) {
        comm_timeouts t = standing_timeouts(c.baud);
        EXPECT_EQ(t.ReadIntervalTimeout, 0u) << c.baud;
        EXPECT_EQ(t.ReadTotalTimeoutMultiplier, c.read_multiplier) << c.baud;
        EXPECT_EQ(t.ReadTotalTimeoutConstant, 1u) << c.baud;
        EXPECT_EQ(t.WriteTotalTimeoutMultiplier, c.write_multiplier) << c.baud;
        EXPECT_EQ(t.WriteTotalTimeoutConstant, 10u) << c.baud;
    }
}

TEST(PortTimeouts, ReadWaitsItsTimeoutPlus10PlusTheCharacterTimeOfEveryByteAsked) {
    struct Case {
        int32_t baud;
        int size;
        int timeout_ms;
        uint64_t limit_ms;
    } cases[] = {
        {19200, 200, 2000, 2010},   // the identify answer
        {4800, 200, 2000, 2410},    // 2 ms per byte at 4800
        {9600, 1024, 2000, 3034},   // the prompt after a baud change
        {57600, 1024, 1000, 1010},  // the loop test's start answer
        {110, 1, 100, 200},         // 90 ms per byte at 110
        {19200, 1, 20000, 20010},   // the firmware loader's prompt
        {19200, 40, -5, 10},        // a negative time-out counts as 0
    };
    for (const Case& c : cases) {
        comm_timeouts set = read_timeouts(standing_timeouts(c.baud), c.baud, c.timeout_ms);
        EXPECT_EQ(read_time_limit(set, c.size), c.limit_ms) << c.baud << " " << c.size;
        // A read's set leaves the write values standing.
        EXPECT_EQ(set.WriteTotalTimeoutMultiplier,
                  standing_timeouts(c.baud).WriteTotalTimeoutMultiplier);
    }
}

TEST(PortTimeouts, WriteMayTakeTheLineTimeOfItsBytes) {
    // 64 bytes at 57600 are 11 ms on the line; 268 at 19200 are 140 ms.
    EXPECT_EQ(write_time_limit(standing_timeouts(57600), 64), 74u);
    EXPECT_EQ(write_time_limit(standing_timeouts(19200), 268), 278u);
}

TEST(PortTimeouts, WaitUntilDeadlineRoundsUpAndStopsAtZero) {
    const port_clock::time_point start{};
    struct Case {
        port_clock::duration before_deadline;
        int wait_ms;
    } cases[] = {
        {milliseconds(2010), 2010}, {microseconds(300), 1},  // never wake up early
        {microseconds(1001), 2},    {milliseconds(0), 0},   {-milliseconds(5), 0},  // already past
    };
    for (const Case& c : cases) {
        port_clock::time_point deadline = start + c.before_deadline;
        EXPECT_EQ(wait_ms_until(start, deadline), c.wait_ms)
            << std::chrono::duration_cast<microseconds>(c.before_deadline).count() << " us";
    }
    EXPECT_EQ(wait_ms_until(start, start + std::chrono::hours(24 * 365)), INT32_MAX);
    EXPECT_EQ(deadline_after(start, 2410) - start, milliseconds(2410));
}

}  // namespace
