#include "console/file_check.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <string_view>

#include "common/file_messages.h"
#include "common/line_reader.h"
#include "config/conf_parser.h"
#include "config/conf_record.h"
#include "rules/rule_parser.h"

namespace {

bool quiet_check = false;

// The causes that helpers gave for a refused value since the last message of
// a line: each is printed as a note of the fault (or warning) that follows.
char causes[2048];
std::size_t causes_length = 0;

// A cause without the console's head: its bells and "Error: ".
void keep_cause(const FileMessageText& message) {
    std::string_view cause(message.text, message.length);
    while (!cause.empty() && cause.front() == '\a') cause.remove_prefix(1);
    constexpr std::string_view head = "Error: ";
    if (cause.substr(0, head.size()) == head) cause.remove_prefix(head.size());
    if (cause.size() + 1 > sizeof causes - causes_length) return;
    std::memcpy(causes + causes_length, cause.data(), cause.size());
    causes_length += cause.size();
    causes[causes_length++] = '\0';
}

void print_causes(const FileMessageText& message) {
    for (std::size_t at = 0; at < causes_length; at += std::strlen(causes + at) + 1) {
        std::fprintf(stderr, "%s:%d: note: %s", message.file, static_cast<int>(message.line),
                     causes + at);
    }
    causes_length = 0;
}

// What a message of a line is called; nullptr for the others.
const char* line_diagnostic(FileMessage kind) {
    if (kind == FileMessage::line_fault) return "error";
    if (kind == FileMessage::warning) return "warning";
    return nullptr;
}

// The reason of a message is its text without the console's head; bells
// and "Error: " are the console's alone. A cause that a helper gave for a
// refused value follows the fault of its line as a note.
void print_diagnostic(const FileMessageText& message) {
    if (message.kind == FileMessage::cause) {
        keep_cause(message);
        return;
    }
    if (const char* label = line_diagnostic(message.kind)) {
        std::fprintf(stderr, "%s:%d: %s: ", message.file, static_cast<int>(message.line), label);
        std::fwrite(message.text, 1, message.length, stderr);
        print_causes(message);
        return;
    }
    causes_length = 0;
    if (message.kind == FileMessage::processed) {
        if (quiet_check) return;
        std::printf("%s: ", message.file);
        std::fwrite(message.text, 1, message.length, stdout);
        return;
    }
    const bool opened = message.kind == FileMessage::not_read;
    std::fprintf(stderr, "%s: error: cannot %s: %s\n", message.file, opened ? "read" : "open",
                 opened ? std::strerror(errno) : text_file_error_text(errno));
}

}  // namespace

int check_files(const FileToCheck* files, int count, bool quiet) {
    std::setvbuf(stdout, nullptr, _IONBF, 0);
    std::setvbuf(stderr, nullptr, _IONBF, 0);
    quiet_check = quiet;
    causes_length = 0;
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
