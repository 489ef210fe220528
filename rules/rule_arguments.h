#pragma once

#include <cstdint>

#include "common/file_messages.h"
#include "config/conf_record.h"
#include "rules/rule_record.h"

// The line of a Rules file being parsed, as the argument readers see it. The
// line itself is in conf_line_buf (cut into words in place) and, whole, in
// conf_line_copy.
struct RuleLine {
    const char* file_name = nullptr;
    int32_t line_no = 0;   // stops at INT32_MAX; a record keeps the low 16 bits
    int comment_pos = -1;  // index of the first '#', '/' or ';' in conf_line_buf, -1 for none
    char* rest = nullptr;  // the part of conf_line_buf not yet cut into words
};

// Reports the fault of the current line and gives back its code. `format` is
// the message after its "FILE[LINE]: " head and ends with "%s" for the line
// itself; `values` fill the conversions before it.
template <class... Values>
int line_error(const RuleLine& line, int code, const char* format, Values... values) {
    report_file_message(FileMessage::line_fault, line.file_name, line.line_no, format, values...,
                        conf_line_copy);
    return code;
}

// Reads the arguments of a rule of `rule_type` from the rest of the line into
// `r`, whose type, action and line are already set. Returns 0, or a negative
// code after the message of the first faulty argument.
int read_rule_arguments(RuleLine& line, char rule_type, rule_record& r);
