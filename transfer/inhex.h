#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>

// Intel HEX records: ':', count n (2 digits), load offset (4), type 00..05 (2),
// n data bytes (2 digits each), checksum (2); 2n + 11 characters in all, the
// bytes after ':' adding up to 0 modulo 256.

inline constexpr int hex_line_size = 512;  // line buffer: pieces of up to 511 characters
inline constexpr uint32_t hex_max_data_bytes = 128;

// The number written in hexadecimal in the first n characters of `text`:
// blanks and tabs, an optional sign, more blanks, an optional 0x, then digits
// up to the first other character. Never reads past the window or the text's
// end. 0 for a null text or n < 1.
int32_t hex_field_value(const char* text, int n);

// The sum modulo 256 of the values of the character pairs of `text`, each
// read with hex_field_value(pair, 2); a last single character counts alone.
uint8_t hex_line_sum(const char* text);

// The first check that a record line fails, in the order they are made.
enum class HexFault { none, checksum, type, length, limit, alignment };

// Checks one NUL-terminated record line of `length` characters that begins
// with ':' (its line end removed). Positions at or past the end read as NUL.
HexFault hex_record_fault(const char* line, std::size_t length);

// Checks every record of the open file from its start and leaves it at its
// end. Lines not beginning with ':' are skipped but counted in the line
// numbers. Returns the number of records, else after a message: -1 fp null,
// -2 checksum, -3 type, -4 length, -5 more than 128 data bytes, -6 data
// offset not a multiple of 4, -7 no record, -8 the file could not be read.
int inhexverify(std::FILE* fp);
