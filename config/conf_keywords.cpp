#include "config/conf_keywords.h"

#include <cstdio>
#include <cstring>
#include <functional>

#include "angles/dmctodeg.h"
#include "common/file_messages.h"
#include "common/numbers.h"
#include "common/tokenizer.h"
#include "config/call_text.h"
#include "config/conf_record.h"
#include "config/path_edit.h"
#include "serial/baud.h"

namespace {

// Argument delimiter sets. Most arguments end at a comment character too; the
// latitude of "position" only at blank, tab or comma; a digi path may hold
// blanks and commas; an icon may begin with '/'.
constexpr const char most_delims[] = "#/; \t,";
constexpr const char latitude_delims[] = " \t,";
constexpr const char digipath_delims[] = "#/;\t";
constexpr const char icon_delims[] = " \t";
constexpr const char rest_of_line[] = "";

// Every argument error ends the parse with -11, except an argument missing
// because it lies after a comment character, and every "icon" error.
constexpr int argument_error = -11;
constexpr int after_comment_code = -8;
constexpr int icon_code = -8;

constexpr int max_call = 6;
constexpr int max_control_call = 9;
constexpr int max_ssid = 15;
constexpr int max_wide = 6;
constexpr int max_digipath = 8;
constexpr int max_digi = 8;  // characters of a digi path entry
constexpr int max_bcomment = 43;

int report_missing(const char* what, int code) {
    conf_line_fault("missing %s argument: %s\n", what, conf_line_copy);
    return code;
}

struct Argument {
    char* token;  // null when missing
    int code;     // when missing: -11, or -8 when it lies after a comment character
};

// The next argument of the line. With the comment rule, an argument that
// begins after the line's first comment character counts as missing.
Argument take_argument(char** rest, const char* delims, bool comment_rule) {
    char* token = next_token(*rest, delims, rest);
    if (token == nullptr) return Argument{nullptr, argument_error};
    if (comment_rule && comment_pos >= 0 &&
        std::greater<const char*>()(token, conf_line_buf + comment_pos)) {
        return Argument{nullptr, after_comment_code};
    }
    return Argument{token, 0};
}

// Most arguments: delimiter set 1 with the comment rule.
Argument next_argument(char** rest) { return take_argument(rest, most_delims, true); }

bool is_digit(char c) { return c >= '0' && c <= '9'; }

bool is_yes(char c, const char* yes_chars) { return c != '\0' && std::strchr(yes_chars, c) != nullptr; }

int handle_call(char* rest) {
    Argument arg = next_argument(&rest);
    if (arg.token == nullptr) return report_missing("Call Sign", arg.code);
    if (std::strlen(arg.token) > max_call) {
        conf_line_fault("invalid Call Sign argument: too long: %s\n", conf_line_copy);
        return argument_error;
    }
    copy_upper_case(conf_record.call, arg.token);
    return 0;
}

int handle_ssid(char* rest) {
    Argument arg = next_argument(&rest);
    if (arg.token == nullptr) return report_missing("SSID", arg.code);
    // Text that does not begin with a digit holds no number: it shows as 0.
    int32_t ssid = is_digit(arg.token[0]) ? text_to_int32(arg.token, nullptr, 0) : 0;
    if (!is_digit(arg.token[0]) || ssid > max_ssid) {
        conf_line_fault("invalid SSID argument range [0..15]: %d: %s\n", static_cast<int>(ssid),
                        conf_line_copy);
        return argument_error;
    }
    conf_record.ssid = static_cast<uint16_t>(ssid);
    return 0;
}

int store_latitude(Argument arg) {
    if (arg.token == nullptr) return report_missing("Station Latitude", arg.code);
    float lat = dmctodeg(arg.token);
    if (lat == dmctodeg_error) {
        conf_line_fault("invalid Station Latitude argument: %s: %s\n", arg.token, conf_line_copy);
        return argument_error;
    }
    conf_record.base_lat = lat;
    return 0;
}

int store_longitude(Argument arg) {
    if (arg.token == nullptr) return report_missing("Station Longitude", arg.code);
    float lon = dmctodeg(arg.token);
    if (lon == dmctodeg_error) {
        conf_line_fault("invalid Station Longitude argument: %s: %s\n", arg.token, conf_line_copy);
        return argument_error;
    }
    conf_record.base_lon = lon;
    return 0;
}

// "position" and "base": the latitude ends only at blank, tab or comma and is
// stored before the longitude is read.
int handle_position(char* rest) {
    int result = store_latitude(take_argument(&rest, latitude_delims, false));
    if (result != 0) return result;
    return store_longitude(next_argument(&rest));
}

int handle_lat(char* rest) { return store_latitude(next_argument(&rest)); }
int handle_lon(char* rest) { return store_longitude(next_argument(&rest)); }

// Meters, or feet when the number is followed by 'f' or 'F'.
int handle_altitude(char* rest) {
    Argument arg = next_argument(&rest);
    if (arg.token == nullptr) return report_missing("Altitude", arg.code);
    char* end;
    int32_t altitude = text_to_int32(arg.token, &end, 0);
    if (*end == 'f' || *end == 'F') altitude = static_cast<int32_t>(static_cast<float>(altitude) / 3.28f);
    conf_record.altitude = altitude;
    return 0;
}

// Fields are named by member: the record is packed, so no pointer to one of
// its fields may be formed.
int store_yes_no(char* rest, uint16_t conf_layout::*field, const char* yes_chars) {
    Argument arg = next_argument(&rest);
    if (arg.token == nullptr) return report_missing("y | n", arg.code);
    conf_record.*field = is_yes(arg.token[0], yes_chars) ? 1 : 0;
    return 0;
}

constexpr const char yes_chars[] = "yY1tTeE";
constexpr const char pass_or_yes_chars[] = "yY1tTeEpP";

int store_baud(char* rest, uint32_t conf_layout::*field) {
    Argument arg = next_argument(&rest);
    if (arg.token == nullptr) return report_missing("Baud", arg.code);
    int32_t baud = leading_decimal(arg.token);
    if (get_baud(baud) == nullptr) {
        conf_line_fault("invalid Baud argument: %d: %s\n", static_cast<int>(baud), conf_line_copy);
        return argument_error;
    }
    conf_record.*field = static_cast<uint32_t>(baud);
    return 0;
}

// A WIDE count 1..6, read as a decimal number. 0 and the count, or the error code.
int read_wide(char** rest, int32_t* n) {
    Argument arg = next_argument(rest);
    if (arg.token == nullptr) return report_missing("n", arg.code);
    *n = leading_decimal(arg.token);
    if (*n < 1 || *n > max_wide) {
        conf_line_fault("invalid n argument range [1..%d]: %d: %s\n", max_wide,
                        static_cast<int>(*n), conf_line_copy);
        return argument_error;
    }
    return 0;
}

int handle_widemax(char* rest) {
    int32_t n;
    int result = read_wide(&rest, &n);
    if (result != 0) return result;
    if (n > conf_record.widetotal) {
        conf_line_fault("invalid n argument %d must be <= WIDETOTAL: %d: %s\n", static_cast<int>(n),
                        conf_record.widetotal, conf_line_copy);
        return argument_error;
    }
    conf_record.widemax = static_cast<uint16_t>(n);
    return 0;
}

int handle_widetotal(char* rest) {
    int32_t n;
    int result = read_wide(&rest, &n);
    if (result != 0) return result;
    if (n < conf_record.widemax) {
        conf_line_fault("invalid n argument %d must be >= WIDEMAX: %d: %s\n", static_cast<int>(n),
                        conf_record.widemax, conf_line_copy);
        return argument_error;
    }
    conf_record.widetotal = static_cast<uint16_t>(n);
    return 0;
}

int handle_dupewin(char* rest) {
    Argument arg = next_argument(&rest);
    if (arg.token == nullptr) return report_missing("seconds", arg.code);
    int32_t seconds = leading_decimal(arg.token);
    if (seconds < 5 || seconds > 500) {
        conf_line_fault("invalid seconds argument range [5..500]: %d: %s\n",
                        static_cast<int>(seconds), conf_line_copy);
        return argument_error;
    }
    conf_record.dupewin = static_cast<uint16_t>(seconds);
    return 0;
}

int handle_ratelimcall(char* rest) {
    Argument arg = next_argument(&rest);
    if (arg.token == nullptr) return report_missing("seconds", arg.code);
    int32_t seconds = leading_decimal(arg.token);
    if (seconds < 0 || seconds > 65535) {
        conf_line_fault("invalid seconds argument range [0..%d]: %d: %s\n", 65535,
                        static_cast<int>(seconds), conf_line_copy);
        return argument_error;
    }
    conf_record.ratelimcall = static_cast<uint16_t>(seconds);
    return 0;
}

int handle_beacon(char* rest) {
    Argument arg = next_argument(&rest);
    if (arg.token == nullptr) return report_missing("seconds", arg.code);
    int32_t seconds = text_to_int32(arg.token, nullptr, 0);
    if (seconds != 0 && (seconds < 10 || seconds > 65535)) {
        conf_line_fault("invalid seconds argument range [0, %d..%d]: %d: %s\n", 10, 65535,
                        static_cast<int>(seconds), conf_line_copy);
        return argument_error;
    }
    conf_record.beacon = static_cast<uint16_t>(seconds);
    return 0;
}

// The list may hold blanks and commas between its entries; it ends at a
// comment character or a tab.
int handle_digipath(char* rest) {
    Argument arg = take_argument(&rest, digipath_delims, true);
    if (arg.token == nullptr) return report_missing("Digi Path", arg.code);
    std::memset(conf_record.digipath, 0, sizeof conf_record.digipath);
    digipath_count = 0;
    char* entries = arg.token;
    // Entries after the eighth are ignored.
    while (digipath_count < max_digipath) {
        char* entry = next_token(entries, ", ", &entries);
        if (entry == nullptr) break;
        std::size_t length = std::strlen(entry);
        if (length > max_digi) {
            conf_line_fault("Digi Path[%d]: %s exceeds length %d: %s\n",
                            static_cast<int>(digipath_count) + 1, entry, max_digi, conf_line_copy);
            return argument_error;
        }
        // An entry of exactly 8 characters fills its slot without a terminator.
        char* slot = conf_record.digipath[digipath_count];
        for (std::size_t i = 0; i < length; ++i) slot[i] = upper_case(entry[i]);
        ++digipath_count;
    }
    return 0;
}

bool is_symbol_table(char c) {
    return c == '/' || c == '\\' || is_digit(c) || (c >= 'a' && c <= 'j') || (c >= 'A' && c <= 'Z');
}

int handle_icon(char* rest) {
    Argument arg = take_argument(&rest, icon_delims, false);
    if (arg.token == nullptr) return report_missing("Beacon Icon", icon_code);
    char table = arg.token[0];
    char code = arg.token[1];
    if (!is_symbol_table(table)) {
        conf_line_fault("Icon Symbol ID must be one of / \\ 0..9 a..j A..Z: %s\n", conf_line_copy);
        return icon_code;
    }
    if (code < '!' || code > '~') {
        conf_line_fault("Icon Code must be in range [!..~]: %s\n", conf_line_copy);
        return icon_code;
    }
    conf_record.icon = static_cast<uint16_t>(table * 256 + code);
    return 0;
}

// The comment is the whole rest of the line, comment characters, blanks and
// case included.
int handle_bcomment(char* rest) {
    Argument arg = take_argument(&rest, rest_of_line, false);
    if (arg.token == nullptr) return report_missing("Beacon Comment", arg.code);
    std::memset(conf_record.bcomment, 0, sizeof conf_record.bcomment);
    std::size_t length = std::strlen(arg.token);
    if (length > max_bcomment) {
        report_file_message(FileMessage::warning, conf_file_name, conf_line_no,
                            "Truncating Beacon Comment to %d chars\n", max_bcomment);
        length = max_bcomment;
    }
    std::memcpy(conf_record.bcomment, arg.token, length);
    return 0;
}

int handle_controlcall(char* rest) {
    Argument arg = next_argument(&rest);
    if (arg.token == nullptr) return report_missing("Control Call-SSID", arg.code);
    if (std::strlen(arg.token) > max_control_call) {
        conf_line_fault("invalid Control Call-SSID argument: too long (max is %d): %s\n",
                        max_control_call, conf_line_copy);
        return argument_error;
    }
    copy_upper_case(conf_record.controlcall, arg.token);
    return 0;
}

int handle_substitutepath(char* rest) {
    return path_edit_add('.', "substitutepath", rest) != 0 ? argument_error : 0;
}

int handle_deletepath(char* rest) { return path_edit_add('/', "deletepath", rest) != 0 ? argument_error : 0; }

// Each "uitrace" line toggles the field; its arguments are ignored.
int handle_uitrace(char*) {
    conf_record.uitrace = static_cast<uint16_t>(~conf_record.uitrace);
    return 0;
}

}  // namespace

const conf_keyword conf_keywords[30] = {
    {"call", handle_call},
    {"ssid", handle_ssid},
    {"position", handle_position},
    {"base", handle_position},
    {"lat", handle_lat},
    {"lon", handle_lon},
    {"altitude", handle_altitude},
    {"havegps", [](char* rest) { return store_yes_no(rest, &conf_layout::havegps, yes_chars); }},
    {"log", [](char* rest) { return store_yes_no(rest, &conf_layout::log, yes_chars); }},
    {"dropmangled", [](char* rest) { return store_yes_no(rest, &conf_layout::dropmangled, yes_chars); }},
    {"haltonerr", [](char* rest) { return store_yes_no(rest, &conf_layout::haltonerr, yes_chars); }},
    {"fixvalid", [](char* rest) { return store_yes_no(rest, &conf_layout::fixvalid, yes_chars); }},
    {"host", [](char* rest) { return store_baud(rest, &conf_layout::host_baud); }},
    {"tnc", [](char* rest) { return store_baud(rest, &conf_layout::tnc_baud); }},
    {"gps", [](char* rest) { return store_baud(rest, &conf_layout::gps_baud); }},
    {"nsr", [](char* rest) { return store_yes_no(rest, &conf_layout::nsr, yes_chars); }},
    {"relaydrop", [](char* rest) { return store_yes_no(rest, &conf_layout::relaydrop, yes_chars); }},
    {"widemax", handle_widemax},
    {"widetotal", handle_widetotal},
    {"dupewin", handle_dupewin},
    {"ratelimcall", handle_ratelimcall},
    {"nonaprs", [](char* rest) { return store_yes_no(rest, &conf_layout::nonaprs, pass_or_yes_chars); }},
    {"digipath", handle_digipath},
    {"beacon", handle_beacon},
    {"icon", handle_icon},
    {"bcomment", handle_bcomment},
    {"controlcall", handle_controlcall},
    {"substitutepath", handle_substitutepath},
    {"deletepath", handle_deletepath},
    {"uitrace", handle_uitrace},
};
