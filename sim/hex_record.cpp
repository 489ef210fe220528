#include "sim/hex_record.h"

namespace sim {

namespace {

constexpr std::size_t max_data_bytes = 128;

int digit_value(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    return -1;
}

// The byte written by the two digits at `text`; every digit was checked.
unsigned byte_at(const char* text) {
    return static_cast<unsigned>(digit_value(text[0]) << 4 | digit_value(text[1]));
}

}  // namespace

HexVerdict read_hex_record(const char* text, std::size_t length) {
    if (length == 0 || text[0] != ':') return HexVerdict::no_start;
    for (std::size_t i = 1; i < length; ++i) {
        if (digit_value(text[i]) < 0) return HexVerdict::not_hex;
    }
    if (length < 11 || length % 2 == 0) return HexVerdict::length;
    std::size_t count = byte_at(text + 1);
    if (length != 2 * count + 11) return HexVerdict::length;
    unsigned type = byte_at(text + 7);
    if (type > 5) return HexVerdict::type;
    if (count > max_data_bytes) return HexVerdict::limit;
    if (type == 0 && byte_at(text + 5) % 4 != 0) return HexVerdict::alignment;
    unsigned sum = 0;
    for (std::size_t i = 1; i < length; i += 2) sum += byte_at(text + i);
    return sum % 256 == 0 ? HexVerdict::good : HexVerdict::checksum;
}

const char* hex_rule(HexVerdict verdict) {
    static const char* const rules[] = {
        "well-formed",
        "a record begins with ':'",
        "only hexadecimal digits follow the ':'",
        "a record of n data bytes is 2n + 11 characters long",
        "the record type is 00 to 05",
        "a record carries at most 128 data bytes",
        "a data record's offset is a multiple of 4",
        "the bytes after ':' add up to 0 modulo 256",
    };
    return rules[static_cast<int>(verdict)];
}

}  // namespace sim
