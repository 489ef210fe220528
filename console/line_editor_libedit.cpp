#include <editline/readline.h>
#include <unistd.h>

#include <cstdlib>
#include <cstring>

#include "console/line_editor.h"

bool line_editor_available() { return isatty(STDIN_FILENO) != 0; }

long line_editor_read(const char* prompt, char* buf, std::size_t size) {
    char* line = readline(prompt);
    if (line == nullptr) return -1;
    std::size_t length = std::strlen(line);
    std::size_t kept = length < size ? length : size - 1;
    std::memcpy(buf, line, kept);
    buf[kept] = '\0';
    std::free(line);
    return static_cast<long>(length);
}

void line_editor_remember(const char* line) { add_history(line); }
