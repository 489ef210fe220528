#include "diagnostics/hexdump.h"

#include <gtest/gtest.h>

#include <algorithm>

#include <string>
#include <vector>

namespace {

const std::string header =
    "Dec  Hex |  0  1  2  3  4  5  6  7    8  9  a  b  c  d  e  f | 0123456789abcdef\n";

std::string dump(int flags, const char* title, const std::vector<unsigned char>& bytes,
                 int header_every) {
    testing::internal::CaptureStdout();
    hexdump(stdout, flags, title, bytes.data(), static_cast<int>(bytes.size()), header_every);
    return testing::internal::GetCapturedStdout();
}

std::vector<unsigned char> counting_from(unsigned char first, size_t count) {
    std::vector<unsigned char> bytes(count);
    for (size_t i = 0; i < count; ++i) bytes[i] = static_cast<unsigned char>(first + i);
    return bytes;
}

TEST(Hexdump, SixteenBytesMakeOneFullLine) {
    EXPECT_EQ(dump(1, "Got", counting_from(0x41, 16), 10),
              "Got: length 16 (0x10):\n" + header +
                  "   0 0000| 41 42 43 44 45 46 47 48   49 4a 4b 4c 4d 4e 4f 50 | "
                  "ABCDEFGHIJKLMNOP\n");
}

TEST(Hexdump, ShortLastLineIsPaddedUpToTheBar) {
    EXPECT_EQ(dump(1, "Got", counting_from(0x41, 20), 10),
              "Got: length 20 (0x14):\n" + header +
                  "   0 0000| 41 42 43 44 45 46 47 48   49 4a 4b 4c 4d 4e 4f 50 | "
                  "ABCDEFGHIJKLMNOP\n"
                  "  16 0010| 51 52 53 54                                       | QRST\n");
    EXPECT_EQ(dump(2, nullptr, counting_from(0x41, 15), 0),
              "length 15 (0xf):\n   0 0000| 41 42 43 44 45 46 47 48   49 4a 4b 4c 4d 4e 4f    | "
              "ABCDEFGHIJKLMNO\n");
    std::string seventeen = dump(1, "Got", counting_from(0x30, 17), 10);
    EXPECT_NE(seventeen.find("  16 0010| 40" + std::string(48, ' ') + "| @\n"),
              std::string::npos)
        << seventeen;
}

TEST(Hexdump, ColumnHeaderRecursEveryTenLinesAfterAnEmptyLine) {
    std::string out = dump(1, "Got", counting_from(0, 161), 10);
    size_t first = out.find(header);
    ASSERT_EQ(first, std::string("Got: length 161 (0xa1):\n").size());
    size_t second = out.find("\n" + header, first + 1);
    ASSERT_NE(second, std::string::npos);
    // Ten lines of 16 bytes and the empty line lie between the two headers,
    // then line 11 with byte 160.
    std::string between = out.substr(first + header.size(), second + 1 - first - header.size());
    EXPECT_EQ(std::count(between.begin(), between.end(), '\n'), 11);
    EXPECT_EQ(between.substr(between.size() - 2), "\n\n");
    EXPECT_EQ(out.substr(second + 1 + header.size()),
              " 160 00a0| a0" + std::string(48, ' ') + "| .\n");
    EXPECT_EQ(out.find(header, second + 1 + header.size()), std::string::npos);

    // Every line: the empty line comes before the second header too.
    EXPECT_EQ(dump(2, nullptr, counting_from(0x61, 17), 1),
              "length 17 (0x11):\n" + header +
                  "   0 0000| 61 62 63 64 65 66 67 68   69 6a 6b 6c 6d 6e 6f 70 | "
                  "abcdefghijklmnop\n\n" +
                  header + "  16 0010| 71" + std::string(48, ' ') + "| q\n");
}

TEST(Hexdump, HeaderEveryZeroPrintsNoColumnHeader) {
    EXPECT_EQ(dump(2, nullptr, counting_from(0x61, 3), 0),
              "length 3 (0x3):\n   0 0000| 61 62 63" + std::string(42, ' ') + "| abc\n");
}

TEST(Hexdump, OnlyPrintableAsciiShowsAsItself) {
    std::string out = dump(4, "", {0x00, 0x1f, 0x20, 0x7e, 0x7f, 0x80, 0xff, '#'}, 0);
    EXPECT_EQ(out, "   0 0000| 00 1f 20 7e 7f 80 ff 23" + std::string(27, ' ') + "| .. ~...#\n");
}

std::string dump_nothing(int flags, const char* title) {
    unsigned char byte = 0x41;
    testing::internal::CaptureStdout();
    hexdump(stdout, flags, title, &byte, 0, 10);
    return testing::internal::GetCapturedStdout();
}

TEST(Hexdump, HeadingFollowsFlagsAndTitle) {
    EXPECT_EQ(dump_nothing(1, "Got"), "Got: length 0 (0x0):\n");
    EXPECT_EQ(dump_nothing(1, ""), "hexdump: length 0 (0x0):\n");
    EXPECT_EQ(dump(1, nullptr, counting_from(0, 200), 10).substr(0, 29),
              "hexdump: length 200 (0xc8):\nD");
    EXPECT_EQ(dump_nothing(3, "Got"), "Got: length 0 (0x0):\n");
    EXPECT_EQ(dump_nothing(2, "Got"), "length 0 (0x0):\n");
    EXPECT_EQ(dump_nothing(8, "Got"), "");
    std::string with_address = dump_nothing(0, "Got");
    EXPECT_EQ(with_address.rfind("hexdump: Got: buffer addr 0x", 0), 0u) << with_address;
    EXPECT_NE(with_address.find(", length 0 (0x0):\n"), std::string::npos) << with_address;
    std::string untitled = dump_nothing(0, nullptr);
    EXPECT_EQ(untitled.rfind("hexdump: buffer addr 0x", 0), 0u) << untitled;
}

TEST(Hexdump, InvalidArgumentsAreReportedAndNothingIsDumped) {
    testing::internal::CaptureStdout();
    hexdump(stdout, 1, "Got", nullptr, 5, 10);
    unsigned char byte = 0;
    hexdump(stdout, 1, "Got", &byte, -1, 10);
    EXPECT_EQ(testing::internal::GetCapturedStdout(),
              "hexdump: invalid param buf ptr\nhexdump: invalid param len -1\n");
}

}  // namespace
