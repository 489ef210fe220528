#include "rules/rule_parser.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <string>

#include "config/conf_record.h"
#include "rules/rule_record.h"
#include "tests/rules/rule_test_support.h"

namespace {

// A faulty one-line file: the message about its line 1, ending with the line.
struct LineFault {
    const char* line;
    int code;
    const char* detail;       // between "case.rul[1]: " and ":\n<line>\n"
    const char* before = "";  // what dmctodeg printed first, if anything
};

std::string line_message(const LineFault& f) {
    return std::string(f.before) + "\a\aError: case.rul[1]: " + f.detail + ":\n" + f.line + "\n";
}

void expect_faults(const LineFault* faults, size_t count) {
    for (size_t i = 0; i < count; ++i) {
        const LineFault& f = faults[i];
        reset_rule_state();
        ParseRun run = parse_rules_text(std::string(f.line) + "\n");
        EXPECT_EQ(f.code, run.code) << f.line;
        EXPECT_EQ(line_message(f), run.out) << f.line;
        EXPECT_EQ(0, conf_record.rule_count) << f.line;
        EXPECT_EQ(0, rules_processed) << f.line;
    }
}

template <size_t N>
void expect_faults(const LineFault (&faults)[N]) {
    expect_faults(faults, N);
}

constexpr const char* float_max = "340282346638528859811704183484516925440.000000";
constexpr const char* dotted_two_periods =
    "\a\aError: Dotted format: must have 2 periods: [s][D]DD.MM.[F*]\n"
    "\tor DMC format must have at least one of [DdMmCc] identifiers\n";

TEST(RulesParser, FaultyActionOrCommandWordStopsTheParse) {
    const LineFault faults[] = {
        {"dorp dst N0CALL", -3, "action dorp invalid"},
        {"dropped dst N0CALL", -3, "action dropped invalid"},
        {"x dst N0CALL", -3, "action x invalid"},
        {"d", -72, "missing arguments"},
        {"pass   ,\t", -72, "missing arguments"},
        {"drop #dst N0CALL", -5, "missing command"},
        {"drop ; dst", -5, "missing command"},
        {"drop /", -5, "missing command"},
        {"pass d N0CALL", -7, "Ambiguous command: d"},
        {"pass s N0CALL", -7, "Ambiguous command: s"},
        {"pass c 5 45d -105d", -7, "Ambiguous command: c"},
        {"pass dx N0CALL", -7, "command dx invalid"},
        {"pass destination N0CALL", -7, "command destination invalid"},
        {"pass dst#x N0CALL", -7, "command dst#x invalid"},
    };
    expect_faults(faults);
}

TEST(RulesParser, FileThatCannotBeReadFailsBeforeAnythingChanges) {
    reset_rule_state();
    testing::internal::CaptureStdout();
    EXPECT_EQ(-1, rules_process(nullptr));
    EXPECT_EQ("rules_process: Error: param rfp is invalid\n",
              testing::internal::GetCapturedStdout());

    const std::string missing = rules_file("no-such-file.rul");
    const std::string folder = rules_file("");
    for (const std::string& path : {missing, folder}) {
        ParseRun run = parse_rules_file(path);
        EXPECT_EQ(-2, run.code) << path;
        EXPECT_EQ("\a\aError: cannot open " + path + "\n", run.out);
        EXPECT_EQ(0, conf_record.implicit_action) << "untouched before the file is open";
    }
}

TEST(RulesParser, ReadErrorFailsTheParse) {
    // Reading this file fails at once (nothing is mapped at address 0).
    const char* path = "/proc/self/mem";
    std::FILE* probe = std::fopen(path, "r");
    if (probe == nullptr) GTEST_SKIP() << "no file that fails on reading";
    std::fclose(probe);
    reset_rule_state();
    ParseRun run = parse_rules_file(path);
    EXPECT_EQ(-2, run.code);
    EXPECT_EQ("\a\aError: cannot open /proc/self/mem\n", run.out);
    EXPECT_EQ(0, rules_processed);
}

TEST(RulesParser, CallsignFaultsOfDestinSourceAndDigi) {
    const LineFault faults[] = {
        {"drop dst", -11, "missing Destination"},
        {"drop destin   # N0CALL", -8, "missing Destination string"},
        {"drop dst #N0CALL", -8, "missing Destination string"},
        {"drop dst N0CALL-x", -9, "invalid SSID range [0..15]: x"},
        {"drop dst N0CALL--1", -9, "invalid SSID range [0..15]: -"},
        {"drop dst N0CALL-16", -9, "invalid SSID range [0..15]: 16"},
        {"drop dst N0CALL-99999999999", -9, "invalid SSID range [0..15]: 2147483647"},
        {"drop dst ABCDEFG", -10, "Destination is too long: ABCDEFG"},
        {"drop dst abcdefg-1", -10, "Destination is too long: abcdefg"},
        {"drop dst ABCDEFG*", -10, "Destination is too long: ABCDEFG"},
        {"drop src", -13, "missing Source"},
        {"drop source ;N0CALL", -12, "missing Source string"},
        {"drop src N0CALL-y", -9, "invalid SSID range [0..15]: y"},
        {"drop src N0CALL-20", -9, "invalid SSID range [0..15]: 20"},
        {"drop src ABCDEFG-1", -11, "Source is too long: ABCDEFG"},
        {"pass digi 1", -67, "missing Digi-n"},
        {"pass digi 3# WIDE1", -61, "missing Digi-n"},
        {"pass digi 1 wide1-x", -61, "Digi Match: Digi wide1-x invalid SSID range [0..15]: x"},
        {"pass digi 1 wide1-16", -61, "Digi Match: Digi wide1-16 invalid SSID range [0..15]: 16"},
        {"pass digi 1 widewide1-1", -61, "Digi Match: Digi widewide1 exceeds length 6"},
    };
    expect_faults(faults);
}

// "No word" and "a word after the comment character" have their own codes.
// A comment character inside an earlier argument that still converts puts
// the next argument after it.
TEST(RulesParser, MissingArgumentsOfTheAreaRules) {
    const LineFault faults[] = {
        {"drop circle", -25, "missing Radius"},
        {"drop circle 5", -24, "missing Latitude"},
        {"drop circle 5# 45d -105d", -17, "missing Latitude"},
        {"drop circle 5 45d", -23, "missing Longitude"},
        {"drop circle 5 45:0:0# -105d", -20, "missing Longitude"},
        {"drop compass", -37, "missing Compass Direction"},
        {"drop compass ne", -36, "missing Latitude"},
        {"drop compass ne 45d", -35, "missing Longitude"},
        {"drop compass ne 45:0:0# -105d", -32, "missing Longitude"},
        {"drop rectangle", -53, "missing Latitude1"},
        {"drop rectangle 40d", -52, "missing Longitude1"},
        {"drop rectangle 40:0:0# -105d", -41, "missing Longitude1"},
        {"drop rectangle 40d -105d", -51, "missing Latitude2"},
        {"drop rectangle 40d -105:0:0/ 41d", -44, "missing Latitude2"},
        {"drop rectangle 40d -105d 41d", -50, "missing Longitude2"},
        {"drop rectangle 40d -105d 41:0:0; -104d", -47, "missing Longitude2"},
        {"drop sector", -69, "missing Angle1"},
        {"drop sector 0d", -68, "missing Angle2"},
        {"drop sector 0:0:0# 90d 5", -58, "missing Angle2"},
        {"drop sector 0d 90d", -67, "missing Inner Range"},
        {"drop sector 0d 90d #5", -61, "missing Inner Range"},
        {"pass digi", -69, "missing Match Index"},
    };
    expect_faults(faults);
}

TEST(RulesParser, ArgumentValuesOutsideTheirRangeAreNamed) {
    const LineFault faults[] = {
        {"drop circle 0 45d -105d", -16, "invalid Circle Radius, must be > 0: 0.000000"},
        {"drop circle -2.5 45d -105d", -16, "invalid Circle Radius, must be > 0: -2.500000"},
        {"drop circle #5 45d -105d", -16, "invalid Circle Radius, must be > 0: 0.000000"},
        {"drop circle 1e39 45d -105d", -16, "invalid Circle Radius, must be > 0: inf"},
        {"drop circle 3.4028236e38 45d -105d", -16, "invalid Circle Radius, must be > 0: inf"},
        {"drop circle 5 90.1d -105d", -19, "invalid Latitude range [-90..90]: 90.099998"},
        {"drop circle 5 45d -180.5d", -22, "invalid Longitude range [-180..180]: -180.500000"},
        {"drop compass NNE 45d -105d", -27, "invalid compass Direction NNE"},
        {"drop compass north 45d -105d", -27, "invalid compass Direction north"},
        {"drop compass n -91d -105d", -31, "invalid Latitude range [-90..90]: -91.000000"},
        {"drop compass n 45d 181d", -34, "invalid Longitude range [-180..180]: 181.000000"},
        {"drop rectangle 95d -105d 41d -104d", -40, "invalid Latitude1 range [-90..90]: 95.000000"},
        {"drop rectangle 40d -181d 41d -104d", -43,
         "invalid Longitude1 range [-180..180]: -181.000000"},
        {"drop rectangle 40d -105d -90.5d -104d", -46,
         "invalid Latitude2 range [-90..90]: -90.500000"},
        {"drop rectangle 40d -105d 41d 200d", -49,
         "invalid Longitude2 range [-180..180]: 200.000000"},
        {"drop sector -1d 90d 5", -57, "invalid Angle1, range [0..360]: -1.000000"},
        {"drop sector 0d -10d 5", -60, "invalid Angle2, range [0..360]: -10.000000"},
        {"drop sector 0d 90d x", -62, "invalid or missing Inner Range"},
        {"drop sector 0d 90d .5", -62, "invalid or missing Inner Range"},
        {"drop sector 0d 90d 1e39", -64, "invalid Inner Range, must be >= 0: inf"},
        {"drop sector 0d 90d 5 5", -66, "invalid Outer Range, must be > Inner Range: 5.000000"},
        {"drop sector 0d 90d 5 x", -66, "invalid Outer Range, must be > Inner Range: 0.000000"},
        {"drop sector 0d 90d 5 1e39", -66, "invalid Outer Range, must be > Inner Range: inf"},
        {"pass digi 9 WIDE1", -57, "invalid Match Index, range [0..8]: 9"},
        {"pass digi x WIDE1", -57, "invalid Match Index, range [0..8]: x"},
        {"pass digi -1 WIDE1", -57, "invalid Match Index, range [0..8]: -"},
    };
    expect_faults(faults);
}

// dmctodeg prints its own message; its error value then fails the range.
TEST(RulesParser, RejectedAngleGivesTwoMessages) {
    std::string lat_range = std::string("invalid Latitude range [-90..90]: ") + float_max;
    std::string lon_range = std::string("invalid Longitude range [-180..180]: ") + float_max;
    std::string angle_range = std::string("invalid Angle1, range [0..360]: ") + float_max;
    const LineFault faults[] = {
        {"drop circle 5 45.5 -105.0", -19, lat_range.c_str(), dotted_two_periods},
        {"drop compass n 45d 10:20", -34, lon_range.c_str(),
         "\a\aError: Colon format: must have 2 colons: [s][D]DD:MM:SS[.F*]\n"},
        {"drop sector 45 90d 5", -57, angle_range.c_str(),
         "\a\aError: Unrecognized format: must be one of Dotted, Colon or DMC\n"},
    };
    expect_faults(faults);
}

std::string parsed_record(const char* line) {
    reset_rule_state();
    ParseRun run = parse_rules_text(std::string(line) + "\n");
    if (run.code != 0) return run.out;
    EXPECT_EQ("Rules processed 1, implicit 0\n", run.out) << line;
    return record_hex(rule_table[0]);
}

TEST(RulesParser, EveryRuleTypeFillsItsSlots) {
    struct Case {
        const char* line;
        const char* image;
    };
    const Case cases[] = {
        // Callsigns: as written for destin and source, upper case for digi.
        {"DROP DsT n0call",
         "6E 30 63 61 6C 6C 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 35 04 01 00"},
        {"d dst N0CALL",
         "4E 30 43 41 4C 4C 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 35 04 01 00"},
        {"drop,dst,,N0CALL#note",
         "4E 30 43 41 4C 4C 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 35 04 01 00"},
        {"drop dst N0CALL # note",
         "4E 30 43 41 4C 4C 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 35 04 01 00"},
        {"drop dst N0CALL extra words",
         "4E 30 43 41 4C 4C 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 35 04 01 00"},
        {"implicit dst N0CALL",
         "4E 30 43 41 4C 4C 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 35 10 01 00"},
        {"drop dst ABCDEF-15",
         "41 42 43 44 45 46 0F 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 35 44 01 00"},
        {"drop dst N0CALL-1x",
         "4E 30 43 41 4C 4C 01 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 35 44 01 00"},
        {"drop dst AB*-5",
         "41 42 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 35 14 01 00"},
        {"drop dst *",
         "00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 35 34 01 00"},
        {"drop dst *N0CALL-3",
         "00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 35 34 01 00"},
        {"pass src k1abc-7",
         "6B 31 61 62 63 00 07 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 36 48 01 00"},
        {"pass digi * wide1-1",
         "57 49 44 45 31 00 01 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 3B 48 01 00"},
        {"pass digi 3 n0call",
         "4E 30 43 41 4C 4C 00 00 00 00 00 00 03 00 00 00 00 00 00 00 00 00 00 00 3B 08 01 00"},
        {"pass digi 8 Wide*",
         "57 49 44 45 00 00 00 00 00 00 00 00 08 00 00 00 00 00 00 00 00 00 00 00 3B 18 01 00"},
        // Areas: single-precision floats at offsets 0, 6, 12 and 18.
        {"drop circle 5 45.5d -105.0d",
         "00 00 A0 40 00 00 00 00 36 42 00 00 00 00 D2 C2 00 00 00 00 00 00 00 00 37 04 01 00"},
        {"pass circle 2.5 39.5d -104.75d#x",
         "00 00 20 40 00 00 00 00 1E 42 00 00 00 80 D1 C2 00 00 00 00 00 00 00 00 37 08 01 00"},
        {"drop compass ne 45d -105d",
         "02 00 00 00 00 00 00 00 34 42 00 00 00 00 D2 C2 00 00 00 00 00 00 00 00 38 04 01 00"},
        {"pass rectangle 40d -106d 39:30:00 -104.30.",
         "00 00 20 42 00 00 00 00 D4 C2 00 00 00 00 1E 42 00 00 00 00 D1 C2 00 00 39 08 01 00"},
        {"drop sector 0d 90d 5",
         "00 00 00 00 00 00 00 00 B4 42 00 00 00 00 A0 40 00 00 00 00 00 00 00 00 3A 04 01 00"},
        {"pass sector 270d 90d 0.5 10#far",
         "00 00 87 43 00 00 00 00 B4 42 00 00 00 00 00 3F 00 00 00 00 20 41 00 00 3A 08 01 00"},
        {"drop sector 0d 360d 0 # out of range left out",
         "00 00 00 00 00 00 00 00 B4 43 00 00 00 00 00 00 00 00 00 00 00 00 00 00 3A 04 01 00"},
        // Just above the largest float, and still rounding to it.
        {"drop circle 3.4028235e38 0d 0d",
         "FF FF 7F 7F 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 37 04 01 00"},
        {"drop sector 0d 0d 3.40282356e38",
         "00 00 00 00 00 00 00 00 00 00 00 00 FF FF 7F 7F 00 00 00 00 00 00 00 00 3A 04 01 00"},
    };
    for (const Case& c : cases) EXPECT_EQ(c.image, parsed_record(c.line)) << c.line;
}

TEST(RulesParser, CommandWordNotActionWordDecidesTheImplicitRule) {
    struct Case {
        const char* text;
        uint16_t implicit_action;
        const char* summary;
    };
    const Case cases[] = {
        {"", implicit_pass, "Rules processed 0, implicit 0\n"},
        {"drop implicit\n", implicit_drop, "Rules processed 0, implicit 1\n"},
        {"implicit drop\n", implicit_drop, "Rules processed 0, implicit 1\n"},
        {"pass implicit\n", implicit_pass, "Rules processed 0, implicit 1\n"},
        {"implicit pass\n", implicit_pass, "Rules processed 0, implicit 1\n"},
        {"implicit implicit\n", implicit_pass, "Rules processed 0, implicit 1\n"},
        {"drop pass\n", implicit_pass, "Rules processed 0, implicit 1\n"},
        {"dr i the rest is ignored\n", implicit_drop, "Rules processed 0, implicit 1\n"},
        {"drop implicit\ndrop p\n", implicit_pass, "Rules processed 0, implicit 2\n"},
        {"implicit drop\npass dst N0CALL\n# end\n", implicit_drop,
         "Rules processed 1, implicit 1\n"},
    };
    for (const Case& c : cases) {
        reset_rule_state();
        ParseRun run = parse_rules_text(c.text);
        EXPECT_EQ(0, run.code) << c.text;
        EXPECT_EQ(c.summary, run.out) << c.text;
        EXPECT_EQ(c.implicit_action, conf_record.implicit_action) << c.text;
        EXPECT_EQ(1, rules_processed) << c.text;
    }
}

TEST(RulesParser, RuleEqualToAnEarlierOneIsADuplicate) {
    struct Case {
        const char* text;
        const char* out;
    };
    const Case cases[] = {
        {"drop dst N0CALL\n\ndrop dst N0CALL\n",
         "\a\aError: case.rul[3]: Duplicate Rule on line 1\n"},
        {"pass digi 0 WIDE1\npass digi * WIDE1\n",
         "\a\aError: case.rul[2]: Duplicate Rule on line 1\n"},
        {"pass digi 1 wide1\npass digi 1 WIDE1\n",
         "\a\aError: case.rul[2]: Duplicate Rule on line 1\n"},
        {"drop circle 5 45d30m -105d\n# the same place\ndrop circle 5.0 45:30:00 -105d\n",
         "\a\aError: case.rul[3]: Duplicate Rule on line 1\n"},
        {"drop sector 0d 90d 0\ndrop sector 0d 90d 0 1\ndrop sector 0d 90d 0 # again\n",
         "\a\aError: case.rul[3]: Duplicate Rule on line 1\n"},
        {"drop dst A\ndrop dst B\ndrop dst B\n",
         "\a\aError: case.rul[3]: Duplicate Rule on line 2\n"},
        // Different records: the action, the SSID flag, the case of a destin
        // callsign, and the sign of a zero all count.
        {"drop dst N0CALL\npass dst N0CALL\n", "Rules processed 2, implicit 0\n"},
        {"drop dst N0CALL-7\ndrop dst N0CALL\n", "Rules processed 2, implicit 0\n"},
        {"drop dst N0CALL\ndrop dst N0CALL-0\n", "Rules processed 2, implicit 0\n"},
        {"drop dst n0call\ndrop dst N0CALL\n", "Rules processed 2, implicit 0\n"},
        {"drop dst N0CALL*\ndrop dst N0CALL\n", "Rules processed 2, implicit 0\n"},
        {"drop circle 5 0d 0d\ndrop circle 5 0d -0d\n", "Rules processed 2, implicit 0\n"},
    };
    for (const Case& c : cases) {
        reset_rule_state();
        ParseRun run = parse_rules_text(c.text);
        EXPECT_EQ(c.out, run.out) << c.text;
        EXPECT_EQ(c.out[0] == '\a' ? -71 : 0, run.code) << c.text;
    }
}

TEST(RulesParser, ThirtyRulesFillTheTable) {
    std::string thirty;
    for (int i = 0; i < rule_table_size; ++i) thirty += "drop dst C" + std::to_string(i) + "\n";
    struct Case {
        const char* last_line;
        int code;
        const char* out;
    };
    const Case cases[] = {
        {"", 0, "Rules processed 30, implicit 0\n"},
        {"# a comment and a blank line\n\n", 0, "Rules processed 30, implicit 0\n"},
        {"drop dst C30\n", -6, "\a\aError: case.rul[31]: rule limit (30) exceeded:\ndst\n"},
        {"pass implicit\n", -6, "\a\aError: case.rul[31]: rule limit (30) exceeded:\nimplicit\n"},
        {"pass bogus\n", -6, "\a\aError: case.rul[31]: rule limit (30) exceeded:\nbogus\n"},
    };
    for (const Case& c : cases) {
        reset_rule_state();
        ParseRun run = parse_rules_text(thirty + c.last_line);
        EXPECT_EQ(c.code, run.code) << c.last_line;
        EXPECT_EQ(c.out, run.out) << c.last_line;
        EXPECT_EQ(c.code == 0 ? rule_table_size : 0, conf_record.rule_count) << c.last_line;
    }
    EXPECT_EQ("C29", std::string(reinterpret_cast<const char*>(rule_table[29].slot[0])));
}

TEST(RulesParser, EveryLineReadCountsInLineNumbers) {
    struct Case {
        std::string text;
        std::string out;
    };
    const std::string long_comment = "# " + std::string(253, 'a');  // 255 characters
    const Case cases[] = {
        {"\n# c\n; c\n/ c\n \t,\ndorp\n", "\a\aError: case.rul[6]: action dorp invalid:\ndorp\n"},
        // A longer line comes in pieces of 255 characters; each is a line.
        {long_comment + "dst N0CALL\n",
         "\a\aError: case.rul[2]: action dst invalid:\ndst N0CALL\n"},
        // A CR before the line feed is part of the line end.
        {"pass dst N0CALL\r\ndorp\r\n", "\a\aError: case.rul[2]: action dorp invalid:\ndorp\n"},
    };
    for (const Case& c : cases) {
        reset_rule_state();
        ParseRun run = parse_rules_text(c.text);
        EXPECT_EQ(-3, run.code);
        EXPECT_EQ(c.out, run.out);
    }

    reset_rule_state();
    ParseRun run = parse_rules_text("drop dst N0CALL\r\n#\r\npass digi 2 wide2-2\r\n");
    ASSERT_EQ(0, run.code) << run.out;
    EXPECT_EQ("N0CALL", std::string(reinterpret_cast<const char*>(rule_table[0].slot[0]), 6));
    EXPECT_EQ(0, rule_table[0].slot[1][0]) << "no CR after the callsign";
    EXPECT_EQ(3, rule_table[1].line);
    EXPECT_EQ(2, rule_table[1].slot[1][0]);
}

// Messages count lines in 32 bits; a record keeps the low 16 bits of its line.
TEST(RulesParser, LineNumbersBeyondSixteenBits) {
    std::string comments;
    for (int i = 0; i < 32767; ++i) comments += "#\n";
    const std::string text = comments + "drop dst A\n" +  // line 32768
                             comments + "drop dst B\n" +  // line 65536
                             "pass dst C\n" +             // line 65537
                             "drop dst B\n";              // line 65538
    reset_rule_state();
    ParseRun run = parse_rules_text(text);
    EXPECT_EQ(-71, run.code);
    EXPECT_EQ("\a\aError: case.rul[65538]: Duplicate Rule on line 65536\n", run.out);
    EXPECT_EQ(-32768, rule_table[0].line);
    EXPECT_EQ(0, rule_table[1].line);
    EXPECT_EQ(1, rule_table[2].line);
}

TEST(RulesParser, FailedParseLeavesNoRuleSet) {
    reset_rule_state();
    ASSERT_EQ(0, parse_rules_text("pass dst A\npass dst B\n").code);
    EXPECT_EQ(2, conf_record.rule_count);
    EXPECT_EQ(1, rules_processed);

    ParseRun run = parse_rules_text("drop implicit\ndrop dst N0CALL\ndrop dst N0CALL-99\n");
    EXPECT_EQ(-9, run.code);
    EXPECT_EQ(0, conf_record.rule_count);
    EXPECT_EQ(0, rules_processed);
    EXPECT_EQ(implicit_drop, conf_record.implicit_action) << "set by the line before the fault";
    EXPECT_EQ(0, std::memcmp(rule_table[1].slot[0], "\0\0\0\0\0\0", 6))
        << "the table of the earlier parse was cleared";
}

TEST(RulesParser, ExampleFileParses) {
    reset_rule_state();
    ParseRun run = parse_rules_file(std::string(TEST_SOURCE_DIR) + "/examples/site.rul");
    EXPECT_EQ(0, run.code) << run.out;
    EXPECT_EQ("Rules processed 12, implicit 1\n", run.out);
    EXPECT_EQ(implicit_drop, conf_record.implicit_action);
}

}  // namespace
