#pragma once

// What the program needs of the operating system besides the port itself,
// implemented next to the port layer of each platform.

// The system error code of the last failing port call (errno on POSIX,
// GetLastError on Windows).
int last_system_error();

// The system's message text for last_system_error(), without a trailing line
// end. The text lives until the next call.
const char* system_error_text();

// Pauses the process.
void sleep_ms(unsigned milliseconds);

// Ends the process at once after a fatal error, with the status 134 that no
// other outcome has: the port released, without the C runtime's message or a
// crash dialog. On POSIX by the abort signal (status 134 in the shell), on
// Windows with exit code 134.
[[noreturn]] void end_abnormally();
