#include "transfer/inhex.h"

#include <cstring>

#include "common/line_reader.h"

namespace {

int hex_digit(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

bool is_blank(char c) {
    return c == ' ' || c == '\t';
}

// The last digit of a load offset that is a multiple of 4.
bool is_aligned_digit(char c) {
    return c != '\0' && std::strchr("048Cc", c) != nullptr;
}

char char_at(const char* line, std::size_t length, std::size_t position) {
    return position < length ? line[position] : '\0';
}

// The data byte count of a record line: positions 1-2 read as an unsigned
// 32-bit number, so that a written sign wraps it.
uint32_t hex_data_count(const char* line) {
    return static_cast<uint32_t>(hex_field_value(line + 1, 2));
}

}  // namespace

int32_t hex_field_value(const char* text, int n) {
    if (text == nullptr || n < 1) return 0;
    // A NUL is neither blank, sign nor digit, so nothing past the text's end is read.
    int i = 0;
    while (i < n && is_blank(text[i])) ++i;
    bool negative = i < n && text[i] == '-';
    if (i < n && (text[i] == '-' || text[i] == '+')) ++i;
    while (i < n && is_blank(text[i])) ++i;
    if (i + 1 < n && text[i] == '0' && (text[i + 1] == 'x' || text[i + 1] == 'X')) i += 2;
    uint32_t value = 0;
    for (; i < n && hex_digit(text[i]) >= 0; ++i) {
        value = value * 16 + static_cast<uint32_t>(hex_digit(text[i]));
    }
    return static_cast<int32_t>(negative ? 0u - value : value);
}

uint8_t hex_line_sum(const char* text) {
    uint8_t sum = 0;
    if (text == nullptr) return sum;
    for (; text[0] != '\0'; text += 2) {
        if (text[1] == '\0') return static_cast<uint8_t>(sum + hex_field_value(text, 1));
        sum = static_cast<uint8_t>(sum + hex_field_value(text, 2));
    }
    return sum;
}

HexFault hex_record_fault(const char* line, std::size_t length) {
    if (hex_line_sum(line + 1) != 0) return HexFault::checksum;
    char type_high = char_at(line, length, 7);
    char type_low = char_at(line, length, 8);
    if (type_high != '0' || type_low < '0' || type_low > '5') return HexFault::type;
    // The count is unsigned: "-1" is 4294967295 data bytes, whose length 2n + 11
    // wraps to 9 in 32 bits, and the limit refuses it.
    uint32_t n = hex_data_count(line);
    if (length != 2 * n + 11) return HexFault::length;
    if (n > hex_max_data_bytes) return HexFault::limit;
    if (type_low == '0' && !is_aligned_digit(char_at(line, length, 6))) {
        return HexFault::alignment;
    }
    return HexFault::none;
}

int inhexverify(std::FILE* fp) {
    if (fp == nullptr) {
        std::printf("inhexverify: Error: param fp is invalid\n");
        return -1;
    }
    rewind_text_file(fp);
    char line[hex_line_size];
    unsigned long line_no = 0;
    int records = 0;
    LineRead read;
    while ((read = read_text_line(fp, line, sizeof line)) == LineRead::line) {
        ++line_no;
        std::size_t length = strip_line_feed(line);
        if (line[0] != ':') continue;
        ++records;
        unsigned n = hex_data_count(line);
        switch (hex_record_fault(line, length)) {
            case HexFault::none:
                break;
            case HexFault::checksum:
                std::printf(
                    "\a\aError: checksum mismatch (0x%02x) for line %lu in Firmware file!\n",
                    hex_line_sum(line + 1), line_no);
                return -2;
            case HexFault::type:
                std::printf("\a\aError: invalid type (%c%c) for line %lu in Firmware file!\n",
                            char_at(line, length, 7), char_at(line, length, 8), line_no);
                return -3;
            case HexFault::length:
                std::printf(
                    "\a\aError: invalid record length (%u) for line %lu in Firmware file!\n", n,
                    line_no);
                return -4;
            case HexFault::limit:
                std::printf("\a\aError: record length > 128 (%u) for line %lu in Firmware file!\n",
                            n, line_no);
                return -5;
            case HexFault::alignment:
                std::printf(
                    "\a\aError: data record offset boundary error for line %lu in Firmware file!\n",
                    line_no);
                return -6;
        }
    }
    // A read error must not pass for the end of the file: the records after it
    // would be missing from the count and from the update.
    if (read == LineRead::error) {
        std::printf("\a\aError: cannot read line %lu of Firmware file!\n", line_no + 1);
        return -8;
    }
    if (records == 0) {
        std::printf("\a\aError: Firmware file is empty!\n");
        return -7;
    }
    return records;
}
