#include "rules/rule_parser.h"

#include <array>
#include <cstdio>
#include <cstring>

#include "common/file_messages.h"
#include "common/line_reader.h"
#include "common/prefix_match.h"
#include "common/tokenizer.h"
#include "config/conf_record.h"
#include "rules/rule_arguments.h"
#include "rules/rule_record.h"
#include "rules/rule_words.h"

namespace {

constexpr const char* word_delims = " \t,";
constexpr const char* comment_chars = "#/;";

// One Rules file parse: the current line and what the lines so far gave.
struct RuleParse {
    RuleLine line;
    int count = 0;  // records accepted, also the slot being filled
    int implicit_lines = 0;
    std::array<int32_t, rule_table_size> lines{};  // the full line number of each record
};

bool is_comment_char(char c) {
    return c != '\0' && std::strchr(comment_chars, c) != nullptr;
}

int16_t low_16_bits(int32_t line_no) {
    return static_cast<int16_t>(static_cast<uint16_t>(static_cast<uint32_t>(line_no) & 0xFFFFu));
}

// Fills the next slot from the arguments and keeps it unless an earlier rule
// is the same. The duplicate is named by its full line number, which its
// record may hold only in part.
int add_rule(RuleParse& p, char rule_type, uint8_t action) {
    rule_record& r = rule_table[static_cast<size_t>(p.count)];
    r.rule_type = rule_type;
    r.mods = action;
    r.line = low_16_bits(p.line.line_no);
    if (int code = read_rule_arguments(p.line, rule_type, r)) return code;

    int dupe_slot = 0;
    if (check_rule_dupe(p.count, &r, &dupe_slot) > 0) {
        report_file_message(FileMessage::line_fault, p.line.file_name, p.line.line_no,
                            "Duplicate Rule on line %d\n",
                            static_cast<int>(p.lines[static_cast<size_t>(dupe_slot)]));
        return -71;
    }
    p.lines[static_cast<size_t>(p.count)] = p.line.line_no;
    ++p.count;
    return 0;
}

// "implicit" takes the action from the action word; "pass" and "drop" name it.
void set_implicit(RuleParse& p, const rule_command_word& command, uint8_t action) {
    uint16_t implicit = command.implicit;
    if (implicit == 0) implicit = action == action_drop ? implicit_drop : implicit_pass;
    conf_record.implicit_action = implicit;
    ++p.implicit_lines;
}

// One line, read into conf_line_buf: "<action> <command> <arguments>".
int parse_line(RuleParse& p) {
    RuleLine& line = p.line;
    strip_line_feed(conf_line_buf);
    std::memcpy(conf_line_copy, conf_line_buf, sizeof conf_line_copy);
    count_line(&line.line_no);
    const char* comment = std::strpbrk(conf_line_buf, comment_chars);
    line.comment_pos = comment != nullptr ? static_cast<int>(comment - conf_line_buf) : -1;

    char* action_word = next_token(conf_line_buf, word_delims, &line.rest);
    if (action_word == nullptr || is_comment_char(action_word[0])) return 0;
    PrefixMatch action = match_prefix(action_word, rule_action_words);
    if (action.result != Match::one) {
        return line_error(line, -3, "action %s invalid:\n%s\n", action_word);
    }
    uint8_t action_code = rule_action_words[static_cast<size_t>(action.index)].code;

    char* command_word = next_token(line.rest, word_delims, &line.rest);
    if (command_word == nullptr) {
        return line_error(line, -72, "missing arguments:\n%s\n");
    }
    if (is_comment_char(command_word[0])) {
        return line_error(line, -5, "missing command:\n%s\n");
    }
    // Before the command word is looked at: after 30 rules even an implicit line fails.
    if (p.count == rule_table_size) {
        report_file_message(FileMessage::line_fault, line.file_name, line.line_no,
                            "rule limit (%d) exceeded:\n%s\n", rule_table_size, command_word);
        return -6;
    }
    PrefixMatch match = match_prefix(command_word, rule_command_words);
    if (match.result == Match::several) {
        return line_error(line, -7, "Ambiguous command: %s:\n%s\n", command_word);
    }
    if (match.result == Match::none) {
        return line_error(line, -7, "command %s invalid:\n%s\n", command_word);
    }
    const rule_command_word& command = rule_command_words[static_cast<size_t>(match.index)];
    if (command.rule_type == 0) {
        set_implicit(p, command, action_code);
        return 0;
    }
    return add_rule(p, command.rule_type, action_code);
}

// A read error fails the parse: the rules read so far are not the whole file.
int parse_file(std::FILE* fp, RuleParse& p) {
    for (;;) {
        LineRead read = read_text_line(fp, conf_line_buf, sizeof conf_line_buf);
        if (read == LineRead::end) break;
        if (read == LineRead::error) {
            report_file_message(FileMessage::not_read, p.line.file_name, p.line.line_no,
                                "cannot open %s\n", p.line.file_name);
            return -2;
        }
        if (int code = parse_line(p)) return code;
    }
    conf_record.rule_count = static_cast<uint16_t>(p.count);
    report_file_message(FileMessage::processed, p.line.file_name, p.line.line_no,
                        "Rules processed %d, implicit %d\n", p.count, p.implicit_lines);
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
        report_file_message(FileMessage::not_opened, rfp, 0, "cannot open %s%s\n", rfp,
                            text_file_error_note(errno));
        return -2;
    }
    conf_record.implicit_action = implicit_pass;
    conf_record.rule_count = 0;
    rules_processed = 0;
    rule_table = {};

    RuleParse p;
    p.line.file_name = rfp;
    int result = parse_file(fp, p);
    std::fclose(fp);
    return result;
}
