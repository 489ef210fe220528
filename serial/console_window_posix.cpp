#include "serial/console_window.h"

void set_up_console_window() {}

void restore_console_window() {}

bool input_is_console_window() { return false; }

long read_console_window_line(char*, std::size_t) { return -1; }
