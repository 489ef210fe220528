#pragma once

#include <cstdio>

namespace sim {

// What the simulator does goes to standard error, and only when logging is
// on (--verbose). Each call prints one line with the simulator's name first.
void set_logging(bool on);
bool logging();
void log_line(const char* format, ...) __attribute__((format(printf, 1, 2)));

// A departure of the host from the wire grammar: logged like any line,
// counted, and kept for the report at the end (--strict). The text names the
// packet or record and the rule broken.
void violation(const char* format, ...) __attribute__((format(printf, 1, 2)));
int violation_count();
// Prints the count and every kept violation on `stream`; nothing when none.
void print_violations(std::FILE* stream);
void forget_violations();

}  // namespace sim
