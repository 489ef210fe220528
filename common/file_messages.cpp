#include "common/file_messages.h"

#include <algorithm>
#include <cerrno>
#include <cstdarg>
#include <cstdio>

namespace {

FileMessagePrinter printer = print_file_message;

}  // namespace

void print_file_message(const FileMessageText& message) {
    switch (message.kind) {
        case FileMessage::line_fault:
            std::printf("\a\aError: %s[%d]: ", message.file, static_cast<int>(message.line));
            break;
        case FileMessage::warning:
            std::printf("\a\aWarning: ");
            break;
        case FileMessage::not_opened:
        case FileMessage::not_read:
            std::printf("\a\aError: ");
            break;
        case FileMessage::cause:
        case FileMessage::processed:
            break;
    }
    std::fwrite(message.text, 1, message.length, stdout);
}

void set_file_message_printer(FileMessagePrinter chosen) {
    printer = chosen != nullptr ? chosen : print_file_message;
}

// The longest message holds a line (255 characters), a word of it and a few
// numbers: well inside the buffer.
void report_file_message_v(FileMessage kind, const char* file, int32_t line, const char* format,
                           va_list values) {
    int saved_errno = errno;
    char text[1024];
    int length = std::vsnprintf(text, sizeof text, format, values);
    std::size_t kept = length < 0 ? 0 : std::min(static_cast<std::size_t>(length), sizeof text - 1);
    errno = saved_errno;
    printer(FileMessageText{kind, file, line, text, kept});
}

void report_file_message(FileMessage kind, const char* file, int32_t line, const char* format,
                         ...) {
    va_list values;
    va_start(values, format);
    report_file_message_v(kind, file, line, format, values);
    va_end(values);
}
