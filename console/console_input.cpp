#include "console/console_input.h"

#include <cstring>

#include "console/line_editor.h"

namespace {

std::FILE* console_in = nullptr;
bool input_ended = false;

}  // namespace

void set_console_input(std::FILE* in) {
    console_in = in;
    input_ended = false;
}

namespace {

// A terminal: the editor shows the last line of the prompt and reads the line.
ConsoleRead read_edited_line(const char* prompt, char* buf, std::size_t size, bool remember) {
    const char* last_line = std::strrchr(prompt, '\n');
    if (last_line != nullptr) {
        ++last_line;
        std::fwrite(prompt, 1, static_cast<std::size_t>(last_line - prompt), stdout);
        prompt = last_line;
    }
    long length = line_editor_read(prompt, buf, size);
    if (length < 0) {
        input_ended = true;
        return ConsoleRead::end;
    }
    if (remember && length > 0) line_editor_remember(buf);
    return static_cast<std::size_t>(length) + 1 > size ? ConsoleRead::too_long : ConsoleRead::line;
}

}  // namespace

ConsoleRead read_console_line(const char* prompt, char* buf, std::size_t size, bool remember) {
    if (console_in == nullptr) console_in = stdin;
    if (!input_ended && console_in == stdin && line_editor_available()) {
        return read_edited_line(prompt, buf, size, remember);
    }
    std::fputs(prompt, stdout);
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
        // A line cut short by a failing read ("connect 12" read as "connect 1")
        // is not a line.
        if (std::ferror(console_in)) {
            if (size > 0) buf[0] = '\0';
            return ConsoleRead::error;
        }
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
