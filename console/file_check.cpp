#include "console/file_check.h"

#include <cerrno>
#include <cstdio>
#include <cstring>

#include "common/file_messages.h"
#include "common/line_reader.h"
#include "config/conf_parser.h"
#include "config/conf_record.h"
#include "rules/rule_parser.h"

namespace {

bool quiet_check = false;

// The reason of a message is its text without the console's head; bells
// and "Error: " are the console's alone. The cause a helper gave for a
// refused value is left out: the fault of its line follows and names it.
void print_diagnostic(const FileMessageText& message) {
    switch (message.kind) {
        case FileMessage::line_fault:
            std::fprintf(stderr, "%s:%d: error: ", message.file, static_cast<int>(message.line));
            break;
        case FileMessage::warning:
            std::fprintf(stderr, "%s:%d: warning: ", message.file, static_cast<int>(message.line));
            break;
        case FileMessage::not_opened:
            std::fprintf(stderr, "%s: error: cannot open: %s\n", message.file,
                         text_file_error_text(errno));
            return;
        case FileMessage::not_read:
            std::fprintf(stderr, "%s: error: cannot read: %s\n", message.file,
                         std::strerror(errno));
            return;
        case FileMessage::processed:
            if (quiet_check) return;
            std::printf("%s: ", message.file);
            std::fwrite(message.text, 1, message.length, stdout);
            return;
        case FileMessage::cause:
            return;
    }
    std::fwrite(message.text, 1, message.length, stderr);
}

}  // namespace

int check_files(const FileToCheck* files, int count, bool quiet) {
    std::setvbuf(stdout, nullptr, _IONBF, 0);
    std::setvbuf(stderr, nullptr, _IONBF, 0);
    quiet_check = quiet;
    set_file_message_printer(print_diagnostic);
    conf_reset();
    int status = 0;
    for (int i = 0; i < count; ++i) {
        int result = files[i].rules ? rules_process(files[i].path) : conf_process(files[i].path);
        if (result != 0) status = 1;
    }
    set_file_message_printer(nullptr);
    return status;
}
