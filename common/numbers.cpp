#include "common/numbers.h"

#include <cctype>
#include <cstdlib>
#include <limits>

namespace {

bool is_blank_space(char c) { return std::isspace(static_cast<unsigned char>(c)) != 0; }

int digit_value(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'z') return c - 'a' + 10;
    if (c >= 'A' && c <= 'Z') return c - 'A' + 10;
    return 99;
}

bool is_decimal(char c) { return c >= '0' && c <= '9'; }

}  // namespace

int32_t text_to_int32(const char* text, char** end, int base) {
    const char* p = text;
    while (is_blank_space(*p)) ++p;
    bool negative = false;
    if (*p == '+' || *p == '-') negative = (*p++ == '-');

    bool hex_prefix = (p[0] == '0' && (p[1] == 'x' || p[1] == 'X') && digit_value(p[2]) < 16);
    if (base == 0) base = hex_prefix ? 16 : (p[0] == '0' ? 8 : 10);
    if (base == 16 && hex_prefix) p += 2;

    const uint64_t limit = negative ? uint64_t{1} << 31 : (uint64_t{1} << 31) - 1;
    uint64_t value = 0;
    const char* digits = p;
    for (; digit_value(*p) < base; ++p) {
        value = value * static_cast<uint64_t>(base) + static_cast<uint64_t>(digit_value(*p));
        if (value > limit) value = limit + 1;  // saturated: stays above the limit
    }
    if (p == digits) {
        if (end != nullptr) *end = const_cast<char*>(text);
        return 0;
    }
    if (end != nullptr) *end = const_cast<char*>(p);
    if (value > limit) value = limit;
    return negative ? static_cast<int32_t>(-static_cast<int64_t>(value))
                    : static_cast<int32_t>(value);
}

double text_to_real(const char* text, char** end) {
    const char* p = text;
    while (is_blank_space(*p)) ++p;
    if (*p == '+' || *p == '-') ++p;
    const char* mantissa = p;
    int digits = 0;
    while (is_decimal(*p)) ++p, ++digits;
    if (*p == '.') {
        ++p;
        while (is_decimal(*p)) ++p, ++digits;
    }
    if (digits == 0) {
        if (end != nullptr) *end = const_cast<char*>(text);
        return 0.0;
    }
    // A lone "0" in front of an x would make strtod read a hexadecimal float.
    if (p == mantissa + 1 && mantissa[0] == '0' && (*p == 'x' || *p == 'X')) {
        if (end != nullptr) *end = const_cast<char*>(p);
        return (mantissa != text && mantissa[-1] == '-') ? -0.0 : 0.0;
    }
    // What remains is plain decimal syntax, which strtod reads exactly as
    // scanned here (it reads an exponent only when digits follow the e).
    return std::strtod(text, end);
}

float real_to_single(double value) {
    // Halfway between the largest float and 2^128: the tie goes to the even
    // neighbour, which is 2^128, that is, infinity.
    constexpr double rounds_to_infinity = 0x1.ffffffp127;
    if (value >= rounds_to_infinity) return std::numeric_limits<float>::infinity();
    if (value <= -rounds_to_infinity) return -std::numeric_limits<float>::infinity();
    return static_cast<float>(value);
}
