#include <gtest/gtest.h>

#include <array>
#include <cstdint>
#include <cstring>

#include "config/conf_record.h"
#include "tests/config/conf_test_support.h"

namespace {

// conf_record after tests/config/files/every_keyword.cfg, worked out by hand
// from the file, field by field. Rule count 7 and action 'd' were set before
// the parse and carry over.
std::array<uint8_t, 904> every_keyword_image() {
    std::array<uint8_t, 904> image{};
    const uint8_t head[] = {
        0x00, 0xE1, 0x00, 0x00,  // host 57600
        0xC0, 0x12, 0x00, 0x00,  // gps 4800
        0x00, 0xC2, 0x01, 0x00,  // tnc 115200
        0xFD, 0xFF, 0xFF, 0xFF,  // altitude -10 feet: -3 meters
        0x64, 0x82, 0x35, 0x42,  // lat 45.22.64: 45.377335
        0x00, 0x00, 0x2A, 0xC2,  // lon -42.5d
        'K', '1', 'A', 'B', 0, 'T', 0, 0,  // call over the default NOTSET
        0x0A, 0x00,  // ssid 012 (octal)
        0x02, 0x00,  // widemax
        0x04, 0x00,  // widetotal
        0x01, 0x00,  // relaydrop
        0xFF, 0xFF,  // uitrace toggled once
        0x01, 0x00,  // nsr
        0x01, 0x00,  // havegps "enable"
        0xF4, 0x01,  // dupewin 500
        0x3C, 0x00,  // beacon 0x3c
        'k', '\\',   // icon: code, then symbol table
        0x00, 0x00,  // log no
        0x01, 0x00,  // haltonerr
        0x00, 0x00,  // dropmangled
        0x00, 0x00,  // fixvalid 0
        0x01, 0x00,  // nonaprs P
        0xFF, 0xFF,  // ratelimcall 65535
        0x70, 0x00,  // run mode default
        0x64, 0x00,  // implicit action 'd' kept
        0x07, 0x00,  // rule count kept
    };
    static_assert(sizeof head == 70);
    std::memcpy(image.data(), head, sizeof head);
    std::memcpy(image.data() + 70, "WIDE1-1\0WIDE2-2\0ABCDEFGH", 24);
    std::memcpy(image.data() + 134, "Test # comment; kept", 20);
    std::memcpy(image.data() + 178, "AB1CD-15", 8);
    image[188] = 1;  // subst_count
    image[190] = 1;  // delete_count
    const uint8_t edits[] = {
        'N', '0', 'C', 'A', 'L', 'L', 0, 0x0A, 2, 3, 0, 0x41,  // su 2 N0CALL-5 3 ...
        'W', 'I', 'D', 'E', '1', 0, 0, 0x00, 1, 0, 0, 0x12,    // de 1 wide1* *
    };
    std::memcpy(image.data() + 192, edits, sizeof edits);
    const uint8_t path[] = {
        'N', '1', 'A', 'B', 'C', 0, 0, 0xE0,  // n1abc: SSID 0
        'W', 'I', 'D', 'E', '2', 0, 0, 0xE0,  // WIDE2-2*: a starred WIDE drops its SSID
        'R', 'E', 'L', 'A', 'Y', 0, 0, 0x6E,  // relay-7
    };
    std::memcpy(image.data() + 384, path, sizeof path);
    image[384 + 64] = 3;
    return image;
}

TEST(ConfRecordImage, FileWithEveryKeywordGivesTheHandCheckedImage) {
    conf_reset();
    conf_record.rule_count = 7;
    conf_record.implicit_action = implicit_drop;
    Outcome outcome = configure_file_again(source_path("tests/config/files/every_keyword.cfg"));
    ASSERT_EQ(outcome.code, 0) << outcome.out;
    EXPECT_EQ(outcome.out, "Configuration items processed 30\n");
    EXPECT_EQ(digipath_count, 3);

    std::array<uint8_t, 904> expected = every_keyword_image();
    const auto* actual = reinterpret_cast<const uint8_t*>(&conf_record);
    for (std::size_t i = 0; i < expected.size(); ++i) {
        EXPECT_EQ(actual[i], expected[i]) << "offset " << i;
    }
}

}  // namespace
