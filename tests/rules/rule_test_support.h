#pragma once

#include <string>

#include "rules/rule_record.h"

// What one rules_process call returned and printed.
struct ParseRun {
    int code;
    std::string out;
};

// The path of a file under tests/rules/files/.
std::string rules_file(const char* name);

// The whole text of a file under tests/rules/files/.
std::string rules_file_text(const char* name);

// Parses the file at `path`, capturing standard output.
ParseRun parse_rules_file(const std::string& path);

// Writes `text` as the Rules file "case.rul" in a scratch folder and parses
// it; in the output the file is named "case.rul", as the messages show it.
ParseRun parse_rules_text(const std::string& text);

// The 28 bytes of a record as hexadecimal pairs: "57 49 44 ... 00".
std::string record_hex(const rule_record& r);

// The state right after start-up: no rules, implicit action 0.
void reset_rule_state();
