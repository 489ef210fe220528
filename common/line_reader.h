#pragma once

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

// Opens a text file for reading. A directory is refused like a missing file
// (on POSIX fopen succeeds on one and only the first read fails).
std::FILE* open_text_file(const char* path);

// Removes one trailing line feed, if any. Returns the length that remains.
std::size_t strip_line_feed(char* line);

// Counts one more line read into *line_no. The count stops at INT32_MAX: an
// endless input such as /dev/zero cannot make a line number wrap negative.
void count_line(int32_t* line_no);
