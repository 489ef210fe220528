#pragma once

#include <cstdint>

// Number conversion of typed text, the same everywhere in the program.
//
// Integers behave like strtol with a 32-bit long: leading white space, an
// optional sign, then digits in `base` (base 0: a leading 0x is hexadecimal, a
// leading 0 octal, else decimal). Conversion stops at the first character that
// cannot continue the number; text with no number gives 0 and *end = text. A
// value beyond the 32-bit range saturates at INT32_MAX or INT32_MIN, so
// "4294967299" is a large number, never 3.
int32_t text_to_int32(const char* text, char** end, int base);

// The leading decimal value of `text` (0 when there is none).
inline int32_t leading_decimal(const char* text) { return text_to_int32(text, nullptr, 10); }

// Decimal real number: leading white space, optional sign, digits with an
// optional decimal point and exponent. Hexadecimal floats, "inf" and "nan" are
// not numbers here. No number gives 0.0 and *end = text. The C locale's
// decimal point is used. Out-of-range values give +-HUGE_VAL or 0 as strtod.
double text_to_real(const char* text, char** end);

// `value` rounded to single precision as a plain conversion rounds it (to
// nearest): a value a little beyond the largest float still rounds to that
// float (3.4028235e38 is 0x7F7FFFFF), and only one nearer to 2^128 becomes an
// infinity of its sign.
float real_to_single(double value);
