#include "console/batch.h"

#include <cerrno>
#include <cstdio>
#include <cstring>

#include "common/line_reader.h"
#include "common/tokenizer.h"
#include "console/command_loop.h"
#include "console/console_input.h"

namespace {

constexpr char blanks[] = " \t";

// The next command into cmd_line: a line of the file, or the next -c
// command. False when there are no more, or when the file could not be read
// (*read_failed, errno set).
bool next_command(const BatchCommands& batch, int index, bool* too_long, bool* read_failed) {
    if (batch.file == nullptr) {
        if (index >= batch.command_count) return false;
        const char* command = batch.commands[index];
        *too_long = std::strlen(command) >= sizeof cmd_line;
        std::snprintf(cmd_line, sizeof cmd_line, "%s", command);
        return true;
    }
    ConsoleRead read = read_console_line("", cmd_line, sizeof cmd_line);
    *too_long = read == ConsoleRead::too_long;
    *read_failed = read == ConsoleRead::error;
    return read != ConsoleRead::end && read != ConsoleRead::error;
}

}  // namespace

int run_batch(const BatchCommands& batch) {
    std::FILE* file = nullptr;
    if (batch.file != nullptr) {
        file = std::strcmp(batch.file, "-") == 0 ? stdin : open_text_file(batch.file);
        if (file == stdin && read_text_start(stdin) == TextStart::utf16) {
            file = nullptr;
            errno = utf16_text_error;
        }
        if (file == nullptr) {
            std::fprintf(stderr, "vestrimond: %s: cannot open: %s\n", batch.file,
                         text_file_error_text(errno));
            return 1;
        }
        set_console_input(file);
    }
    console_start();
    answer_questions(batch.yes ? "y" : "n");

    const char* where = batch.file != nullptr ? batch.file : "-c";
    char line_read[sizeof cmd_line];  // of a file: the part of a long line that was kept
    bool too_long = false;
    bool read_failed = false;
    for (int index = 0; next_command(batch, index, &too_long, &read_failed); ++index) {
        char* start = skip_delimiters(cmd_line, blanks);
        if (*start == '\0' || *start == '#') continue;
        std::memcpy(line_read, cmd_line, sizeof line_read);
        const char* as_read = batch.file != nullptr ? line_read : batch.commands[index];
        std::printf("Command> %s\n", as_read);

        bool may_fail = *start == '-';
        if (may_fail) std::memmove(cmd_line, start + 1, std::strlen(start + 1) + 1);
        CommandResult result = too_long ? refuse_long_line() : run_command_line();
        if (result == CommandResult::exit) return 0;
        if (result == CommandResult::failed && !may_fail) {
            std::fprintf(stderr, "vestrimond: %s:%d: command failed: %s\n", where, index + 1,
                         as_read);
            return 3;
        }
    }
    if (read_failed) {
        std::fprintf(stderr, "vestrimond: %s: cannot read: %s\n", batch.file, std::strerror(errno));
        return 1;
    }
    return 0;
}
