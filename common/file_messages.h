#pragma once

#include <cstdarg>
#include <cstddef>
#include <cstdint>

// The messages of the file parsers, and of the helpers they call, all go
// through report_file_message. The console prints each one as it has always
// read; a file check (--check-config, --check-rules) sets a printer of its
// own that makes "FILE:LINE: error: REASON" diagnostics of the same messages.

enum class FileMessage {
    line_fault,  // a faulty line; the parse stops
    warning,     // the parse goes on
    cause,       // why a helper refused a value; the fault of its line follows
    not_opened,  // the file cannot be opened; errno tells why
    not_read,    // a read of the file failed; errno tells why
    processed,   // the summary line of a parse that succeeded
};

// One message: `text` is what follows the head that the printer gives it
// ("\a\aError: FILE[LINE]: " in the console), with its line end. A cause is
// whole, head included, and has no place.
struct FileMessageText {
    FileMessage kind;
    const char* file;  // the file as it was named to the parser
    int32_t line;      // the line counted by the parser, 0 when none
    const char* text;
    std::size_t length;  // of the text, which may hold a NUL a "%c" printed
};

using FileMessagePrinter = void (*)(const FileMessageText& message);

// The console's printer, the one in use until another is set:
//   line_fault  "\a\aError: %s[%d]: " and the text
//   warning     "\a\aWarning: " and the text
//   not_opened, not_read  "\a\aError: " and the text ("cannot open FILE\n")
//   cause, processed  the text as it is
void print_file_message(const FileMessageText& message);

// Sets the printer of every later message; nullptr sets the console's back.
void set_file_message_printer(FileMessagePrinter printer);

// Formats the text (a constant format of the system's messages) and gives it
// to the printer, errno as it was at the call.
[[gnu::format(printf, 4, 5)]] void report_file_message(FileMessage kind, const char* file,
                                                       int32_t line, const char* format, ...);

void report_file_message_v(FileMessage kind, const char* file, int32_t line, const char* format,
                           va_list values);
