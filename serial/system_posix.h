#pragma once

// Captures errno right after a failing system call of the port layer, so that
// messages and fatal_exit report the cause and not a later call's errno.
void remember_system_error();
