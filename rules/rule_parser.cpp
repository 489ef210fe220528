#include "rules/rule_parser.h"

#include <array>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <limits>

#include "angles/dmctodeg.h"
#include "common/line_reader.h"
#include "common/numbers.h"
#include "common/prefix_match.h"
#include "common/tokenizer.h"
#include "config/conf_record.h"
#include "rules/rule_record.h"
#include "rules/rule_words.h"

namespace {

// Arguments end at a blank, tab or comma; the last argument of a rule may also
// touch the comment character ("N0CALL#note").
constexpr const char* word_delims = " \t,";
constexpr const char* last_word_delims = "#/; \t,";
constexpr const char* comment_chars = "#/;";

constexpr int max_call_length = 6;
constexpr int max_match_index = 8;
constexpr int max_ssid = 15;

// The state of one Rules file parse. Lines are counted in 32 bits for the
// messages; a record keeps only the low 16 bits of its line.
struct RuleParse {
    const char* file_name = nullptr;
    int32_t line_no = 0;
    int comment_pos = -1;  // first '#', '/' or ';' of the line in conf_line_buf, -1 for none
    char* rest = nullptr;  // the part of conf_line_buf not yet cut into words
    int count = 0;         // records accepted, also the slot being filled
    int implicit_lines = 0;
    std::array<int32_t, rule_table_size> lines{};  // the line of each accepted record
};

// Prints a message about the current line and gives back its code. Every
// format starts with "%s[%d]" (file name, line) and ends with the line itself;
// `values` fill the conversions in between.
template <class... Values>
int line_error(const RuleParse& p, int code, const char* format, Values... values) {
    std::printf(format, p.file_name, static_cast<int>(p.line_no), values..., conf_line_copy);
    return code;
}

bool is_comment_char(char c) {
    return c != '\0' && std::strchr(comment_chars, c) != nullptr;
}
bool is_digit(char c) {
    return c >= '0' && c <= '9';
}

char ascii_upper(char c) {
    return (c >= 'a' && c <= 'z') ? static_cast<char>(c - 'a' + 'A') : c;
}

int16_t low_16_bits(int32_t line) {
    return static_cast<int16_t>(static_cast<uint16_t>(static_cast<uint32_t>(line) & 0xFFFFu));
}

// A value beyond the single-precision range becomes an infinity, which every
// range check below refuses.
float to_single(double value) {
    constexpr double largest = std::numeric_limits<float>::max();
    if (value > largest) return std::numeric_limits<float>::infinity();
    if (value < -largest) return -std::numeric_limits<float>::infinity();
    return static_cast<float>(value);
}

float real_of(const char* word) {
    return to_single(text_to_real(word, nullptr));
}

// --- arguments --------------------------------------------------------------

// How an argument is cut and what its absence is called: no word at all, or a
// word that begins after the comment character. A word that begins exactly at
// the comment character is taken and meets the value checks.
struct ArgSpec {
    const char* delims;
    const char* missing;
    int missing_code;
    const char* after_comment;
    int after_comment_code;
};

int take_word(RuleParse& p, const ArgSpec& spec, char** word) {
    *word = next_token(p.rest, spec.delims, &p.rest);
    if (*word == nullptr) return line_error(p, spec.missing_code, spec.missing);
    if (p.comment_pos >= 0 && *word - conf_line_buf > p.comment_pos) {
        return line_error(p, spec.after_comment_code, spec.after_comment);
    }
    return 0;
}

// A latitude, longitude or angle in one of the angle notations. A text that
// dmctodeg refuses has had its message; its error value then fails the range.
struct AngleArg {
    ArgSpec word;
    float low;
    float high;
    const char* invalid;
    int invalid_code;
};

int read_angle(RuleParse& p, const AngleArg& arg, rule_record& r, int slot) {
    char* word;
    if (int code = take_word(p, arg.word, &word)) return code;
    float value = dmctodeg(word);
    if (!(value >= arg.low && value <= arg.high)) {
        return line_error(p, arg.invalid_code, arg.invalid, static_cast<double>(value));
    }
    set_slot_float(r, slot, value);
    return 0;
}

// A callsign of a destin, source or digi rule. The digi messages name the
// word and its callsign is stored in upper case.
struct CallArg {
    ArgSpec word;
    bool digi;
    const char* bad_ssid_char;
    const char* bad_ssid_value;
    int ssid_code;
    const char* too_long;
    int too_long_code;
};

int read_ssid(RuleParse& p, const CallArg& arg, const char* word, const char* text,
              rule_record& r) {
    if (!is_digit(text[0])) {
        int c = static_cast<unsigned char>(text[0]);
        return arg.digi ? line_error(p, arg.ssid_code, arg.bad_ssid_char, word, c)
                        : line_error(p, arg.ssid_code, arg.bad_ssid_char, c);
    }
    int32_t ssid = leading_decimal(text);
    if (ssid > max_ssid) {
        int value = static_cast<int>(ssid);
        return arg.digi ? line_error(p, arg.ssid_code, arg.bad_ssid_value, word, value)
                        : line_error(p, arg.ssid_code, arg.bad_ssid_value, value);
    }
    r.mods |= mods_ssid;
    r.slot[1][0] = static_cast<uint8_t>(ssid);
    return 0;
}

// "*..." is any callsign, "AB*" a prefix, "AB-5" a callsign with an SSID.
int read_call(RuleParse& p, const CallArg& arg, rule_record& r) {
    char* word;
    if (int code = take_word(p, arg.word, &word)) return code;
    if (word[0] == '*') {
        r.mods |= mods_any_call;
        return 0;
    }
    if (char* star = std::strchr(word, '*')) {
        r.mods |= mods_call_prefix;
        *star = '\0';
    } else if (char* dash = std::strchr(word, '-')) {
        if (int code = read_ssid(p, arg, word, dash + 1, r)) return code;
        *dash = '\0';
    }
    size_t length = std::strlen(word);
    if (length > max_call_length) {
        return arg.digi ? line_error(p, arg.too_long_code, arg.too_long, word, max_call_length)
                        : line_error(p, arg.too_long_code, arg.too_long, word);
    }
    for (size_t i = 0; i < length; ++i) {
        r.slot[0][i] = static_cast<uint8_t>(arg.digi ? ascii_upper(word[i]) : word[i]);
    }
    return 0;
}

// --- the rule types -----------------------------------------------------------

constexpr const char* missing_latitude = "\a\aError: %s[%d]: missing Latitude:\n%s\n";
constexpr const char* missing_longitude = "\a\aError: %s[%d]: missing Longitude:\n%s\n";
constexpr const char* invalid_latitude =
    "\a\aError: %s[%d]: invalid Latitude range [-90..90]: %f:\n%s\n";
constexpr const char* invalid_longitude =
    "\a\aError: %s[%d]: invalid Longitude range [-180..180]: %f:\n%s\n";
constexpr const char* bad_ssid_char = "\a\aError: %s[%d]: invalid SSID range [0..15]: %c:\n%s\n";
constexpr const char* bad_ssid_value = "\a\aError: %s[%d]: invalid SSID range [0..15]: %d:\n%s\n";

constexpr CallArg destin_call{{last_word_delims, "\a\aError: %s[%d]: missing Destination:\n%s\n",
                               -11, "\a\aError: %s[%d]: missing Destination string:\n%s\n", -8},
                              false,
                              bad_ssid_char,
                              bad_ssid_value,
                              -9,
                              "\a\aError: %s[%d]: Destination is too long: %s:\n%s\n",
                              -10};

constexpr CallArg source_call{{last_word_delims, "\a\aError: %s[%d]: missing Source:\n%s\n", -13,
                               "\a\aError: %s[%d]: missing Source string:\n%s\n", -12},
                              false,
                              bad_ssid_char,
                              bad_ssid_value,
                              -9,
                              "\a\aError: %s[%d]: Source is too long: %s:\n%s\n",
                              -11};

int read_destin(RuleParse& p, rule_record& r) {
    return read_call(p, destin_call, r);
}
int read_source(RuleParse& p, rule_record& r) {
    return read_call(p, source_call, r);
}

constexpr ArgSpec circle_radius{word_delims, "\a\aError: %s[%d]: missing Radius:\n%s\n", -25,
                                "\a\aError: %s[%d]: missing Range:\n%s\n", -14};
constexpr AngleArg circle_lat{{word_delims, missing_latitude, -24, missing_latitude, -17},
                              -90.0f,
                              90.0f,
                              invalid_latitude,
                              -19};
constexpr AngleArg circle_lon{{last_word_delims, missing_longitude, -23, missing_longitude, -20},
                              -180.0f,
                              180.0f,
                              invalid_longitude,
                              -22};

int read_circle(RuleParse& p, rule_record& r) {
    char* word;
    if (int code = take_word(p, circle_radius, &word)) return code;
    float radius = real_of(word);
    if (!(radius > 0.0f) || std::isinf(radius)) {
        return line_error(p, -16,
                          "\a\aError: %s[%d]: invalid Circle Radius, must be > 0: %f:\n%s\n",
                          static_cast<double>(radius));
    }
    set_slot_float(r, 0, radius);
    if (int code = read_angle(p, circle_lat, r, 1)) return code;
    return read_angle(p, circle_lon, r, 2);
}

constexpr ArgSpec compass_direction{word_delims,
                                    "\a\aError: %s[%d]: missing Compass Direction:\n%s\n", -37,
                                    "\a\aError: %s[%d]: missing Direction:\n%s\n", -26};
constexpr AngleArg compass_lat{{word_delims, missing_latitude, -36, missing_latitude, -29},
                               -90.0f,
                               90.0f,
                               invalid_latitude,
                               -31};
constexpr AngleArg compass_lon{{last_word_delims, missing_longitude, -35, missing_longitude, -32},
                               -180.0f,
                               180.0f,
                               invalid_longitude,
                               -34};

// The eight direction words, in full and in any case.
int direction_code(const char* word) {
    for (size_t i = 1; i < compass_names.size(); ++i) {
        const char* name = compass_names[i];
        if (std::strlen(word) == std::strlen(name) && is_prefix_nocase(word, name)) {
            return static_cast<int>(i);
        }
    }
    return 0;
}

int read_compass(RuleParse& p, rule_record& r) {
    char* word;
    if (int code = take_word(p, compass_direction, &word)) return code;
    int direction = direction_code(word);
    if (direction == 0) {
        return line_error(p, -27, "\a\aError: %s[%d]: invalid compass Direction %s:\n%s\n", word);
    }
    r.slot[0][0] = static_cast<uint8_t>(direction);
    if (int code = read_angle(p, compass_lat, r, 1)) return code;
    return read_angle(p, compass_lon, r, 2);
}

constexpr const char* missing_latitude1 = "\a\aError: %s[%d]: missing Latitude1:\n%s\n";
constexpr const char* missing_longitude1 = "\a\aError: %s[%d]: missing Longitude1:\n%s\n";
constexpr const char* missing_latitude2 = "\a\aError: %s[%d]: missing Latitude2:\n%s\n";
constexpr const char* missing_longitude2 = "\a\aError: %s[%d]: missing Longitude2:\n%s\n";

constexpr std::array<AngleArg, 4> rectangle_corners{{
    {{word_delims, missing_latitude1, -53, missing_latitude1, -38},
     -90.0f,
     90.0f,
     "\a\aError: %s[%d]: invalid Latitude1 range [-90..90]: %f:\n%s\n",
     -40},
    {{word_delims, missing_longitude1, -52, missing_longitude1, -41},
     -180.0f,
     180.0f,
     "\a\aError: %s[%d]: invalid Longitude1 range [-180..180]: %f:\n%s\n",
     -43},
    {{word_delims, missing_latitude2, -51, missing_latitude2, -44},
     -90.0f,
     90.0f,
     "\a\aError: %s[%d]: invalid Latitude2 range [-90..90]: %f:\n%s\n",
     -46},
    {{last_word_delims, missing_longitude2, -50, missing_longitude2, -47},
     -180.0f,
     180.0f,
     "\a\aError: %s[%d]: invalid Longitude2 range [-180..180]: %f:\n%s\n",
     -49},
}};

int read_rectangle(RuleParse& p, rule_record& r) {
    for (int slot = 0; slot < 4; ++slot) {
        if (int code = read_angle(p, rectangle_corners[static_cast<size_t>(slot)], r, slot)) {
            return code;
        }
    }
    return 0;
}

constexpr const char* missing_angle1 = "\a\aError: %s[%d]: missing Angle1:\n%s\n";
constexpr const char* missing_angle2 = "\a\aError: %s[%d]: missing Angle2:\n%s\n";
constexpr const char* missing_inner = "\a\aError: %s[%d]: missing Inner Range:\n%s\n";

constexpr AngleArg sector_angle1{{word_delims, missing_angle1, -69, missing_angle1, -54},
                                 0.0f,
                                 360.0f,
                                 "\a\aError: %s[%d]: invalid Angle1, range [0..360]: %f:\n%s\n",
                                 -57};
constexpr AngleArg sector_angle2{{word_delims, missing_angle2, -68, missing_angle2, -58},
                                 0.0f,
                                 360.0f,
                                 "\a\aError: %s[%d]: invalid Angle2, range [0..360]: %f:\n%s\n",
                                 -60};
constexpr ArgSpec sector_inner{last_word_delims, missing_inner, -67, missing_inner, -61};

// The outer range is optional: no word, or one after the comment character,
// leaves it 0.0. A word that is there must give more than the inner range, so
// a word that is no number (0) always fails.
int read_outer_range(RuleParse& p, rule_record& r, float inner) {
    char* word = next_token(p.rest, last_word_delims, &p.rest);
    if (word == nullptr || (p.comment_pos >= 0 && word - conf_line_buf > p.comment_pos)) {
        return 0;
    }
    float outer = real_of(word);
    if (!(outer > inner) || std::isinf(outer)) {
        return line_error(
            p, -66, "\a\aError: %s[%d]: invalid Outer Range, must be > Inner Range: %f:\n%s\n",
            static_cast<double>(outer));
    }
    set_slot_float(r, 3, outer);
    return 0;
}

int read_sector(RuleParse& p, rule_record& r) {
    if (int code = read_angle(p, sector_angle1, r, 0)) return code;
    if (int code = read_angle(p, sector_angle2, r, 1)) return code;
    char* word;
    if (int code = take_word(p, sector_inner, &word)) return code;
    if (!is_digit(word[0])) {
        return line_error(p, -62, "\a\aError: %s[%d]: invalid or missing Inner Range:\n%s\n");
    }
    float inner = real_of(word);
    if (!(inner >= 0.0f) || std::isinf(inner)) {
        return line_error(p, -64, "\a\aError: %s[%d]: invalid Inner Range, must be >= 0: %f:\n%s\n",
                          static_cast<double>(inner));
    }
    set_slot_float(r, 2, inner);
    return read_outer_range(p, r, inner);
}

constexpr const char* missing_match_index = "\a\aError: %s[%d]: missing Match Index:\n%s\n";
constexpr const char* missing_digi = "\a\aError: %s[%d]: missing Digi-n:\n%s\n";

constexpr ArgSpec digi_index{word_delims, missing_match_index, -69, missing_match_index, -54};

constexpr CallArg digi_call{
    {last_word_delims, missing_digi, -67, missing_digi, -61},
    true,
    "\a\aError: %s[%d]: Digi Match: Digi %s invalid SSID range [0..15]: %c:\n%s\n",
    "\a\aError: %s[%d]: Digi Match: Digi %s invalid SSID range [0..15]: %d:\n%s\n",
    -61,
    "\a\aError: %s[%d]: Digi Match: Digi %s exceeds length %d:\n%s\n",
    -61};

// The position in the digipeater path to match, "*" (or 0) for any.
int read_match_index(RuleParse& p, rule_record& r) {
    char* word;
    if (int code = take_word(p, digi_index, &word)) return code;
    if (word[0] == '*') return 0;
    if (!is_digit(word[0])) {
        return line_error(p, -57,
                          "\a\aError: %s[%d]: invalid Match Index, range [0..%d]: %c:\n%s\n",
                          max_match_index, static_cast<int>(static_cast<unsigned char>(word[0])));
    }
    int32_t index = leading_decimal(word);
    if (index > max_match_index) {
        return line_error(p, -57,
                          "\a\aError: %s[%d]: invalid Match Index, range [0..%d]: %d:\n%s\n",
                          max_match_index, static_cast<int>(index));
    }
    r.slot[2][0] = static_cast<uint8_t>(index);
    return 0;
}

int read_digi(RuleParse& p, rule_record& r) {
    if (int code = read_match_index(p, r)) return code;
    return read_call(p, digi_call, r);
}

struct RuleReader {
    char rule_type;
    int (*read)(RuleParse&, rule_record&);
};

constexpr RuleReader rule_readers[] = {
    {rule_destin, read_destin},   {rule_source, read_source},       {rule_circle, read_circle},
    {rule_compass, read_compass}, {rule_rectangle, read_rectangle}, {rule_sector, read_sector},
    {rule_digi, read_digi},
};

// --- lines --------------------------------------------------------------------

// Fills the next slot from the arguments and keeps it unless an earlier rule
// is the same.
int add_rule(RuleParse& p, char rule_type, uint8_t action) {
    rule_record& r = rule_table[static_cast<size_t>(p.count)];
    r.rule_type = rule_type;
    r.mods = action;
    r.line = low_16_bits(p.line_no);
    for (const RuleReader& reader : rule_readers) {
        if (reader.rule_type != rule_type) continue;
        if (int code = reader.read(p, r)) return code;
        break;
    }
    int dupe_slot = 0;
    if (check_rule_dupe(p.count, &r, &dupe_slot) > 0) {
        std::printf("\a\aError: %s[%d]: Duplicate Rule on line %d\n", p.file_name,
                    static_cast<int>(p.line_no),
                    static_cast<int>(p.lines[static_cast<size_t>(dupe_slot)]));
        return -71;
    }
    p.lines[static_cast<size_t>(p.count)] = p.line_no;
    ++p.count;
    return 0;
}

void set_implicit(RuleParse& p, const rule_command_word& command, uint8_t action) {
    uint16_t implicit = command.implicit;
    if (implicit == 0) implicit = action == action_drop ? implicit_drop : implicit_pass;
    conf_record.implicit_action = implicit;
    ++p.implicit_lines;
}

// One line of the file, read into conf_line_buf: "<action> <command> <args>".
int parse_line(RuleParse& p) {
    strip_line_feed(conf_line_buf);
    std::memcpy(conf_line_copy, conf_line_buf, sizeof conf_line_copy);
    ++p.line_no;
    const char* comment = std::strpbrk(conf_line_buf, comment_chars);
    p.comment_pos = comment != nullptr ? static_cast<int>(comment - conf_line_buf) : -1;

    char* action_word = next_token(conf_line_buf, word_delims, &p.rest);
    if (action_word == nullptr || is_comment_char(action_word[0])) return 0;
    PrefixMatch action = match_prefix(action_word, rule_action_words);
    if (action.result != Match::one) {
        return line_error(p, -3, "\a\aError: %s[%d]: action %s invalid:\n%s\n", action_word);
    }
    uint8_t action_code = rule_action_words[static_cast<size_t>(action.index)].code;

    char* command_word = next_token(p.rest, word_delims, &p.rest);
    if (command_word == nullptr) {
        return line_error(p, -72, "\a\aError: %s[%d]: missing arguments:\n%s\n");
    }
    if (is_comment_char(command_word[0])) {
        return line_error(p, -5, "\a\aError: %s[%d]: missing command:\n%s\n");
    }
    // Checked before the command word, so after 30 rules even an implicit line fails.
    if (p.count == rule_table_size) {
        std::printf("\a\aError: %s[%d]: rule limit (%d) exceeded:\n%s\n", p.file_name,
                    static_cast<int>(p.line_no), rule_table_size, command_word);
        return -6;
    }
    PrefixMatch match = match_prefix(command_word, rule_command_words);
    if (match.result == Match::several) {
        return line_error(p, -7, "\a\aError: %s[%d]: Ambiguous command: %s:\n%s\n", command_word);
    }
    if (match.result == Match::none) {
        return line_error(p, -7, "\a\aError: %s[%d]: command %s invalid:\n%s\n", command_word);
    }
    const rule_command_word& command = rule_command_words[static_cast<size_t>(match.index)];
    if (command.rule_type == 0) {
        set_implicit(p, command, action_code);
        return 0;
    }
    return add_rule(p, command.rule_type, action_code);
}

int parse_file(std::FILE* fp, RuleParse& p) {
    for (;;) {
        LineRead read = read_text_line(fp, conf_line_buf, sizeof conf_line_buf);
        if (read == LineRead::end) break;
        if (read == LineRead::error) {
            std::printf("\a\aError: cannot open %s\n", p.file_name);
            return -2;
        }
        if (int code = parse_line(p)) return code;
    }
    conf_record.rule_count = static_cast<uint16_t>(p.count);
    std::printf("Rules processed %d, implicit %d\n", p.count, p.implicit_lines);
    rules_processed = 1;
    return 0;
}

}  // namespace

int rules_process(const char* rfp) {
    if (rfp == nullptr) {
        std::printf("rules_process: Error: param rfp is invalid\n");
        return -1;
    }
    std::FILE* fp = open_text_file(rfp);
    if (fp == nullptr) {
        std::printf("\a\aError: cannot open %s\n", rfp);
        return -2;
    }
    conf_record.implicit_action = implicit_pass;
    conf_record.rule_count = 0;
    rules_processed = 0;
    rule_table = {};

    RuleParse p;
    p.file_name = rfp;
    int result = parse_file(fp, p);
    std::fclose(fp);
    return result;
}
