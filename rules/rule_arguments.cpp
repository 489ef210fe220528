#include "rules/rule_arguments.h"

#include <array>
#include <cmath>
#include <cstring>

#include "angles/dmctodeg.h"
#include "common/numbers.h"
#include "common/prefix_match.h"
#include "common/tokenizer.h"
#include "rules/rule_words.h"

namespace {

// Arguments end at a blank, tab or comma; the last argument of a rule (and
// both sector ranges) may also touch the comment character: "N0CALL#note".
constexpr const char* word_delims = " \t,";
constexpr const char* last_word_delims = "#/; \t,";

constexpr int max_call_length = 6;
constexpr int max_match_index = 8;
constexpr int max_ssid = 15;

bool is_digit(char c) {
    return c >= '0' && c <= '9';
}

char ascii_upper(char c) {
    return (c >= 'a' && c <= 'z') ? static_cast<char>(c - 'a' + 'A') : c;
}

// The radius and the sector ranges are plain decimal numbers in single
// precision. A value that rounds beyond its range becomes an infinity, which
// every range check below refuses.
float real_of(const char* word) { return real_to_single(text_to_real(word, nullptr)); }

bool after_comment(const RuleLine& line, const char* word) {
    return line.comment_pos >= 0 && word - conf_line_buf > line.comment_pos;
}

// How an argument is cut and what its absence is called: no word at all, or
// a word that begins after the comment character. A word that begins exactly
// at the comment character is taken and meets the value checks.
struct ArgSpec {
    const char* delims;
    const char* missing;
    int missing_code;
    const char* after_comment;
    int after_comment_code;
};

int take_word(RuleLine& line, const ArgSpec& argument, char** word) {
    *word = next_token(line.rest, argument.delims, &line.rest);
    if (*word == nullptr) return line_error(line, argument.missing_code, argument.missing);
    if (after_comment(line, *word)) {
        return line_error(line, argument.after_comment_code, argument.after_comment);
    }
    return 0;
}

// --- angles -------------------------------------------------------------------

// A latitude, longitude or angle in one of the angle notations. A text that
// dmctodeg refuses has had its message, and its error value fails the range.
struct AngleArg {
    ArgSpec word;
    float low;
    float high;
    const char* invalid;
    int invalid_code;
};

int read_angle(RuleLine& line, const AngleArg& arg, rule_record& r, int slot) {
    char* word;
    if (int code = take_word(line, arg.word, &word)) return code;
    float value = dmctodeg(word);
    if (!(value >= arg.low && value <= arg.high)) {
        return line_error(line, arg.invalid_code, arg.invalid, static_cast<double>(value));
    }
    set_slot_float(r, slot, value);
    return 0;
}

constexpr const char* missing_lat = "missing Latitude:\n%s\n";
constexpr const char* missing_lon = "missing Longitude:\n%s\n";
constexpr const char* missing_lat1 = "missing Latitude1:\n%s\n";
constexpr const char* missing_lon1 = "missing Longitude1:\n%s\n";
constexpr const char* missing_lat2 = "missing Latitude2:\n%s\n";
constexpr const char* missing_lon2 = "missing Longitude2:\n%s\n";
constexpr const char* missing_angle1 = "missing Angle1:\n%s\n";
constexpr const char* missing_angle2 = "missing Angle2:\n%s\n";

constexpr const char* invalid_lat = "invalid Latitude range [-90..90]: %f:\n%s\n";
constexpr const char* invalid_lon = "invalid Longitude range [-180..180]: %f:\n%s\n";

// Each angle: {delimiters, no word, code, word after the comment, code},
// the range, the message and code of a value outside it.
// clang-format off
constexpr AngleArg circle_lat{{word_delims, missing_lat, -24, missing_lat, -17},
                              -90.0f, 90.0f, invalid_lat, -19};
constexpr AngleArg circle_lon{{last_word_delims, missing_lon, -23, missing_lon, -20},
                              -180.0f, 180.0f, invalid_lon, -22};
constexpr AngleArg compass_lat{{word_delims, missing_lat, -36, missing_lat, -29},
                               -90.0f, 90.0f, invalid_lat, -31};
constexpr AngleArg compass_lon{{last_word_delims, missing_lon, -35, missing_lon, -32},
                               -180.0f, 180.0f, invalid_lon, -34};

constexpr std::array<AngleArg, 4> rectangle_corners{{
    {{word_delims, missing_lat1, -53, missing_lat1, -38},
     -90.0f, 90.0f, "invalid Latitude1 range [-90..90]: %f:\n%s\n", -40},
    {{word_delims, missing_lon1, -52, missing_lon1, -41},
     -180.0f, 180.0f, "invalid Longitude1 range [-180..180]: %f:\n%s\n", -43},
    {{word_delims, missing_lat2, -51, missing_lat2, -44},
     -90.0f, 90.0f, "invalid Latitude2 range [-90..90]: %f:\n%s\n", -46},
    {{last_word_delims, missing_lon2, -50, missing_lon2, -47},
     -180.0f, 180.0f, "invalid Longitude2 range [-180..180]: %f:\n%s\n", -49},
}};

constexpr AngleArg sector_angle1{{word_delims, missing_angle1, -69, missing_angle1, -54},
                                 0.0f, 360.0f,
                                 "invalid Angle1, range [0..360]: %f:\n%s\n",
                                 -57};
constexpr AngleArg sector_angle2{{word_delims, missing_angle2, -68, missing_angle2, -58},
                                 0.0f, 360.0f,
                                 "invalid Angle2, range [0..360]: %f:\n%s\n",
                                 -60};
// clang-format on

// --- callsigns ----------------------------------------------------------------

// A callsign of a destin, source or digi rule. The digi messages also name
// the word, and a digi callsign is stored in upper case.
struct CallArg {
    ArgSpec word;
    bool digi;
    const char* bad_ssid_char;
    const char* bad_ssid_value;
    int ssid_code;
    const char* too_long;
    int too_long_code;
};

constexpr const char* bad_ssid_char = "invalid SSID range [0..15]: %c:\n%s\n";
constexpr const char* bad_ssid_value = "invalid SSID range [0..15]: %d:\n%s\n";
constexpr const char* missing_digi = "missing Digi-n:\n%s\n";

constexpr CallArg destin_call{
    .word = {last_word_delims, "missing Destination:\n%s\n", -11,
             "missing Destination string:\n%s\n", -8},
    .digi = false,
    .bad_ssid_char = bad_ssid_char,
    .bad_ssid_value = bad_ssid_value,
    .ssid_code = -9,
    .too_long = "Destination is too long: %s:\n%s\n",
    .too_long_code = -10,
};

constexpr CallArg source_call{
    .word = {last_word_delims, "missing Source:\n%s\n", -13, "missing Source string:\n%s\n", -12},
    .digi = false,
    .bad_ssid_char = bad_ssid_char,
    .bad_ssid_value = bad_ssid_value,
    .ssid_code = -9,
    .too_long = "Source is too long: %s:\n%s\n",
    .too_long_code = -11,
};

constexpr CallArg digi_call{
    .word = {last_word_delims, missing_digi, -67, missing_digi, -61},
    .digi = true,
    .bad_ssid_char = "Digi Match: Digi %s invalid SSID range [0..15]: %c:\n%s\n",
    .bad_ssid_value = "Digi Match: Digi %s invalid SSID range [0..15]: %d:\n%s\n",
    .ssid_code = -61,
    .too_long = "Digi Match: Digi %s exceeds length %d:\n%s\n",
    .too_long_code = -61,
};

// `text` follows the '-' of `word`.
int read_ssid(RuleLine& line, const CallArg& arg, const char* word, const char* text,
              rule_record& r) {
    if (!is_digit(text[0])) {
        int c = static_cast<unsigned char>(text[0]);
        return arg.digi ? line_error(line, arg.ssid_code, arg.bad_ssid_char, word, c)
                        : line_error(line, arg.ssid_code, arg.bad_ssid_char, c);
    }
    int32_t ssid = leading_decimal(text);
    if (ssid > max_ssid) {
        int value = static_cast<int>(ssid);
        return arg.digi ? line_error(line, arg.ssid_code, arg.bad_ssid_value, word, value)
                        : line_error(line, arg.ssid_code, arg.bad_ssid_value, value);
    }
    r.mods |= mods_ssid;
    r.slot[1][0] = static_cast<uint8_t>(ssid);
    return 0;
}

// "*..." is any callsign, "AB*" a prefix (no SSID looked for), "AB-5" a
// callsign with an SSID.
int read_call(RuleLine& line, const CallArg& arg, rule_record& r) {
    char* word;
    if (int code = take_word(line, arg.word, &word)) return code;
    if (word[0] == '*') {
        r.mods |= mods_any_call;
        return 0;
    }
    if (char* star = std::strchr(word, '*')) {
        r.mods |= mods_call_prefix;
        *star = '\0';
    } else if (char* dash = std::strchr(word, '-')) {
        if (int code = read_ssid(line, arg, word, dash + 1, r)) return code;
        *dash = '\0';
    }
    size_t length = std::strlen(word);
    if (length > max_call_length) {
        return arg.digi ? line_error(line, arg.too_long_code, arg.too_long, word, max_call_length)
                        : line_error(line, arg.too_long_code, arg.too_long, word);
    }
    for (size_t i = 0; i < length; ++i) {
        r.slot[0][i] = static_cast<uint8_t>(arg.digi ? ascii_upper(word[i]) : word[i]);
    }
    return 0;
}

// --- the rule types -------------------------------------------------------------

int read_destin(RuleLine& line, rule_record& r) {
    return read_call(line, destin_call, r);
}

int read_source(RuleLine& line, rule_record& r) {
    return read_call(line, source_call, r);
}

constexpr ArgSpec circle_radius{word_delims, "missing Radius:\n%s\n", -25, "missing Range:\n%s\n",
                                -14};

int read_circle(RuleLine& line, rule_record& r) {
    char* word;
    if (int code = take_word(line, circle_radius, &word)) return code;
    float radius = real_of(word);
    if (!(radius > 0.0f) || std::isinf(radius)) {
        return line_error(line, -16, "invalid Circle Radius, must be > 0: %f:\n%s\n",
                          static_cast<double>(radius));
    }
    set_slot_float(r, 0, radius);
    if (int code = read_angle(line, circle_lat, r, 1)) return code;
    return read_angle(line, circle_lon, r, 2);
}

constexpr ArgSpec compass_direction{word_delims, "missing Compass Direction:\n%s\n", -37,
                                    "missing Direction:\n%s\n", -26};

// The eight direction words, in full and in any case; 0 for none.
int direction_code(const char* word) {
    for (size_t i = 1; i < compass_names.size(); ++i) {
        const char* name = compass_names[i];
        if (same_nocase(word, name)) {
            return static_cast<int>(i);
        }
    }
    return 0;
}

int read_compass(RuleLine& line, rule_record& r) {
    char* word;
    if (int code = take_word(line, compass_direction, &word)) return code;
    int direction = direction_code(word);
    if (direction == 0) {
        return line_error(line, -27, "invalid compass Direction %s:\n%s\n", word);
    }
    r.slot[0][0] = static_cast<uint8_t>(direction);
    if (int code = read_angle(line, compass_lat, r, 1)) return code;
    return read_angle(line, compass_lon, r, 2);
}

// The corners are taken as written: they are not ordered or compared.
int read_rectangle(RuleLine& line, rule_record& r) {
    for (int slot = 0; slot < 4; ++slot) {
        const AngleArg& corner = rectangle_corners[static_cast<size_t>(slot)];
        if (int code = read_angle(line, corner, r, slot)) return code;
    }
    return 0;
}

constexpr const char* missing_inner = "missing Inner Range:\n%s\n";
constexpr ArgSpec sector_inner{last_word_delims, missing_inner, -67, missing_inner, -61};

// The outer range is optional: no word, or one after the comment character,
// leaves it 0.0. A word that is there must give more than the inner range, so
// a word that is no number (0) always fails.
int read_outer_range(RuleLine& line, rule_record& r, float inner) {
    char* word = next_token(line.rest, last_word_delims, &line.rest);
    if (word == nullptr || after_comment(line, word)) return 0;
    float outer = real_of(word);
    if (!(outer > inner) || std::isinf(outer)) {
        return line_error(line, -66, "invalid Outer Range, must be > Inner Range: %f:\n%s\n",
                          static_cast<double>(outer));
    }
    set_slot_float(r, 3, outer);
    return 0;
}

int read_sector(RuleLine& line, rule_record& r) {
    if (int code = read_angle(line, sector_angle1, r, 0)) return code;
    if (int code = read_angle(line, sector_angle2, r, 1)) return code;
    char* word;
    if (int code = take_word(line, sector_inner, &word)) return code;
    if (!is_digit(word[0])) {
        return line_error(line, -62, "invalid or missing Inner Range:\n%s\n");
    }
    float inner = real_of(word);
    if (!(inner >= 0.0f) || std::isinf(inner)) {
        return line_error(line, -64, "invalid Inner Range, must be >= 0: %f:\n%s\n",
                          static_cast<double>(inner));
    }
    set_slot_float(r, 2, inner);
    return read_outer_range(line, r, inner);
}

constexpr const char* missing_match_index = "missing Match Index:\n%s\n";
constexpr ArgSpec digi_index{word_delims, missing_match_index, -69, missing_match_index, -54};

// The position in the digipeater path to match: "*" or 0 for any, else 1..8.
int read_match_index(RuleLine& line, rule_record& r) {
    char* word;
    if (int code = take_word(line, digi_index, &word)) return code;
    if (word[0] == '*') return 0;
    if (!is_digit(word[0])) {
        return line_error(line, -57, "invalid Match Index, range [0..%d]: %c:\n%s\n",
                          max_match_index, static_cast<int>(static_cast<unsigned char>(word[0])));
    }
    int32_t index = leading_decimal(word);
    if (index > max_match_index) {
        return line_error(line, -57, "invalid Match Index, range [0..%d]: %d:\n%s\n",
                          max_match_index, static_cast<int>(index));
    }
    r.slot[2][0] = static_cast<uint8_t>(index);
    return 0;
}

int read_digi(RuleLine& line, rule_record& r) {
    if (int code = read_match_index(line, r)) return code;
    return read_call(line, digi_call, r);
}

struct RuleReader {
    char rule_type;
    int (*read)(RuleLine&, rule_record&);
};

constexpr RuleReader rule_readers[] = {
    {rule_destin, read_destin},   {rule_source, read_source},       {rule_circle, read_circle},
    {rule_compass, read_compass}, {rule_rectangle, read_rectangle}, {rule_sector, read_sector},
    {rule_digi, read_digi},
};

}  // namespace

int read_rule_arguments(RuleLine& line, char rule_type, rule_record& r) {
    for (const RuleReader& reader : rule_readers) {
        if (reader.rule_type == rule_type) return reader.read(line, r);
    }
    return 0;
}
