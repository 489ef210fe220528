#pragma once

// Reports an unrecoverable system failure on standard error: the message, then
// the code and the system error code. With a non-zero code the process pauses
// 5 seconds and ends abnormally (end_abnormally: status 134); with 0 it
// returns.
void fatal_exit(int code, const char* message);
