#pragma once

#include <cstdint>

// The console's command code of "serialtest", which serial_test checks.
inline constexpr int serialtest_code = 44;

// The loop test of an open connection: "serialtest\n", the start answer, then
// the bytes 0x40..0x7E one at a time, each echoed, `iterations` times, then
// 0x03. `code` is the console's command code (44). Prints its outcome; a
// failure after the count was accepted ends the connection. 0 when the test
// passed, else -1 wrong code, -2 invalid count, -3 the test failed, -4 its
// end not written.
int serial_test(int code, const char* iterations);

// The iterations `first` to `last` of a started test (serial_test runs 1 to
// the count), each printing its "." once all its echoes came back. False
// after the failure's message.
bool run_iterations(int64_t first, int32_t last);
