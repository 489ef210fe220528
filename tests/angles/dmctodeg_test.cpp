#include "angles/dmctodeg.h"

#include <gtest/gtest.h>

#include <bit>
#include <cstdint>
#include <cstdio>
#include <string>

namespace {

struct Outcome {
    float value;
    std::string printed;
};

Outcome convert(const char* text) {
    testing::internal::CaptureStdout();
    float value = dmctodeg(text);
    std::fflush(stdout);
    return Outcome{value, testing::internal::GetCapturedStdout()};
}

uint32_t bits_of(float value) { return std::bit_cast<uint32_t>(value); }

std::string six_decimals(float value) {
    char text[64];
    std::snprintf(text, sizeof text, "%f", static_cast<double>(value));
    return text;
}

TEST(Dmctodeg, ErrorValueIsTheLargestFiniteSingle) {
    EXPECT_EQ(bits_of(dmctodeg_error), 0x7F7FFFFFu);
}

TEST(Dmctodeg, WorkedValuesComeOutBitExact) {
    struct Case {
        const char* text;
        uint32_t bits;
        const char* shown;
    };
    const Case cases[] = {
        {"45:22:33", 0x423580DA, "45.375832"},
        {"-38:33:29.222", 0xC21A3B83, "-38.558117"},
        {":30:", 0x3F000000, "0.500000"},
        {"-::.5", 0xB911A2B4, "-0.000139"},
        {"45.22.64", 0x42358264, "45.377335"},
        {"-..33", 0xBBB43959, "-0.005500"},
        {"..", 0x00000000, "0.000000"},
        {"N39d23.7m33.9c", 0x421D9E1F, "39.404415"},
        {"-42.5d", 0xC22A0000, "-42.500000"},
        {"45:18:", 0x42353333, "45.299999"},
        {"359d59m59c", 0x43B3FFF7, "359.999725"},
    };
    for (const Case& c : cases) {
        Outcome outcome = convert(c.text);
        EXPECT_EQ(outcome.printed, "") << c.text;
        EXPECT_EQ(bits_of(outcome.value), c.bits) << c.text;
        EXPECT_EQ(six_decimals(outcome.value), c.shown) << c.text;
    }
}

TEST(Dmctodeg, EachNotationReadsItsPartsAsDocumented) {
    struct Case {
        const char* text;
        float expected;
    };
    const Case cases[] = {
        {"45:22.5:00", 45.0f + 22.0f / 60.0f},  // Colon minutes are whole: the fraction is dropped
        {"12:30:00#", 12.5f},                   // Colon does not check other characters
        {"45:-22:33", -45.375832f},             // one minus on any part negates the whole
        {"45.-30.", -45.5f},
        {"45d30m\n", 45.5f},                    // a newline ends the text
        {"45d 30N", 45.0f},                     // the span before a direction letter is dropped
        {"30m45d", 45.5f},                      // identifiers in any order
        {"45d30m", 45.5f},
        {"1e1m", 1.0f / 60.0f},                 // e is East, not an exponent
        {"45 30m", 0.75f},                      // a part takes the number that opens its span
        {"S45d30m", -45.5f},
        {"45d30mW", -45.5f},
        {"s45d", -45.0f},
        {"E 45.5 d", 45.5f},
        {"+45d", 45.0f},
        {"360d", 360.0f},
        {"-360d", -360.0f},
        {"59.99m", 59.99f / 60.0f},
        {"0000000000000000000000000000000045d", 45.0f},  // a long span converts in full
        {"                                  45.25d", 45.25f},
    };
    for (const Case& c : cases) {
        Outcome outcome = convert(c.text);
        EXPECT_EQ(outcome.printed, "") << c.text;
        EXPECT_FLOAT_EQ(outcome.value, c.expected) << c.text;
    }
}

TEST(Dmctodeg, EveryCheckPrintsItsMessageAndGivesTheErrorValue) {
    struct Case {
        const char* text;
        const char* message;
    };
    const Case cases[] = {
        {"", "dmctodeg: Error: invalid param inp\n"},
        {"--45d", "\a\aError: too many minus signs: 2: only one is allowed\n"},
        {"-45:-30:-1", "\a\aError: too many minus signs: 3: only one is allowed\n"},
        {"45:30", "\a\aError: Colon format: must have 2 colons: [s][D]DD:MM:SS[.F*]\n"},
        {"45:30:00:", "\a\aError: Colon format: must have 2 colons: [s][D]DD:MM:SS[.F*]\n"},
        {"45.1:30:00.5", "\a\aError: Colon format: too many periods: [s][D]DD:MM:SS[.F*]\n"},
        {"45:30:00N", "\a\aError: Colon format: has alpha characters: [s][D]DD:MM:SS[.F*]\n"},
        {"A45:30:00", "\a\aError: Colon format: has alpha characters: [s][D]DD:MM:SS[.F*]\n"},
        {"Z45:30:00", "\a\aError: Colon format: has alpha characters: [s][D]DD:MM:SS[.F*]\n"},
        {"45:30a:00", "\a\aError: Colon format: has alpha characters: [s][D]DD:MM:SS[.F*]\n"},
        {"45:30:00z", "\a\aError: Colon format: has alpha characters: [s][D]DD:MM:SS[.F*]\n"},
        {"4530", "\a\aError: Unrecognized format: must be one of Dotted, Colon or DMC\n"},
        {"45.30",
         "\a\aError: Dotted format: must have 2 periods: [s][D]DD.MM.[F*]\n"
         "\tor DMC format must have at least one of [DdMmCc] identifiers\n"},
        {"45.30.5.",
         "\a\aError: Dotted format: must have 2 periods: [s][D]DD.MM.[F*]\n"
         "\tor DMC format must have at least one of [DdMmCc] identifiers\n"},
        {"45.30.5N",
         "\a\aError: DMC format must have at least one of [DdMmCc] identifiers\n"
         "\tor Dotted format: found illegal character: [s][D]DD.MM.[F*]\n"},
        {"N45d-3m", "\a\aError: DMC format: both minus (-) and direction char N cannot be specified\n"},
        {"-45dW", "\a\aError: DMC format: both minus (-) and direction char W cannot be specified\n"},
        {"s45d-3mE", "\a\aError: DMC format: both minus (-) and direction char E cannot be specified\n"},
        {"N45dS", "\a\aError: DMC format: both direction chars N and S cannot be specified\n"},
        {"w45de", "\a\aError: DMC format: both direction chars e and w cannot be specified\n"},
        {"45d45d", "\a\aError: DMC format: already have degrees (45.000000)\n"},
        {"10m2.5M", "\a\aError: DMC format: already have minutes (10.000000)\n"},
        {"1.5c1C", "\a\aError: DMC format: already have seconds (1.500000)\n"},
        {"45dx", "\a\aError: DMC format: invalid char: x (0x78)\n"},
        {"45dxy", "\a\aError: DMC format: invalid char: x (0x78)\n"},
        {"45d\xE9", "\a\aError: DMC format: invalid char: \xE9 (0xe9)\n"},
        {"45d30", "\a\aInternal Error: pointer mismatch\n"},
        {"45d30m ", "\a\aInternal Error: pointer mismatch\n"},
        {"45d30m60c", "\a\aError: sec 60.000000 is out of range [-59.99..59.99]\n"},
        {"45:30:60", "\a\aError: sec 60.000000 is out of range [-59.99..59.99]\n"},
        {"45d60m60c", "\a\aError: sec 60.000000 is out of range [-59.99..59.99]\n"},
        {"45d-60m", "\a\aError: min 60.000000 is out of range [-59.99..59.99]\n"},
        {"45.60.", "\a\aError: min 60.000000 is out of range [-59.99..59.99]\n"},
        {"360d1m", "\a\aError: deg 360.016663 is out of range [-360..360]\n"},
        {"-361:00:00", "\a\aError: deg -361.000000 is out of range [-360..360]\n"},
        {"99999999999:00:00", "\a\aError: deg 2147483648.000000 is out of range [-360..360]\n"},
        // 3.4028235e38 rounds to the largest float, which is finite and shown.
        {"340282350000000000000000000000000000000c",
         "\a\aError: sec "
         "340282346638528859811704183484516925440.000000"
         " is out of range [-59.99..59.99]\n"},
        {"-340282350000000000000000000000000000000d",
         "\a\aError: deg -"
         "340282346638528859811704183484516925440.000000"
         " is out of range [-360..360]\n"},
    };
    for (const Case& c : cases) {
        Outcome outcome = convert(c.text);
        EXPECT_EQ(outcome.printed, c.message) << c.text;
        EXPECT_EQ(bits_of(outcome.value), 0x7F7FFFFFu) << c.text;
    }
}

TEST(Dmctodeg, NullTextIsAParameterError) {
    Outcome outcome = convert(nullptr);
    EXPECT_EQ(outcome.printed, "dmctodeg: Error: invalid param inp\n");
    EXPECT_EQ(bits_of(outcome.value), 0x7F7FFFFFu);
}

TEST(Dmctodeg, DegreesBeyondTheSingleRangeAreRejectedNotOverflowed) {
    std::string huge(400, '9');
    huge += 'd';
    Outcome outcome = convert(huge.c_str());
    EXPECT_EQ(outcome.printed, "\a\aError: deg inf is out of range [-360..360]\n");
    EXPECT_EQ(bits_of(outcome.value), 0x7F7FFFFFu);
}

}  // namespace
