#include "common/numbers.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <limits>
#include <string>

namespace {

TEST(Int32Conversion, BehavesLikeA32BitStrtol) {
    struct Case {
        const char* text;
        int base;
        int32_t value;
        int consumed;
    } cases[] = {
        {"42", 10, 42, 2},
        {"  -17x", 10, -17, 5},
        {"+8", 10, 8, 2},
        {"abc", 10, 0, 0},
        {"-", 10, 0, 0},
        {"", 10, 0, 0},
        {"010", 0, 8, 3},
        {"0x0f", 0, 15, 4},
        {"0X1A", 0, 26, 4},
        {"0x", 0, 0, 1},  // "0" then an x that begins no number
        {"0xg", 0, 0, 1},
        {"09", 0, 0, 1},  // octal stops at 9
        {"0x10", 16, 16, 4},
        {"10", 16, 16, 2},
        {"zZ{", 36, 35 * 36 + 35, 2},  // every letter is a digit in base 36
        {"2147483647", 10, INT32_MAX, 10},
        {"2147483648", 10, INT32_MAX, 10},
        {"4294967299", 10, INT32_MAX, 10},
        {"99999999999999999999999", 10, INT32_MAX, 23},
        {"-2147483648", 10, INT32_MIN, 11},
        {"-2147483649", 10, INT32_MIN, 11},
        {"0xFFFFFFFF", 0, INT32_MAX, 10},
    };
    for (const Case& c : cases) {
        char* end = nullptr;
        EXPECT_EQ(text_to_int32(c.text, &end, c.base), c.value) << c.text;
        EXPECT_EQ(end - c.text, c.consumed) << c.text;
    }
    EXPECT_EQ(leading_decimal("19200baud"), 19200);
}

TEST(RealConversion, ReadsDecimalSyntaxOnly) {
    struct Case {
        const char* text;
        double value;
        int consumed;
    } cases[] = {
        {"5", 5.0, 1},          {" 2.5mi", 2.5, 4},    {"-0.125", -0.125, 6}, {".5", 0.5, 2},
        {"5.", 5.0, 2},         {"1e3", 1000.0, 3},    {"1e", 1.0, 1},        {"1e+", 1.0, 1},
        {"2E-1x", 0.2, 4},      {"+7", 7.0, 2},        {"x", 0.0, 0},         {".", 0.0, 0},
        {"-", 0.0, 0},          {"#5", 0.0, 0},        {"inf", 0.0, 0},       {"nan", 0.0, 0},
        {"-infinity", 0.0, 0},  {"0x1p3", 0.0, 1},     {"0X10", 0.0, 1},      {"00x1", 0.0, 2},
        {"12x", 12.0, 2},       {" 0x", 0.0, 2},       {"+0x", 0.0, 2},       {"-0x", -0.0, 2},
    };
    for (const Case& c : cases) {
        char* end = nullptr;
        double value = text_to_real(c.text, &end);
        EXPECT_EQ(value, c.value) << c.text;
        EXPECT_EQ(std::signbit(value), std::signbit(c.value)) << c.text;
        EXPECT_EQ(end - c.text, c.consumed) << c.text;
    }
}

TEST(RealConversion, SinglePrecisionOverflowsOnlyWhereRoundingReachesInfinity) {
    const float largest = std::numeric_limits<float>::max();
    const float infinity = std::numeric_limits<float>::infinity();
    const struct Case {
        double value;
        float single;
    } cases[] = {
        {0.1, 0.1f},
        {3.4028235e38, largest},
        {0x1.fffffefffffffp127, largest},  // just below halfway to 2^128
        {-0x1.fffffefffffffp127, -largest},
        {0x1.ffffffp127, infinity},  // halfway: the tie goes to the even 2^128
        {-0x1.ffffffp127, -infinity},
        {1e39, infinity},
    };
    for (const Case& c : cases) EXPECT_EQ(real_to_single(c.value), c.single) << c.value;
}

TEST(RealConversion, OutOfRangeValuesOverflowToInfinity) {
    EXPECT_TRUE(std::isinf(text_to_real("1e400", nullptr)));
    EXPECT_EQ(text_to_real("1e-400", nullptr), 0.0);
    EXPECT_TRUE(std::isinf(static_cast<float>(text_to_real("1e39", nullptr))));
}

}  // namespace
