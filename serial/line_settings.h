#pragma once

#include <cstdint>

// The line settings of a terminal device: on Linux through the classic
// termios calls for the rates that have a speed code, through termios2, the
// one interface that sets any rate, for the others (14400 and 56000 have no
// code). Each function returns 0, or -1 with errno set by the failing call.

// Reads the settings of the terminal `fd` into the kept settings of the port.
int read_line_settings(int fd);

// Changes the kept settings to raw 8 data bits, no parity, 1 stop bit at
// `baud`, no flow control of either kind, receiver on, modem lines ignored and
// left alone on close; writes them to `fd` and reads them back to check that
// the terminal took them (errno EINVAL when it did not).
int write_line_settings(int fd, int32_t baud);

// Keeps the settings the terminal `fd` has before the program changes them,
// and writes them back. The writing back makes only calls that are safe in a
// signal handler.
int keep_original_line_settings(int fd);
int restore_original_line_settings(int fd);

// The rate of the kept settings.
int32_t line_settings_baud();

// The output rate a terminal is set to, or -1 with errno. On a pty master it is
// the rate the program at the slave end chose.
int32_t terminal_rate(int fd);
