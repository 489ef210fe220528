#include "config/conf_parser.h"

#include <cstdio>
#include <cstring>

#include "common/file_messages.h"
#include "common/line_reader.h"
#include "common/prefix_match.h"
#include "common/tokenizer.h"
#include "config/conf_keywords.h"
#include "config/conf_record.h"

namespace {

// Every parse describes the whole configuration from the defaults; only the
// two fields the Rules file sets carry over.
void start_parse() {
    uint16_t rule_count = conf_record.rule_count;
    uint16_t implicit_action = conf_record.implicit_action;
    conf_line_no = 0;
    comment_pos = -1;
    conf_reset();
    digipath_count = 0;
    conf_record.rule_count = rule_count;
    conf_record.implicit_action = implicit_action == implicit_drop ? implicit_drop : implicit_pass;
}

bool is_comment_char(char c) { return c == '#' || c == '/' || c == ';'; }

// Handles the line in conf_line_buf. Counts a line whose keyword is known in
// *items. 0, or a negative code after the line's message.
int process_line(int* items) {
    strip_line_feed(conf_line_buf);
    std::memcpy(conf_line_copy, conf_line_buf, sizeof conf_line_copy);
    count_line(&conf_line_no);
    std::size_t comment = std::strcspn(conf_line_buf, "#/;");
    comment_pos = conf_line_buf[comment] != '\0' ? static_cast<int>(comment) : -1;

    char* rest;
    char* word = next_token(conf_line_buf, " \t,", &rest);
    if (word == nullptr || is_comment_char(word[0])) return 0;

    PrefixMatch match = match_prefix(word, conf_keywords);
    if (match.result == Match::several) {
        conf_line_fault("Ambiguous command: %s: %s\n", word, conf_line_copy);
        return -7;
    }
    if (match.result == Match::none) {
        conf_line_fault("command %s invalid: %s\n", word, conf_line_copy);
        return -7;
    }
    ++*items;
    conf_handler handler = conf_keywords[match.index].handler;
    if (handler == nullptr) {
        std::printf("\a\aError: internal processing error 2: %s[%d]: %s\n", conf_file_name,
                    static_cast<int>(conf_line_no), conf_line_copy);
        return -70;
    }
    return handler(rest);
}

}  // namespace

int conf_process(const char* path) {
    if (path == nullptr) {
        std::printf("conf_process: Error: param conf_fp is invalid\n");
        return -1;
    }
    conf_file_name = path;
    std::FILE* fp = open_text_file(path);
    if (fp == nullptr) {
        report_file_message(FileMessage::not_opened, path, 0, "cannot open %s%s\n", path,
                            text_file_error_note(errno));
        return -2;
    }
    start_parse();

    int items = 0;
    int result = 0;
    for (;;) {
        LineRead read = read_text_line(fp, conf_line_buf, sizeof conf_line_buf);
        if (read == LineRead::end) break;
        if (read == LineRead::error) {
            // A file that cannot be read to its end was not processed.
            report_file_message(FileMessage::not_read, path, conf_line_no, "cannot open %s\n",
                                path);
            result = -2;
            break;
        }
        result = process_line(&items);
        if (result != 0) break;
    }
    std::fclose(fp);
    if (result != 0) return result;

    report_file_message(FileMessage::processed, path, conf_line_no,
                        "Configuration items processed %d\n", items);
    conf_processed = 1;
    return 0;
}
