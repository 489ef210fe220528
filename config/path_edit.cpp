#include "config/path_edit.h"

#include <cstdio>
#include <cstring>
#include <functional>

#include "common/numbers.h"
#include "common/tokenizer.h"
#include "config/call_text.h"

namespace {

constexpr int max_edits = 8;   // of each kind
constexpr int max_index = 8;   // match and action indexes 0..8, 0 written as '*'
constexpr int max_ssid = 15;
constexpr int max_call = 6;
constexpr int max_addresses = 8;

// Indexes and the match call end at blank, comma, ';' or tab; the delete
// index and the addresses also at '#' and '/', so a comment ends the list.
constexpr const char index_delims[] = " ,;\t";
constexpr const char path_delims[] = "#/; \t,";

bool is_digit(char c) { return c >= '0' && c <= '9'; }

bool begins_after_comment(const char* token) {
    return comment_pos >= 0 && std::greater<const char*>()(token, conf_line_buf + comment_pos);
}

int report_missing(const char* what, int code) {
    conf_line_fault("argument(s) missing: %s\n%s\n", what, conf_line_copy);
    return code;
}

// An index is '*' (stored as 0) or a number 0..8 that begins with a digit.
// `kind` names it in the messages: "Match" or "Action". 0, or the code of the
// failed check after its message.
int read_index(const char* token, const char* kind, int not_digit_code, int too_big_code,
               uint8_t* index) {
    if (token[0] == '*') {
        *index = 0;
        return 0;
    }
    if (!is_digit(token[0])) {
        conf_line_fault("Invalid Digi %s Index [0..%d]: %s\n%s\n", kind, max_index, token,
                        conf_line_copy);
        return not_digit_code;
    }
    int32_t number = leading_decimal(token);
    if (number > max_index) {
        conf_line_fault("Invalid Digi %s Index [0..%d]: %d\n%s\n", kind, max_index,
                        static_cast<int>(number), conf_line_copy);
        return too_big_code;
    }
    *index = static_cast<uint8_t>(number);
    return 0;
}

// A call written as CALL-n: the token is cut at the '-', and n must begin
// with a digit and be at most 15.
enum class SsidRead { absent, ok, not_digit, too_big };

struct SsidText {
    SsidRead read = SsidRead::absent;
    int value = 0;      // the number read, 0 when absent
    char first = '\0';  // the character after the '-'
};

SsidText split_ssid(char* token) {
    SsidText ssid;
    char* dash = std::strchr(token, '-');
    if (dash == nullptr) return ssid;
    *dash = '\0';
    ssid.first = dash[1];
    if (!is_digit(ssid.first)) {
        ssid.read = SsidRead::not_digit;
        return ssid;
    }
    int32_t number = leading_decimal(dash + 1);
    ssid.value = static_cast<int>(number);
    ssid.read = number > max_ssid ? SsidRead::too_big : SsidRead::ok;
    return ssid;
}

void cut_at_star(char* token) {
    char* star = std::strchr(token, '*');
    if (star != nullptr) *star = '\0';
}

int read_match_call(char* token, path_edit_entry* entry) {
    if (token[0] == '*') {
        entry->flags |= pe_any_call | pe_call_star;
        return 0;
    }
    if (std::strchr(token, '*') != nullptr) {
        entry->flags |= pe_call_star;
        cut_at_star(token);
    } else {
        SsidText ssid = split_ssid(token);
        if (ssid.read == SsidRead::not_digit) {
            conf_line_fault("Digi Match: Digi %s invalid SSID range [0..15]: %c\n%s\n", token,
                            ssid.first, conf_line_copy);
            return -10;
        }
        if (ssid.read == SsidRead::too_big) {
            conf_line_fault("Digi Match: Digi %s invalid SSID range [0..15]: %d\n%s\n", token,
                            ssid.value, conf_line_copy);
            return -11;
        }
        if (ssid.read == SsidRead::ok) {
            entry->flags |= pe_has_ssid;
            entry->ssid = static_cast<uint8_t>(ssid.value << 1);
        }
    }
    if (std::strlen(token) > max_call) {
        conf_line_fault("Digi Match: Digi %s exceeds length %d\n%s\n", token, max_call,
                        conf_line_copy);
        return -12;
    }
    copy_upper_case(entry->call, token);
    return 0;
}

// The SSID octet of a substitution address, laid out as in an AX.25 address.
// Bits 6 and 5 are always set; bit 7 (has been repeated) is set for an
// address written with '*' and for SSID 0. A WIDE address written with '*'
// keeps no SSID.
uint8_t address_octet(const char* call, bool starred, int ssid) {
    if (starred && std::strncmp(call, "WIDE", 4) == 0) return 0xE0;
    if (starred || ssid == 0) return static_cast<uint8_t>(0xE0 + (ssid << 1));
    return static_cast<uint8_t>(0x60 + (ssid << 1));
}

int read_address(char* token, int k, subst_address* address) {
    bool starred = std::strchr(token, '*') != nullptr;
    SsidText ssid = split_ssid(token);
    if (ssid.read == SsidRead::not_digit) {
        conf_line_fault("Digi Substitution[%d]: %s invalid SSID range [0..15]: %c\n%s\n", k, token,
                        ssid.first, conf_line_copy);
        return -17;
    }
    if (ssid.read == SsidRead::too_big) {
        conf_line_fault("Digi Substitution[%d]: %s invalid SSID range [0..15]: %d\n%s\n", k, token,
                        ssid.value, conf_line_copy);
        return -18;
    }
    if (starred) cut_at_star(token);
    if (std::strlen(token) > max_call) {
        conf_line_fault("Digi Substitution[%d]: %s exceeds length %d\n%s\n", k, token, max_call,
                        conf_line_copy);
        return -19;
    }
    copy_upper_case(address->call, token);
    address->ssid = address_octet(address->call, starred, ssid.value);
    return 0;
}

// Match index and match call, common to both kinds of line.
int read_match(char** rest, uint8_t kind, path_edit_entry* entry) {
    char* token = next_token(*rest, index_delims, rest);
    if (token == nullptr) return report_missing("Match Index", -6);
    int result = read_index(token, "Match", -7, -8, &entry->match_index);
    if (result != 0) return result;

    token = next_token(*rest, index_delims, rest);
    if (token == nullptr) return report_missing("Digi Match", -9);
    entry->flags = kind;
    return read_match_call(token, entry);
}

int add_delete(char* rest, path_edit_entry* entry) {
    char* token = next_token(rest, path_delims, &rest);
    if (token == nullptr) return report_missing("Delete Index", -21);
    int result = read_index(token, "Action", -22, -23, &entry->action_index);
    if (result != 0) return result;

    int dupe = check_path_edit_dupe(entry);
    if (dupe < 0) return -20;
    if (dupe > 0) {
        conf_line_fault("Duplicate Path Delete at entry %d\n", dupe);
        return -20;
    }
    ++conf_record.delete_count;
    return 0;
}

int add_substitution(char* rest, path_edit_entry* entry) {
    char* token = next_token(rest, index_delims, &rest);
    if (token == nullptr) return report_missing("Substitution Index", -13);
    int result = read_index(token, "Action", -14, -15, &entry->action_index);
    if (result != 0) return result;

    token = next_token(rest, path_delims, &rest);
    if (token == nullptr || begins_after_comment(token)) {
        return report_missing("Substitution Path", -16);
    }
    entry->subst_index = static_cast<uint8_t>(conf_record.subst_count);
    subst_path* path = &conf_record.subst_paths[conf_record.subst_count];
    std::memset(path, 0, sizeof *path);
    // Addresses beyond the eighth are ignored.
    for (int k = 1; k <= max_addresses; ++k) {
        result = read_address(token, k, &path->address[k - 1]);
        if (result != 0) return result;
        ++path->count;
        if (k == max_addresses) break;
        token = next_token(rest, path_delims, &rest);
        if (token == nullptr || begins_after_comment(token)) break;
    }

    int dupe = check_path_edit_dupe(entry);
    if (dupe < 0) return -20;
    if (dupe > 0) {
        conf_line_fault("Duplicate Path Substitution at entry %d\n", dupe);
        return -20;
    }
    if (entry->action_index > 0 && entry->action_index + path->count - 1 > max_index) {
        conf_line_fault(
            "Digi Substitution Index (%d) and Number of Substitution Digis (%d) "
            "exceeds Maximum (%d)\n%s\n",
            entry->action_index, path->count, max_index, conf_line_copy);
        return -20;
    }
    ++conf_record.subst_count;
    return 0;
}

}  // namespace

int path_edit_add(int command, const char* cmd_name, char* args) {
    if (cmd_name == nullptr) {
        std::printf("path_edit_add: Error: invalid param cmd_name ptr\n");
        return -1;
    }
    if (command != '.' && command != '/') {
        std::printf("path_edit_add: Error: invalid command: %d\n", command);
        return -2;
    }
    if (args == nullptr) {
        std::printf("path_edit_add: Error: invalid param args ptr\n");
        return -3;
    }
    bool substitution = command == '.';
    if (substitution && conf_record.subst_count >= max_edits) {
        conf_line_fault("substitutions are full: %d\n%s\n", max_edits, conf_line_copy);
        return -4;
    }
    if (!substitution && conf_record.delete_count >= max_edits) {
        conf_line_fault("deletes are full: %d\n%s\n", max_edits, conf_line_copy);
        return -5;
    }

    path_edit_entry* entry = &conf_record.path_edits[conf_record.subst_count + conf_record.delete_count];
    std::memset(entry, 0, sizeof *entry);
    char* rest = args;
    int result = read_match(&rest, substitution ? pe_substitute : pe_delete, entry);
    if (result != 0) return result;
    return substitution ? add_substitution(rest, entry) : add_delete(rest, entry);
}

int check_path_edit_dupe(const path_edit_entry* poe) {
    if (poe == nullptr) {
        std::printf("check_path_edit_dupe: Error: invalid param poe ptr\n");
        return -1;
    }
    int in_use = conf_record.subst_count + conf_record.delete_count;
    for (int i = 0; i < in_use; ++i) {
        const path_edit_entry& used = conf_record.path_edits[i];
        // The substitution path index (byte 10) tells equal entries apart only
        // by their position, so it is left out.
        bool same = std::memcmp(&used, poe, offsetof(path_edit_entry, subst_index)) == 0 &&
                    used.flags == poe->flags;
        if (same) return i + 1;
    }
    return 0;
}
