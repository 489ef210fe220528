#include "sim/log.h"

#include <cstdarg>

namespace sim {

namespace {

bool log_on = false;

// The first violations are kept word for word; the rest are only counted.
constexpr int kept_violations = 100;
constexpr int violation_text = 200;
char violations[kept_violations][violation_text];
int violations_seen = 0;
int line_departures = 0;

// The faults the line injected so far, and their count at the ends of the
// last two exchanges.
unsigned long long faults_injected = 0;
unsigned long long faults_at_last_end = 0;
unsigned long long faults_at_end_before = 0;

}  // namespace

void set_logging(bool on) {
    log_on = on;
}

bool logging() {
    return log_on;
}

void log_line(const char* format, ...) {
    if (!log_on) return;
    char text[512];
    va_list args;
    va_start(args, format);
    std::vsnprintf(text, sizeof text, format, args);
    va_end(args);
    std::fprintf(stderr, "vestrimond-sim: %s\n", text);
}

void violation(const char* format, ...) {
    char text[violation_text];
    va_list args;
    va_start(args, format);
    std::vsnprintf(text, sizeof text, format, args);
    va_end(args);
    if (faults_injected != faults_at_end_before) {
        log_line("departure after a fault of the line: %s", text);
        ++line_departures;
        return;
    }
    log_line("violation: %s", text);
    if (violations_seen < kept_violations) {
        std::snprintf(violations[violations_seen], violation_text, "%s", text);
    }
    ++violations_seen;
}

int violation_count() {
    return violations_seen;
}

void print_violations(std::FILE* stream) {
    if (violations_seen == 0) return;
    std::fprintf(stream, "vestrimond-sim: %d protocol violation%s by the host:\n", violations_seen,
                 violations_seen == 1 ? "" : "s");
    int shown = violations_seen < kept_violations ? violations_seen : kept_violations;
    for (int i = 0; i < shown; ++i) std::fprintf(stream, "  %s\n", violations[i]);
    if (shown < violations_seen) {
        std::fprintf(stream, "  ... and %d more\n", violations_seen - shown);
    }
}

void line_fault() {
    ++faults_injected;
}

void exchange_ended() {
    faults_at_end_before = faults_at_last_end;
    faults_at_last_end = faults_injected;
}

int line_departure_count() {
    return line_departures;
}

void forget_violations() {
    violations_seen = 0;
    line_departures = 0;
    faults_injected = faults_at_last_end = faults_at_end_before = 0;
}

}  // namespace sim
