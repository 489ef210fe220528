#include "transfer/inhex.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <string>

#include "tests/transfer/temp_file.h"
#include "tests/windows/wine.h"

namespace {

struct Check {
    int result;
    std::string out;
};

Check check_open(std::FILE* fp) {
    testing::internal::CaptureStdout();
    int result = inhexverify(fp);
    return {result, testing::internal::GetCapturedStdout()};
}

Check check_text(const std::string& contents) {
    TempFile file("check.hex");
    file.write(contents);
    std::FILE* fp = std::fopen(file.c_str(), "r");
    Check check = check_open(fp);
    std::fclose(fp);
    return check;
}

// A record with a correct checksum: count, offset and type as written, data
// bytes as hexadecimal text.
std::string record(const std::string& head, const std::string& data) {
    unsigned sum = 0;
    std::string digits = head + data;
    for (size_t i = 0; i + 1 < digits.size(); i += 2)
        sum += std::stoul(digits.substr(i, 2), nullptr, 16);
    char checksum[3];
    std::snprintf(checksum, sizeof checksum, "%02X", (0x100 - (sum & 0xFF)) & 0xFF);
    return ":" + digits + checksum;
}

std::string data_bytes(int count) {
    std::string text;
    for (int i = 0; i < count; ++i) {
        char pair[3];
        std::snprintf(pair, sizeof pair, "%02X", (i * 37) & 0xFF);
        text += pair;
    }
    return text;
}

std::string message(const std::string& what, int line) {
    return "\a\aError: " + what + " for line " + std::to_string(line) + " in Firmware file!\n";
}

TEST(HexFieldValue, ReadsHexadecimalInsideItsWindowOnly) {
    struct Case {
        const char* text;
        int n;
        int32_t value;
    };
    const Case cases[] = {
        {"G1", 2, 0},
        {"5", 2, 5},
        {" 5", 2, 5},
        {"-1", 2, -1},
        {"+f", 2, 15},
        {"0x1F", 4, 31},
        {"FF", 1, 15},
        {"1234", 2, 0x12},
        {"aB", 2, 0xAB},
        {"\t-\t0Xa", 6, -10},
        {nullptr, 2, 0},
        {"12", 0, 0},
        {"7fffffff", 8, 0x7fffffff},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(hex_field_value(c.text, c.n), c.value)
            << (c.text ? c.text : "null") << " " << c.n;
    }
}

TEST(HexLineSum, AddsThePairsModulo256) {
    struct Case {
        const char* text;
        uint8_t sum;
    };
    const Case cases[] = {
        {"0100000000FF", 0x00}, {"0100000000FE", 0xFF},
        {"FE", 0xFE},           {"FFF", 0x0E},  // a last single digit counts alone
        {"-1", 0xFF},           {"", 0x00},
    };
    for (const Case& c : cases) EXPECT_EQ(hex_line_sum(c.text), c.sum) << c.text;
}

TEST(HexFileCheck, AcceptedFilesReturnTheirRecordCount) {
    struct Case {
        const char* what;
        std::string contents;
        int records;
    };
    const std::string eof = ":00000001FF";
    const Case cases[] = {
        {"end-of-file record", eof + "\n", 1},
        {"checksum that adds up", ":0100000000FF\n" + eof + "\n", 2},
        {"address record at an odd offset", record("02000304", "0800") + "\n", 1},
        {"start address record, the highest type", record("04000005", "08000000") + "\n", 1},
        {"lower case digits, offset ending in c", ":04000c000a0b0c0dc2\n", 1},
        {"128 data bytes", record("80000000", data_bytes(128)) + "\n", 1},
        {"CR LF line ends", record("04000400", "01020304") + "\r\n" + eof + "\r\n", 2},
        {"no line end on the last line", record("04000800", "01020304") + "\n" + eof, 2},
        {"no end-of-file record", record("04000800", "01020304") + "\n", 1},
        {"comments, blank and indented lines are not records",
         "# firmware\n\n " + eof + "\n" + eof + "\n", 1},
    };
    for (const Case& c : cases) {
        Check check = check_text(c.contents);
        EXPECT_EQ(check.result, c.records) << c.what;
        EXPECT_EQ(check.out, "") << c.what;
    }
}

TEST(HexFileCheck, FirstFaultyRecordEndsTheCheck) {
    struct Case {
        const char* what;
        std::string contents;
        int result;
        std::string out;
    };
    const std::string zeros(30, '0');
    const std::string sixteen_says_fifteen = ":10000000" + zeros + "F0";
    const std::string bad_sixteen_says_fifteen = ":10000000" + zeros + "F1";
    const Case cases[] = {
        {"checksum", ":0100000000FE\n", -2, message("checksum mismatch (0xff)", 1)},
        {"type 06", record("00000006", "") + "\n", -3, message("invalid type (06)", 1)},
        {"type 0A", record("0000000A", "") + "\n", -3, message("invalid type (0A)", 1)},
        {"type 10", record("00000010", "") + "\n", -3, message("invalid type (10)", 1)},
        {"type 41", record("00000041", "") + "\n", -3, message("invalid type (41)", 1)},
        // Past its end a line reads as NUL, never as an earlier line's text.
        {"bare colon", ":00000001FF\n:\n", -3, message(std::string("invalid type (\0\0)", 17), 2)},
        {"count only", ":00\n", -3, message(std::string("invalid type (\0\0)", 17), 1)},
        {"count says 16, 15 bytes follow", sixteen_says_fifteen + "\n", -4,
         message("invalid record length (16)", 1)},
        {"checksum is checked before the length", bad_sixteen_says_fifteen + "\n", -2,
         message("checksum mismatch (0x01)", 1)},
        {"trailing blank", ":00000001FF \n", -4, message("invalid record length (0)", 1)},
        {"129 data bytes", record("81000000", data_bytes(129)) + "\n", -5,
         message("record length > 128 (129)", 1)},
        // A sign makes the count an unsigned 4294967295: 2n + 11 wraps to the
        // line's 9 characters, and the limit refuses it.
        {"count -1", ":-1000001\n", -5, message("record length > 128 (4294967295)", 1)},
        {"data at offset 0002", record("04000200", "01020304") + "\n", -6,
         message("data record offset boundary error", 1)},
        {"line numbers count comments", "; boot loader\n:00000001FF\n\n:0100000000FE\n", -2,
         message("checksum mismatch (0xff)", 4)},
        {"a long line is read in pieces of 511 characters",
         std::string(600, 'x') + "\n:0100000000FE\n", -2, message("checksum mismatch (0xff)", 3)},
    };
    for (const Case& c : cases) {
        Check check = check_text(c.contents);
        EXPECT_EQ(check.result, c.result) << c.what;
        EXPECT_EQ(check.out, c.out) << c.what;
    }
}

TEST(HexFileCheck, FileWithoutRecordsIsEmpty) {
    for (const char* contents : {"", "\n\n \n", "firmware v1\nno records\n", " :00000001FF\n"}) {
        Check check = check_text(contents);
        EXPECT_EQ(check.result, -7) << contents;
        EXPECT_EQ(check.out, "\a\aError: Firmware file is empty!\n") << contents;
    }
}

TEST(HexFileCheck, FileIsCheckedFromItsStartEveryTime) {
    TempFile file("twice.hex");
    file.write(":00000001FF\n:00000001FF\n");
    std::FILE* fp = std::fopen(file.c_str(), "r");
    EXPECT_EQ(check_open(fp).result, 2);
    EXPECT_EQ(check_open(fp).result, 2);
    EXPECT_NE(std::fgetc(fp), ':');  // left at its end
    std::fclose(fp);
}

TEST(HexFileCheck, UnreadableFileIsAnErrorNotAnEnd) {
    Check check = check_open(nullptr);
    EXPECT_EQ(check.result, -1);
    EXPECT_EQ(check.out, "inhexverify: Error: param fp is invalid\n");

    if (running_under_wine()) {
        GTEST_SKIP() << "Wine's C runtime reads a write-only stream as an end of file "
                        "without the error flag that Windows' runtime sets";
    }
    TempFile file("write_only.hex");
    std::FILE* fp = std::fopen(file.c_str(), "w");  // reading it fails
    check = check_open(fp);
    std::fclose(fp);
    EXPECT_EQ(check.result, -8);
    EXPECT_EQ(check.out, "\a\aError: cannot read line 1 of Firmware file!\n");
}

}  // namespace
