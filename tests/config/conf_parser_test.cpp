#include "config/conf_parser.h"

#include <gtest/gtest.h>

#include <bit>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <string>

#include "config/conf_record.h"
#include "tests/config/conf_test_support.h"

namespace {

std::string record_bytes(std::size_t offset, std::size_t size) {
    return std::string(reinterpret_cast<const char*>(&conf_record) + offset, size);
}

std::string fail(int line, const std::string& message, const std::string& copy) {
    return "\a\aError: t.cfg[" + std::to_string(line) + "]: " + message + ": " + copy + "\n";
}

TEST(ConfParser, KeywordsMatchByUniquePrefixIgnoringCase) {
    struct Case {
        const char* line;
        int code;
        std::string out;
    };
    const Case cases[] = {
        {"HOST 9600", 0, "Configuration items processed 1\n"},
        {"ho 9600", 0, "Configuration items processed 1\n"},
        {"Host,9600", 0, "Configuration items processed 1\n"},
        {"\t host\t9600", 0, "Configuration items processed 1\n"},
        {"h 9600", -7, "\a\aError: t.cfg[1]: Ambiguous command: h: h 9600\n"},
        {"d 1", -7, "\a\aError: t.cfg[1]: Ambiguous command: d: d 1\n"},
        {"wide 1", -7, "\a\aError: t.cfg[1]: Ambiguous command: wide: wide 1\n"},
        {"b 1", -7, "\a\aError: t.cfg[1]: Ambiguous command: b: b 1\n"},
        {"c 1", -7, "\a\aError: t.cfg[1]: Ambiguous command: c: c 1\n"},
        {"L 1", -7, "\a\aError: t.cfg[1]: Ambiguous command: L: L 1\n"},
        {"n 1", -7, "\a\aError: t.cfg[1]: Ambiguous command: n: n 1\n"},
        {"r 1", -7, "\a\aError: t.cfg[1]: Ambiguous command: r: r 1\n"},
        {"s 1", -7, "\a\aError: t.cfg[1]: Ambiguous command: s: s 1\n"},
        {"frob 1", -7, "\a\aError: t.cfg[1]: command frob invalid: frob 1\n"},
        {"hosts 9600", -7, "\a\aError: t.cfg[1]: command hosts invalid: hosts 9600\n"},
        {"host9600", -7, "\a\aError: t.cfg[1]: command host9600 invalid: host9600\n"},
    };
    for (const Case& c : cases) {
        Outcome outcome = configure_text(std::string(c.line) + "\n");
        EXPECT_EQ(outcome.code, c.code) << c.line;
        EXPECT_EQ(outcome.out, c.out) << c.line;
        if (c.code == 0) {
            EXPECT_EQ(conf_record.host_baud, 9600u) << c.line;
        }
    }
    ASSERT_EQ(configure_text("p 1d 2d\n").code, 0);
    EXPECT_EQ(conf_record.base_lat, 1.0f);
    EXPECT_EQ(conf_record.base_lon, 2.0f);
}

TEST(ConfParser, NumbersAreConvertedAndStoredInTheirFields) {
    struct Case {
        const char* text;
        std::size_t offset;
        std::size_t width;
        uint32_t expected;
    };
    const Case cases[] = {
        {"ssid 010", offsetof(conf_layout, ssid), 2, 8},
        {"ssid 0x0f", offsetof(conf_layout, ssid), 2, 15},
        {"ssid 7abc", offsetof(conf_layout, ssid), 2, 7},
        {"ssid 5 extra words", offsetof(conf_layout, ssid), 2, 5},
        {"altitude 1000f", offsetof(conf_layout, altitude), 4, 304},
        {"altitude 1000", offsetof(conf_layout, altitude), 4, 1000},
        {"altitude -10F", offsetof(conf_layout, altitude), 4, 0xFFFFFFFD},
        {"altitude 010f", offsetof(conf_layout, altitude), 4, 2},
        {"altitude 0x10f", offsetof(conf_layout, altitude), 4, 0x10F},
        {"altitude high", offsetof(conf_layout, altitude), 4, 0},
        {"altitude 99999999999", offsetof(conf_layout, altitude), 4, 0x7FFFFFFF},
        {"altitude -99999999999f", offsetof(conf_layout, altitude), 4, static_cast<uint32_t>(-654720640)},
        {"host 4800", offsetof(conf_layout, host_baud), 4, 4800},
        {"host +2400bps", offsetof(conf_layout, host_baud), 4, 2400},
        {"tnc 110", offsetof(conf_layout, tnc_baud), 4, 110},
        {"gps 115200", offsetof(conf_layout, gps_baud), 4, 115200},
        {"widemax 1", offsetof(conf_layout, widemax), 2, 1},
        {"widemax 2\nwidetotal 2", offsetof(conf_layout, widetotal), 2, 2},
        {"widetotal 6\nwidemax 6", offsetof(conf_layout, widemax), 2, 6},
        {"dupewin 5", offsetof(conf_layout, dupewin), 2, 5},
        {"dupewin 500", offsetof(conf_layout, dupewin), 2, 500},
        {"ratelimcall 0", offsetof(conf_layout, ratelimcall), 2, 0},
        {"ratelimcall 65535", offsetof(conf_layout, ratelimcall), 2, 65535},
        {"beacon 0", offsetof(conf_layout, beacon), 2, 0},
        {"beacon 10", offsetof(conf_layout, beacon), 2, 10},
        {"beacon 0x258", offsetof(conf_layout, beacon), 2, 600},
        {"beacon 65535", offsetof(conf_layout, beacon), 2, 65535},
        {"icon /#", offsetof(conf_layout, icon), 2, 0x2F23},
        {"icon \\z", offsetof(conf_layout, icon), 2, 0x5C7A},
        {"icon 9~", offsetof(conf_layout, icon), 2, 0x397E},
        {"icon a!", offsetof(conf_layout, icon), 2, 0x6121},
        {"icon j!extra", offsetof(conf_layout, icon), 2, 0x6A21},
        {"icon Z/", offsetof(conf_layout, icon), 2, 0x5A2F},
        {"uitrace", offsetof(conf_layout, uitrace), 2, 0xFFFF},
        {"uitrace\nuitrace", offsetof(conf_layout, uitrace), 2, 0},
        {"uitrace no", offsetof(conf_layout, uitrace), 2, 0xFFFF},
        {"lat 45:22:33", offsetof(conf_layout, base_lat), 4, 0x423580DA},
        {"lat 100d", offsetof(conf_layout, base_lat), 4, std::bit_cast<uint32_t>(100.0f)},
        {"lon -103:00:00", offsetof(conf_layout, base_lon), 4, std::bit_cast<uint32_t>(-103.0f)},
        {"position 45d,W120d", offsetof(conf_layout, base_lon), 4, std::bit_cast<uint32_t>(-120.0f)},
        {"base\t10d\t20d", offsetof(conf_layout, base_lat), 4, std::bit_cast<uint32_t>(10.0f)},
    };
    for (const Case& c : cases) {
        Outcome outcome = configure_text(std::string(c.text) + "\n");
        EXPECT_EQ(outcome.code, 0) << c.text << "\n" << outcome.out;
        EXPECT_EQ(record_field(c.offset, c.width), c.expected) << c.text;
    }
}

TEST(ConfParser, YesNoArgumentsAreTrueOnlyForTheYesCharacters) {
    struct Case {
        const char* text;
        std::size_t offset;
        uint32_t expected;
    };
    const Case cases[] = {
        {"havegps on", offsetof(conf_layout, havegps), 0},
        {"havegps enable", offsetof(conf_layout, havegps), 1},
        {"log y", offsetof(conf_layout, log), 1},
        {"log Y", offsetof(conf_layout, log), 1},
        {"log 1", offsetof(conf_layout, log), 1},
        {"log t", offsetof(conf_layout, log), 1},
        {"log True", offsetof(conf_layout, log), 1},
        {"log e", offsetof(conf_layout, log), 1},
        {"log E", offsetof(conf_layout, log), 1},
        {"log no", offsetof(conf_layout, log), 0},
        {"log 2", offsetof(conf_layout, log), 0},
        {"log pass", offsetof(conf_layout, log), 0},
        {"dropmangled false", offsetof(conf_layout, dropmangled), 0},
        {"haltonerr yes", offsetof(conf_layout, haltonerr), 1},
        {"fixvalid off", offsetof(conf_layout, fixvalid), 0},
        {"nsr T", offsetof(conf_layout, nsr), 1},
        {"relaydrop 1", offsetof(conf_layout, relaydrop), 1},
        {"nonaprs pass", offsetof(conf_layout, nonaprs), 1},
        {"nonaprs P", offsetof(conf_layout, nonaprs), 1},
        {"nonaprs yes", offsetof(conf_layout, nonaprs), 1},
        {"nonaprs drop", offsetof(conf_layout, nonaprs), 0},
    };
    for (const Case& c : cases) {
        Outcome outcome = configure_text(std::string(c.text) + "\n");
        EXPECT_EQ(outcome.code, 0) << c.text;
        EXPECT_EQ(record_field(c.offset, 2), c.expected) << c.text;
    }
}

TEST(ConfParser, ArgumentErrorsStopTheParseWithTheirMessage) {
    struct Case {
        const char* line;
        int code;
        std::string out;
    };
    const Case cases[] = {
        {"call", -11, fail(1, "missing Call Sign argument", "call")},
        {"call # n0call", -8, fail(1, "missing Call Sign argument", "call # n0call")},
        {"call n0call-10", -11, fail(1, "invalid Call Sign argument: too long", "call n0call-10")},
        {"ssid", -11, fail(1, "missing SSID argument", "ssid")},
        {"ssid ;5", -8, fail(1, "missing SSID argument", "ssid ;5")},
        {"ssid x5", -11, fail(1, "invalid SSID argument range [0..15]: 0", "ssid x5")},
        {"ssid 16", -11, fail(1, "invalid SSID argument range [0..15]: 16", "ssid 16")},
        {"ssid 0x10", -11, fail(1, "invalid SSID argument range [0..15]: 16", "ssid 0x10")},
        {"position", -11, fail(1, "missing Station Latitude argument", "position")},
        {"position # 45d 1d",  -11,
         "\a\aError: Unrecognized format: must be one of Dotted, Colon or DMC\n" +
             fail(1, "invalid Station Latitude argument: #", "position # 45d 1d")},
        {"position 45d", -11, fail(1, "missing Station Longitude argument", "position 45d")},
        {"position 45d # 2d", -8, fail(1, "missing Station Longitude argument", "position 45d # 2d")},
        {"position 45d 2x", -11,
         "\a\aError: DMC format must have at least one of [DdMmCc] identifiers\n"
         "\tor Dotted format: found illegal character: [s][D]DD.MM.[F*]\n" +
             fail(1, "invalid Station Longitude argument: 2x", "position 45d 2x")},
        {"lat", -11, fail(1, "missing Station Latitude argument", "lat")},
        {"lat /45d", -8, fail(1, "missing Station Latitude argument", "lat /45d")},
        {"lat 95", -11,
         "\a\aError: Unrecognized format: must be one of Dotted, Colon or DMC\n" +
             fail(1, "invalid Station Latitude argument: 95", "lat 95")},
        {"lon", -11, fail(1, "missing Station Longitude argument", "lon")},
        {"lon 45d30", -11,
         "\a\aInternal Error: pointer mismatch\n" + fail(1, "invalid Station Longitude argument: 45d30", "lon 45d30")},
        {"lon 361d", -11,
         "\a\aError: deg 361.000000 is out of range [-360..360]\n" +
             fail(1, "invalid Station Longitude argument: 361d", "lon 361d")},
        {"altitude", -11, fail(1, "missing Altitude argument", "altitude")},
        {"havegps", -11, fail(1, "missing y | n argument", "havegps")},
        {"log /yes", -8, fail(1, "missing y | n argument", "log /yes")},
        {"nonaprs", -11, fail(1, "missing y | n argument", "nonaprs")},
        {"host", -11, fail(1, "missing Baud argument", "host")},
        {"host 1234", -11, fail(1, "invalid Baud argument: 1234", "host 1234")},
        {"tnc fast", -11, "get_baud: Error: invalid baud: 0\n" + fail(1, "invalid Baud argument: 0", "tnc fast")},
        {"gps 0", -11, "get_baud: Error: invalid baud: 0\n" + fail(1, "invalid Baud argument: 0", "gps 0")},
        {"widemax", -11, fail(1, "missing n argument", "widemax")},
        {"widemax 0", -11, fail(1, "invalid n argument range [1..6]: 0", "widemax 0")},
        {"widetotal 7", -11, fail(1, "invalid n argument range [1..6]: 7", "widetotal 7")},
        {"widetotal 2", -11, fail(1, "invalid n argument 2 must be >= WIDEMAX: 3", "widetotal 2")},
        {"widemax 7", -11, fail(1, "invalid n argument range [1..6]: 7", "widemax 7")},
        {"dupewin", -11, fail(1, "missing seconds argument", "dupewin")},
        {"dupewin 4", -11, fail(1, "invalid seconds argument range [5..500]: 4", "dupewin 4")},
        {"dupewin 501", -11, fail(1, "invalid seconds argument range [5..500]: 501", "dupewin 501")},
        {"ratelimcall", -11, fail(1, "missing seconds argument", "ratelimcall")},
        {"ratelimcall 65536", -11, fail(1, "invalid seconds argument range [0..65535]: 65536", "ratelimcall 65536")},
        {"ratelimcall -1", -11, fail(1, "invalid seconds argument range [0..65535]: -1", "ratelimcall -1")},
        {"beacon", -11, fail(1, "missing seconds argument", "beacon")},
        {"beacon 9", -11, fail(1, "invalid seconds argument range [0, 10..65535]: 9", "beacon 9")},
        {"beacon 0x10000", -11, fail(1, "invalid seconds argument range [0, 10..65535]: 65536", "beacon 0x10000")},
        {"digipath", -11, fail(1, "missing Digi Path argument", "digipath")},
        {"digipath #WIDE1-1", -8, fail(1, "missing Digi Path argument", "digipath #WIDE1-1")},
        {"digipath WIDE1-1,RELAYWIDE", -11,
         fail(1, "Digi Path[2]: RELAYWIDE exceeds length 8", "digipath WIDE1-1,RELAYWIDE")},
        {"icon", -8, fail(1, "missing Beacon Icon argument", "icon")},
        {"icon k#", -8, fail(1, "Icon Symbol ID must be one of / \\ 0..9 a..j A..Z", "icon k#")},
        {"icon #/", -8, fail(1, "Icon Symbol ID must be one of / \\ 0..9 a..j A..Z", "icon #/")},
        {"icon /", -8, fail(1, "Icon Code must be in range [!..~]", "icon /")},
        {"icon / #", -8, fail(1, "Icon Code must be in range [!..~]", "icon / #")},
        {"icon /\x7f", -8, fail(1, "Icon Code must be in range [!..~]", "icon /\x7f")},
        {"bcomment", -11, fail(1, "missing Beacon Comment argument", "bcomment")},
        {"bcomment ", -11, fail(1, "missing Beacon Comment argument", "bcomment ")},
        {"controlcall", -11, fail(1, "missing Control Call-SSID argument", "controlcall")},
        {"controlcall N0CALL-150", -11,
         fail(1, "invalid Control Call-SSID argument: too long (max is 9)", "controlcall N0CALL-150")},
        {"substitutepath", -11, "\a\aError: t.cfg[1]: argument(s) missing: Match Index\nsubstitutepath\n"},
        {"deletepath 1 N0CALL x", -11,
         "\a\aError: t.cfg[1]: Invalid Digi Action Index [0..8]: x\ndeletepath 1 N0CALL x\n"},
    };
    for (const Case& c : cases) {
        Outcome outcome = configure_text(std::string(c.line) + "\n");
        EXPECT_EQ(outcome.code, c.code) << c.line;
        EXPECT_EQ(outcome.out, c.out) << c.line;
        EXPECT_EQ(conf_processed, 0) << c.line;
    }
}

TEST(ConfParser, CrossChecksOfWideCountsUseTheValueInForce) {
    Outcome outcome = configure_text("widetotal 4\nwidemax 5\n");
    EXPECT_EQ(outcome.code, -11);
    EXPECT_EQ(outcome.out, fail(2, "invalid n argument 5 must be <= WIDETOTAL: 4", "widemax 5"));
    outcome = configure_text("widemax 2\nwidetotal 2\nwidemax 3\n");
    EXPECT_EQ(outcome.code, -11);
    EXPECT_EQ(outcome.out, fail(3, "invalid n argument 3 must be <= WIDETOTAL: 2", "widemax 3"));
}

TEST(ConfParser, TextFieldsAreStoredAsDocumented) {
    struct Case {
        const char* text;
        std::size_t offset;
        std::string bytes;
    };
    const std::string nul(1, '\0');
    const Case cases[] = {
        {"call n0call", offsetof(conf_layout, call), std::string("N0CALL\0\0", 8)},
        {"call ab,cd", offsetof(conf_layout, call), std::string("AB\0SET\0\0", 8)},
        {"call \xe9t\xe9", offsetof(conf_layout, call), std::string("\xe9T\xe9\0ET\0\0", 8)},
        {"controlcall n0call-9", offsetof(conf_layout, controlcall), std::string("N0CALL-9\0\0", 10)},
        {"controlcall ab-1\ncontrolcall c", offsetof(conf_layout, controlcall), std::string("C\0-1\0\0\0\0\0\0", 10)},
        {"bcomment  Two blanks / # ; Kept", offsetof(conf_layout, bcomment),
         std::string(" Two blanks / # ; Kept") + std::string(22, '\0')},
        {"bcomment,comma", offsetof(conf_layout, bcomment), std::string("comma") + std::string(39, '\0')},
        {"bcomment a long comment\nbcomment short", offsetof(conf_layout, bcomment),
         std::string("short") + std::string(39, '\0')},
        {"digipath WIDE1-1,WIDE2-2 # comment", offsetof(conf_layout, digipath),
         std::string("WIDE1-1\0WIDE2-2\0", 16) + std::string(48, '\0')},
        {"digipath  wide1-1  wide2-2;x", offsetof(conf_layout, digipath),
         std::string("WIDE1-1\0WIDE2-2\0", 16) + std::string(48, '\0')},
        {"digipath a,b,c,d,e,f,g,h,i", offsetof(conf_layout, digipath),
         std::string("A\0\0\0\0\0\0\0B\0\0\0\0\0\0\0C\0\0\0\0\0\0\0D\0\0\0\0\0\0\0"
                     "E\0\0\0\0\0\0\0F\0\0\0\0\0\0\0G\0\0\0\0\0\0\0H\0\0\0\0\0\0\0",
                     64)},
        {"digipath , ,", offsetof(conf_layout, digipath), std::string(64, '\0')},
        {"digipath ONE,TWO\ndigipath three", offsetof(conf_layout, digipath),
         std::string("THREE") + std::string(59, '\0')},
    };
    for (const Case& c : cases) {
        Outcome outcome = configure_text(std::string(c.text) + "\n");
        EXPECT_EQ(outcome.code, 0) << c.text << "\n" << outcome.out;
        EXPECT_EQ(record_bytes(c.offset, c.bytes.size()), c.bytes) << c.text;
    }
}

TEST(ConfParser, DigiPathCountsTheEntriesStored) {
    struct Case {
        const char* text;
        int code;
        int count;
    };
    const Case cases[] = {
        {"digipath WIDE1-1,WIDE2-2", 0, 2},
        {"digipath a,b,c,d,e,f,g,h,i", 0, 8},
        {"digipath , ,", 0, 0},
        {"digipath A,B,TOOLONGXX,C", -11, 2},
        {"digipath A,B\ncall x", 0, 2},
        {"digipath A,B\ndigipath C", 0, 1},
    };
    for (const Case& c : cases) {
        Outcome outcome = configure_text(std::string(c.text) + "\n");
        EXPECT_EQ(outcome.code, c.code) << c.text;
        EXPECT_EQ(digipath_count, c.count) << c.text;
    }
    ASSERT_EQ(configure_text("digipath A,B\n").code, 0);
    Outcome outcome = configure_text_again("call x\n");
    EXPECT_EQ(outcome.code, 0);
    EXPECT_EQ(digipath_count, 0);
    EXPECT_EQ(record_bytes(offsetof(conf_layout, digipath), 64), std::string(64, '\0'));
}

TEST(ConfParser, EightFullDigiPathEntriesFillTheirSlotsExactly) {
    Outcome outcome = configure_text(
        "bcomment keep me\n"
        "digipath abcdefgh,BCDEFGHI,cdefghij,DEFGHIJK,efghijkl,FGHIJKLM,ghijklmn,HIJKLMNO\n");
    ASSERT_EQ(outcome.code, 0) << outcome.out;
    EXPECT_EQ(record_bytes(70, 64),
              "ABCDEFGHBCDEFGHICDEFGHIJDEFGHIJKEFGHIJKLFGHIJKLMGHIJKLMNHIJKLMNO");
    EXPECT_EQ(record_bytes(134, 8), std::string("keep me\0", 8));
}

TEST(ConfParser, LongBeaconCommentIsTruncatedWithAWarning) {
    std::string text(50, 'c');
    Outcome outcome = configure_text("bcomment " + text + "\ncall ab\n");
    EXPECT_EQ(outcome.code, 0);
    EXPECT_EQ(outcome.out, "\a\aWarning: Truncating Beacon Comment to 43 chars\nConfiguration items processed 2\n");
    EXPECT_EQ(record_bytes(134, 44), std::string(43, 'c') + std::string(1, '\0'));
    EXPECT_EQ(conf_record.call[0], 'A');
}

TEST(ConfParser, LinesAreCountedAsRead) {
    struct Case {
        std::string text;
        int code;
        std::string out;
    };
    const std::string long_comment = "#" + std::string(254, 'x') + "#" + std::string(44, 'y') + "\n";
    const Case cases[] = {
        {"", 0, "Configuration items processed 0\n"},
        {"\n  \n# hash\n/ slash\n; semicolon\n,,, \t\n   #indented\n", 0, "Configuration items processed 0\n"},
        {"\n# c\nbogus\n", -7, "\a\aError: t.cfg[3]: command bogus invalid: bogus\n"},
        {"call ab\r\nssid 3\r\nbogus\r\n", -7, "\a\aError: t.cfg[3]: command bogus invalid: bogus\n"},
        {"ssid 3\nbogus", -7, "\a\aError: t.cfg[2]: command bogus invalid: bogus\n"},
        // A line longer than 255 characters is read as two lines.
        {long_comment + "bogus\n", -7, "\a\aError: t.cfg[3]: command bogus invalid: bogus\n"},
        {"#" + std::string(254, 'x') + "\nbogus\n", -7, "\a\aError: t.cfg[3]: command bogus invalid: bogus\n"},
        {"#" + std::string(253, 'x') + "\r\nbogus\n", -7, "\a\aError: t.cfg[2]: command bogus invalid: bogus\n"},
        {"# " + std::string(253, 'x') + "call abcdefgh\n", -11,
         "\a\aError: t.cfg[2]: invalid Call Sign argument: too long: call abcdefgh\n"},
    };
    for (const Case& c : cases) {
        Outcome outcome = configure_text(c.text);
        EXPECT_EQ(outcome.code, c.code) << c.text;
        EXPECT_EQ(outcome.out, c.out) << c.text;
    }
}

TEST(ConfParser, FilesThatCannotBeReadAreRefused) {
    std::string missing = source_path("tests/config/files/no-such-file.cfg");
    std::string directory = source_path("tests/config/files");
    struct Case {
        const std::string path;
        std::string out;
    };
    const Case cases[] = {
        {missing, "\a\aError: cannot open " + missing + "\n"},
        {directory, "\a\aError: cannot open " + directory + "\n"},
    };
    for (const Case& c : cases) {
        conf_reset();
        conf_record.call[0] = 'Z';
        conf_processed = 0;
        Outcome outcome = configure_file_again(c.path);
        EXPECT_EQ(outcome.code, -2) << c.path;
        EXPECT_EQ(outcome.out, c.out);
        EXPECT_EQ(conf_record.call[0], 'Z') << "the record is not touched";
        EXPECT_EQ(conf_processed, 0);
    }
    testing::internal::CaptureStdout();
    EXPECT_EQ(conf_process(nullptr), -1);
    std::fflush(stdout);
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "conf_process: Error: param conf_fp is invalid\n");
}

TEST(ConfParser, ReadErrorFailsTheParse) {
    // Reading this file fails at once (nothing is mapped at address 0).
    const char* path = "/proc/self/mem";
    std::FILE* probe = std::fopen(path, "r");
    if (probe == nullptr) GTEST_SKIP() << "no file that fails on reading";
    std::fclose(probe);
    Outcome outcome = configure_file(path);
    EXPECT_EQ(outcome.code, -2);
    EXPECT_EQ(outcome.out, "\a\aError: cannot open /proc/self/mem\n");
    EXPECT_EQ(conf_processed, 0);
}

TEST(ConfParser, ProcessedFlagIsSetBySuccessOnly) {
    EXPECT_EQ(configure_text("bogus\n").code, -7);
    EXPECT_EQ(conf_processed, 0);
    EXPECT_EQ(configure_text_again("call ab\n").code, 0);
    EXPECT_EQ(conf_processed, 1);
    EXPECT_EQ(configure_text_again("bogus\n").code, -7);
    EXPECT_EQ(conf_processed, 1);
}

TEST(ConfParser, FailedParseKeepsWhatTheLinesBeforeItSet) {
    Outcome outcome = configure_text("call ab\nssid 99\nhost 4800\n");
    EXPECT_EQ(outcome.code, -11);
    EXPECT_EQ(conf_record.call[0], 'A');
    EXPECT_EQ(conf_record.ssid, 0);
    EXPECT_EQ(conf_record.host_baud, 19200u);
    outcome = configure_text("position 12d 400d\n");
    EXPECT_EQ(outcome.code, -11);
    EXPECT_EQ(conf_record.base_lat, 12.0f) << "the latitude is stored before the longitude is read";
}

TEST(ConfParser, EveryParseStartsFromTheDefaultsButKeepsTheRuleFields) {
    struct Case {
        uint16_t action_before;
        uint16_t action_after;
    };
    const Case cases[] = {
        {0, implicit_pass},
        {implicit_pass, implicit_pass},
        {implicit_drop, implicit_drop},
        {'x', implicit_pass},
    };
    for (const Case& c : cases) {
        conf_reset();
        conf_record.host_baud = 4800;
        conf_record.delete_count = 3;
        conf_record.implicit_action = c.action_before;
        conf_record.rule_count = 12;
        Outcome outcome = configure_text_again("call ab\n");
        EXPECT_EQ(outcome.code, 0);
        EXPECT_EQ(conf_record.implicit_action, c.action_after) << c.action_before;
        EXPECT_EQ(conf_record.rule_count, 12);
        EXPECT_EQ(conf_record.host_baud, 19200u);
        EXPECT_EQ(conf_record.delete_count, 0);
    }
}

TEST(ConfParser, SiteExampleParses) {
    Outcome outcome = configure_file(source_path("examples/site.cfg"));
    ASSERT_EQ(outcome.code, 0) << outcome.out;
    EXPECT_EQ(outcome.out, "Configuration items processed 24\n");
    EXPECT_STREQ(conf_record.call, "N0CALL");
    EXPECT_GT(conf_record.base_lat, 0.0f);
    EXPECT_LT(conf_record.base_lon, 0.0f);
    EXPECT_EQ(digipath_count, 2);
    EXPECT_EQ(conf_record.subst_count, 1);
    EXPECT_EQ(conf_record.delete_count, 2);
}

}  // namespace
