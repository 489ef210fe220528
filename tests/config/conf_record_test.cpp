#include "config/conf_record.h"

#include <gtest/gtest.h>

#include <cstring>
#include <vector>

namespace {

std::vector<unsigned char> bytes_of(const conf_layout& record) {
    const auto* p = reinterpret_cast<const unsigned char*>(&record);
    return std::vector<unsigned char>(p, p + sizeof record);
}

// The default image as the device expects it, little-endian, every byte but
// the station position (offsets 16..23), which is the program's own choice.
std::vector<unsigned char> expected_defaults() {
    std::vector<unsigned char> image(904, 0);
    auto put16 = [&image](size_t offset, unsigned value) {
        image[offset] = static_cast<unsigned char>(value & 0xFF);
        image[offset + 1] = static_cast<unsigned char>(value >> 8);
    };
    auto put32 = [&image](size_t offset, unsigned long value) {
        for (int i = 0; i < 4; ++i) image[offset + i] = static_cast<unsigned char>(value >> (8 * i));
    };
    put32(0, 19200);
    put32(4, 9600);
    put32(8, 19200);
    std::memcpy(&image[24], "NOTSET", 6);
    put16(34, 3);
    put16(36, 6);
    put16(46, 28);
    put16(48, 600);
    image[50] = 0x23;  // symbol code '#'
    image[51] = 0x2F;  // symbol table '/'
    put16(52, 1);
    put16(56, 1);
    put16(58, 1);
    put16(64, 0x0070);
    return image;
}

TEST(ConfRecord, ResetGivesTheDefaultImageByteForByte) {
    std::memset(&conf_record, 0xA5, sizeof conf_record);
    conf_reset();
    std::vector<unsigned char> image = bytes_of(conf_record);
    std::vector<unsigned char> expected = expected_defaults();
    for (size_t offset = 16; offset < 24; ++offset) expected[offset] = image[offset];
    EXPECT_EQ(image, expected);
}

TEST(ConfRecord, DefaultStationLiesNorthAndWest) {
    EXPECT_GT(conf_defaults.base_lat, 0.0f);
    EXPECT_LE(conf_defaults.base_lat, 90.0f);
    EXPECT_LT(conf_defaults.base_lon, 0.0f);
    EXPECT_GE(conf_defaults.base_lon, -180.0f);
}

}  // namespace
