#pragma once

#include <cstddef>

// The console window of the Windows program. The program's text is UTF-8
// throughout (its manifest makes UTF-8 the process's code page); the console
// window is made to show and to hand over UTF-8 too. POSIX terminals take the
// bytes as they are: there these do nothing.

// Sets the console window's output and input code pages to UTF-8; the code
// pages it had come back when the program ends. On Windows, Ctrl+C, Ctrl+Break
// and the closing of the window then end the program with status 130, the
// port released (POSIX: the port layer releases it at SIGINT, SIGTERM...).
void set_up_console_window();

// Gives the console window the code pages it had before; an end that passes
// by the C runtime's exit calls it itself.
void restore_console_window();

// Status of the end at Ctrl+C on Windows; on POSIX the shell shows 128 + SIGINT.
inline constexpr int interrupted_status = 130;

// True when standard input is a console window (not a file, not a pipe).
bool input_is_console_window();

// Reads one line typed at the console window, as UTF-8 without its line end,
// into buf (NUL-terminated, cut to size - 1 bytes): the line's whole length,
// or -1 at the end of input (Ctrl+Z at the start of a line) or on a failure.
long read_console_window_line(char* buf, std::size_t size);
