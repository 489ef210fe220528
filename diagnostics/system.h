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
