#pragma once

namespace sim {

// What the simulator does goes to standard error, and only when logging is
// on (--verbose). Each call prints one line with the simulator's name first.
void set_logging(bool on);
bool logging();
void log_line(const char* format, ...) __attribute__((format(printf, 1, 2)));

}  // namespace sim
