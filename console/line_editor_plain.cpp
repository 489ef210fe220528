#include <cstdio>

#include "console/line_editor.h"
#include "serial/console_window.h"

// Where no line editor is built in, the console reads its input directly. On
// Windows the console window itself gives every line editing and a history,
// and a line typed there is read as the window hands it over, so that every
// character comes in UTF-8.
bool line_editor_available() { return input_is_console_window(); }

long line_editor_read(const char* prompt, char* buf, std::size_t size) {
    std::fputs(prompt, stdout);
    std::fflush(stdout);
    return read_console_window_line(buf, size);
}

void line_editor_remember(const char*) {}
