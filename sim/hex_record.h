#pragma once

#include <cstddef>

namespace sim {

// What the loader makes of one record line (its CR removed). A well-formed
// record is ':' followed only by hexadecimal digits: count n, load offset,
// type 00..05, n data bytes, checksum; 2n + 11 characters in all, at most 128
// data bytes, data records at an offset that is a multiple of 4, and the
// bytes after ':' adding up to 0 modulo 256.
enum class HexVerdict { good, no_start, not_hex, length, type, limit, alignment, checksum };

HexVerdict read_hex_record(const char* text, std::size_t length);

// The rule a verdict says was broken, for the log.
const char* hex_rule(HexVerdict verdict);

}  // namespace sim
