#pragma once

#include "sim/options.h"
#include "sim/pty_line.h"

namespace sim {

// The device's console on its host port, until a stop is requested: it takes
// command lines and answers them, runs the loop test's echo, and hands the
// line to the download receiver or, after a reset, to the firmware loader.
void run_device_console(PtyLine& line, const Options& options);

}  // namespace sim
