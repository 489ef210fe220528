#include "sim/log.h"

#include <cstdarg>
#include <cstdio>

namespace sim {

namespace {
bool log_on = false;
}

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

}  // namespace sim
