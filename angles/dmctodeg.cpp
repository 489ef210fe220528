#include "angles/dmctodeg.h"

#include <bit>
#include <cmath>
#include <cstdarg>
#include <cstdint>
#include <cstring>

#include "common/file_messages.h"
#include "common/numbers.h"

namespace {

// Every refusal prints one message: the cause of the fault that the caller
// reports for its line.
[[gnu::format(printf, 1, 2)]] void refuse(const char* format, ...) {
    va_list values;
    va_start(values, format);
    report_file_message_v(FileMessage::cause, nullptr, 0, format, values);
    va_end(values);
}

// 1/3600 and 1/60 as the single-precision constants the device arithmetic
// uses; the products and the sum are formed in double and rounded once.
constexpr float k3600 = std::bit_cast<float>(uint32_t{0x3991A2B4});
constexpr float k60 = std::bit_cast<float>(uint32_t{0x3C888889});

enum class Notation { colon, dotted, dmc };

struct Census {
    int minus = 0;
    int colons = 0;
    int periods = 0;
    int letters = 0;
};

// Degrees, minutes and seconds, each held as an absolute value.
struct Parts {
    float degrees = 0.0f;
    float minutes = 0.0f;
    float seconds = 0.0f;
};

bool is_letter(char c) { return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z'); }
bool is_north_east(char c) { return c == 'N' || c == 'n' || c == 'E' || c == 'e'; }
bool is_south_west(char c) { return c == 'S' || c == 's' || c == 'W' || c == 'w'; }
bool ends_scan(char c) { return c == '\0' || c == '\n'; }

// The magnitude of a converted value in single precision. A value that rounds
// beyond the single-precision range becomes infinity, which the final range
// check rejects.
float single_magnitude(double value) { return real_to_single(std::fabs(value)); }

float integer_at(const char* text) { return single_magnitude(text_to_int32(text, nullptr, 10)); }
float number_at(const char* text) { return single_magnitude(text_to_real(text, nullptr)); }

Census take_census(const char* inp) {
    Census census;
    for (const char* p = inp; *p != '\0'; ++p) {
        if (*p == '-') ++census.minus;
        else if (*p == ':') ++census.colons;
        else if (*p == '.') ++census.periods;
        else if (is_letter(*p)) ++census.letters;
    }
    return census;
}

const char* first_of(const char* inp, bool (*wanted)(char)) {
    for (const char* p = inp; *p != '\0'; ++p) {
        if (wanted(*p)) return p;
    }
    return nullptr;
}

bool check_colon(const Census& census) {
    if (census.colons != 2) {
        refuse("\a\aError: Colon format: must have 2 colons: [s][D]DD:MM:SS[.F*]\n");
        return false;
    }
    if (census.periods > 1) {
        refuse("\a\aError: Colon format: too many periods: [s][D]DD:MM:SS[.F*]\n");
        return false;
    }
    if (census.letters > 0) {
        refuse("\a\aError: Colon format: has alpha characters: [s][D]DD:MM:SS[.F*]\n");
        return false;
    }
    return true;
}

bool check_dotted(const Census& census) {
    if (census.periods == 0) {
        refuse("\a\aError: Unrecognized format: must be one of Dotted, Colon or DMC\n");
        return false;
    }
    if (census.periods != 2) {
        refuse(
            "\a\aError: Dotted format: must have 2 periods: [s][D]DD.MM.[F*]\n"
            "\tor DMC format must have at least one of [DdMmCc] identifiers\n");
        return false;
    }
    return true;
}

bool check_dmc(const char* inp, const Census& census) {
    if (std::strpbrk(inp, "DdMmCc") == nullptr) {
        refuse(
            "\a\aError: DMC format must have at least one of [DdMmCc] identifiers\n"
            "\tor Dotted format: found illegal character: [s][D]DD.MM.[F*]\n");
        return false;
    }
    const char* north_east = first_of(inp, is_north_east);
    const char* south_west = first_of(inp, is_south_west);
    if (census.minus > 0) {
        const char* direction = north_east != nullptr ? north_east : south_west;
        if (direction != nullptr) {
            refuse(
                "\a\aError: DMC format: both minus (-) and direction char %c cannot be specified\n",
                *direction);
            return false;
        }
    } else if (north_east != nullptr && south_west != nullptr) {
        refuse("\a\aError: DMC format: both direction chars %c and %c cannot be specified\n",
               *north_east, *south_west);
        return false;
    }
    return true;
}

// Decides the notation and runs its checks; false after a message.
bool decide_notation(const char* inp, const Census& census, Notation* notation) {
    if (census.colons > 0) {
        *notation = Notation::colon;
        return check_colon(census);
    }
    if (census.letters == 0) {
        *notation = Notation::dotted;
        return check_dotted(census);
    }
    *notation = Notation::dmc;
    return check_dmc(inp, census);
}

// Degrees and minutes are whole numbers; only the seconds carry a fraction.
void convert_colon(const char* inp, Parts* parts) {
    const char* first_colon = nullptr;
    for (const char* p = inp; !ends_scan(*p); ++p) {
        if (*p != ':') continue;
        if (first_colon == nullptr) {
            first_colon = p;
            parts->degrees = integer_at(inp);
        } else {
            parts->minutes = integer_at(first_colon + 1);
            parts->seconds = number_at(p + 1);
            return;
        }
    }
}

// The second period is the decimal point of the minutes.
void convert_dotted(const char* inp, Parts* parts) {
    const char* first_period = nullptr;
    for (const char* p = inp; !ends_scan(*p); ++p) {
        if (*p != '.') continue;
        if (first_period == nullptr) {
            first_period = p;
            parts->degrees = integer_at(inp);
        } else {
            parts->minutes = number_at(first_period + 1);
            return;
        }
    }
}

struct DmcPart {
    float* value;
    bool set;
    const char* name;
};

bool is_span_char(char c) {
    return c == '\t' || c == ' ' || c == '+' || c == '-' || c == '.' || (c >= '0' && c <= '9');
}

// Each identifier takes the number that opens the span before it. The span
// holds only blanks, signs, periods and digits, and the identifier letter
// that ends it cannot continue a number, so the span converts in place and in
// full, whatever its length.
bool convert_dmc(const char* inp, Parts* parts) {
    DmcPart degrees{&parts->degrees, false, "degrees"};
    DmcPart minutes{&parts->minutes, false, "minutes"};
    DmcPart seconds{&parts->seconds, false, "seconds"};
    const char* span = inp;
    const char* p = inp;
    for (; !ends_scan(*p); ++p) {
        char c = *p;
        if (is_span_char(c)) continue;
        if (is_north_east(c) || is_south_west(c)) {
            span = p + 1;
            continue;
        }
        DmcPart* part = nullptr;
        if (c == 'D' || c == 'd') part = &degrees;
        else if (c == 'M' || c == 'm') part = &minutes;
        else if (c == 'C' || c == 'c') part = &seconds;
        if (part == nullptr) {
            refuse("\a\aError: DMC format: invalid char: %c (0x%02x)\n", c,
                   static_cast<unsigned>(static_cast<unsigned char>(c)));
            return false;
        }
        if (part->set) {
            refuse("\a\aError: DMC format: already have %s (%f)\n", part->name,
                   static_cast<double>(*part->value));
            return false;
        }
        *part->value = number_at(span);
        part->set = true;
        span = p + 1;
    }
    if (span != p) {
        refuse("\a\aInternal Error: pointer mismatch\n");
        return false;
    }
    return true;
}

bool check_ranges(const Parts& parts) {
    if (parts.seconds >= 60.0f) {
        refuse("\a\aError: sec %f is out of range [-59.99..59.99]\n",
               static_cast<double>(parts.seconds));
        return false;
    }
    if (parts.minutes >= 60.0f) {
        refuse("\a\aError: min %f is out of range [-59.99..59.99]\n",
               static_cast<double>(parts.minutes));
        return false;
    }
    return true;
}

float combine(const Parts& parts) {
    double sum = (static_cast<double>(parts.seconds) * k3600 + static_cast<double>(parts.minutes) * k60) +
                 static_cast<double>(parts.degrees);
    return real_to_single(sum);
}

}  // namespace

float dmctodeg(const char* inp) {
    if (inp == nullptr || inp[0] == '\0') {
        refuse("dmctodeg: Error: invalid param inp\n");
        return dmctodeg_error;
    }
    Census census = take_census(inp);
    if (census.minus > 1) {
        refuse("\a\aError: too many minus signs: %d: only one is allowed\n", census.minus);
        return dmctodeg_error;
    }
    Notation notation;
    if (!decide_notation(inp, census, &notation)) return dmctodeg_error;

    Parts parts;
    switch (notation) {
        case Notation::colon: convert_colon(inp, &parts); break;
        case Notation::dotted: convert_dotted(inp, &parts); break;
        case Notation::dmc:
            if (!convert_dmc(inp, &parts)) return dmctodeg_error;
            break;
    }
    if (!check_ranges(parts)) return dmctodeg_error;

    float total = combine(parts);
    bool south_west = notation == Notation::dmc && first_of(inp, is_south_west) != nullptr;
    if (census.minus > 0 || south_west) total = -total;
    if (std::fabs(total) > 360.0f) {
        refuse("\a\aError: deg %f is out of range [-360..360]\n", static_cast<double>(total));
        return dmctodeg_error;
    }
    return total;
}
