#pragma once

#include <cstddef>
#include <cstdio>

// Lines typed at the console: command lines, the answers to the confirmation
// questions and the Enter wait of the firmware update all come through here.

enum class ConsoleRead {
    line,      // a whole line, its line feed (and a CR before it) removed
    too_long,  // the line did not fit: buf holds its start, the rest was read and dropped
    end,       // end of input
    error,     // the input could not be read (errno tells why): what was read of
               // the line is dropped, and the input counts as ended
};

// Prints `prompt` (no line end added) and reads one whole line into buf, at
// most size - 1 characters. The whole line is always consumed, so a long
// answer never leaves text behind to be read as the next command. Once the
// input has ended, every later call returns `end` at once. At a terminal the
// line can be edited, and with `remember` it joins the history of this run.
ConsoleRead read_console_line(const char* prompt, char* buf, std::size_t size,
                              bool remember = false);

// Reads the console from `in` instead of standard input (tests, fuzzing);
// also forgets an earlier end of input.
void set_console_input(std::FILE* in);
