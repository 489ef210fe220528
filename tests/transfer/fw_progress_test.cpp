#include "transfer/fw_progress.h"

#include <gtest/gtest.h>

#include <ctime>
#include <string>

namespace {

std::string progress_text(int64_t elapsed, uint32_t acknowledged, uint32_t total) {
    char text[fw_progress_size];
    fw_progress_text(text, elapsed, acknowledged, total);
    return text;
}

std::string bar(int length) {
    return std::string(static_cast<size_t>(length), '=');
}

TEST(ProgressLine, BarStartsAtColumn21AndFieldsAreClamped) {
    struct Case {
        const char* what;
        int64_t elapsed;
        uint32_t acknowledged;
        uint32_t total;
        std::string text;
    };
    const Case cases[] = {
        {"a tenth after 10 s", 10, 100, 1000, "\r 10s TTC  90s 10.0% " + bar(5)},
        {"nothing yet", 0, 0, 1000, "\r  0s TTC   0s  0.0% "},
        {"no records counted", 5, 3, 0, "\r  5s TTC   0s  0.0% "},
        {"one record of three", 2, 1, 3, "\r  2s TTC   4s 33.3% " + bar(19)},
        // "100.0%" is one character wider: the bar overwrites the blank after it.
        {"all of them", 100, 1000, 1000, "\r100s TTC   0s 100.0%" + bar(59)},
        {"more than counted", 100, 1500, 1000, "\r100s TTC   0s 100.0%" + bar(59)},
        {"a wide text is cut where the bar starts", 1234, 0, 1000, "\r1234s TTC   0s  0.0%"},
        {"time to completion beyond 32 bits", 2, 1, 4294967295u, "\r  2s TTC 4294967295s"},
        {"clock set back", -3, 1, 2, "\r -3s TTC   0s 50.0% " + bar(29)},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(progress_text(c.elapsed, c.acknowledged, c.total), c.text) << c.what;
    }
}

TEST(ProgressLine, MeasuresFromTheStartTimeWithoutLineEnd) {
    std::time_t before = std::time(nullptr);
    fw_start_time = before - 10;
    testing::internal::CaptureStdout();
    fw_progress(100, 1000);
    std::string out = testing::internal::GetCapturedStdout();
    if (std::time(nullptr) != before) GTEST_SKIP() << "the clock ticked during the call";
    EXPECT_EQ(out, "\r 10s TTC  90s 10.0% =====");
}

}  // namespace
