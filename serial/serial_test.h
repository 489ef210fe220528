#pragma once

// The loop test of an open connection: "serialtest\n", the start answer, then
// the bytes 0x40..0x7E one at a time, each echoed, `iterations` times, then
// 0x03. `code` is the console's command code (44). Prints its outcome; a
// failure after the count was accepted ends the connection.
void serial_test(int code, const char* iterations);
