#pragma once

// The value dmctodeg returns for text that is not a valid angle: the largest
// finite single-precision value (bit pattern 0x7F7FFFFF).
inline constexpr float dmctodeg_error = 3.40282347e+38f;

// Converts an angle written in Colon, Dotted or DMC notation to signed decimal
// degrees (negative for South and West). On error prints one message and
// returns dmctodeg_error.
float dmctodeg(const char* inp);
