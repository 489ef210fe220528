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

// A fault that the line injects (--noise, --drop) can make the host depart
// from the grammar through no fault of its own: a record or packet damaged on
// its way, a rejected record that cannot be compared with its resend, an
// answer the host heard damaged. The line reports every fault it injects; the
// device marks the end of every exchange (its answer to a record, a packet, a
// console line). A departure in an exchange that a fault touched, or in the
// one after it, is the line's: it is logged and counted apart, and
// violation_count() leaves it out.
void line_fault();
void exchange_ended();
int line_departure_count();
// Prints the count and every kept violation on `stream`; nothing when none.
void print_violations(std::FILE* stream);
// Forgets the violations, the line's departures and its faults so far.
void forget_violations();

}  // namespace sim
