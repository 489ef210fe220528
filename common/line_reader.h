#pragma once

#include <cerrno>
#include <cstddef>
#include <cstdint>
#include <cstdio>

// Input files are read as text, piece by piece like fgets: at most size - 1
// characters, ending after the first line feed. A CR right before a line feed
// belongs to the line end and is dropped before the limit applies, so CR LF
// files read the same on every platform. A line longer than the limit comes in
// several pieces, and every piece counts as a line of its own.

enum class LineRead { line, end, error };

// Reads the next piece into buf (NUL-terminated, the line feed kept when it
// was reached). `end` at the end of the file with nothing read, `error` when
// the system reports a read error (a failure, never an end of file).
LineRead read_text_line(std::FILE* fp, char* buf, std::size_t size);

// Opens a text file for reading, past a UTF-8 byte-order mark at its start.
// A name that cannot be opened as written but is one pair of quotes around a
// file's name, blanks after it allowed, opens that file (unquoted_file_name);
// a refusal reports the errno of the name as written. A directory is refused like a missing file (on POSIX fopen succeeds on one
// and only the first read fails); a file that begins with a UTF-16
// byte-order mark is refused with errno utf16_text_error.
std::FILE* open_text_file(const char* path);

// The name inside one pair of double or single quotes, as a file manager
// hands a name over ("C:\My Files\site.cfg" from a copied path, a dropped
// file's 'name' with a blank after it): true and the name in `inner` when
// `name` is, apart from blanks and tabs after it, a quote, a name without
// that quote, and the same quote; false otherwise or when it does not fit.
bool unquoted_file_name(const char* name, char* inner, std::size_t size);

// What a text file begins with. An editor's UTF-8 byte-order mark (EF BB BF)
// is no part of the first line; the program does not read UTF-16 text (FF FE
// or FE FF first, as a Windows shell's redirection writes it).
enum class TextStart { text, utf16 };

// Reads past a UTF-8 byte-order mark at the start of fp, which must be at
// the start of its file; tells a UTF-16 one.
TextStart read_text_start(std::FILE* fp);

// Goes back to the start of an opened text file, past its byte-order mark.
void rewind_text_file(std::FILE* fp);

// The errno of open_text_file for a UTF-16 file.
inline constexpr int utf16_text_error = EILSEQ;

// Why a text file could not be opened, for a diagnostic: the system's
// reason, or that the file is UTF-16.
const char* text_file_error_text(int error);

// What the console's "cannot open FILE" adds: nothing for the system's
// reasons, as it always read, and for a UTF-16 file that it is one.
const char* text_file_error_note(int error);

// Removes one trailing line feed, if any. Returns the length that remains.
std::size_t strip_line_feed(char* line);

// Counts one more line read into *line_no. The count stops at INT32_MAX: an
// endless input such as /dev/zero cannot make a line number wrap negative.
void count_line(int32_t* line_no);
