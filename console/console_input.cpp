#include "console/console_input.h"

namespace {

std::FILE* console_in = nullptr;
bool input_ended = false;

}  // namespace

void set_console_input(std::FILE* in) {
    console_in = in;
    input_ended = false;
}

ConsoleRead read_console_line(const char* prompt, char* buf, std::size_t size) {
    std::fputs(prompt, stdout);
    if (console_in == nullptr) console_in = stdin;
    if (input_ended) return ConsoleRead::end;

    std::size_t stored = 0;
    std::size_t length = 0;
    bool pending_cr = false;  // a CR is kept only if no line feed follows it
    int c;
    while ((c = std::getc(console_in)) != EOF && c != '\n') {
        if (pending_cr) {
            if (stored + 1 < size) buf[stored++] = '\r';
            ++length;
        }
        pending_cr = (c == '\r');
        if (pending_cr) continue;
        if (stored + 1 < size) buf[stored++] = static_cast<char>(c);
        ++length;
    }
    if (c == EOF) {
        input_ended = true;
        if (pending_cr) {
            if (stored + 1 < size) buf[stored++] = '\r';
            ++length;
        }
        if (length == 0) {
            if (size > 0) buf[0] = '\0';
            return ConsoleRead::end;
        }
    }
    if (size > 0) buf[stored] = '\0';
    return length + 1 > size ? ConsoleRead::too_long : ConsoleRead::line;
}
