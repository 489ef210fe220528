#pragma once

#include <string>
#include <vector>

#include "serial/doctor.h"
#include "serial/machine_reader.h"

// The doctor's checks of a Linux machine. Each is a function of what the
// reader gives; each finding is one line.

// Every check of one port, in order: the port, access, a lock file, other
// processes, ModemManager, brltty, a login console, the Raspberry Pi's
// UARTs, the latency timer. A port that does not exist gets the first only.
std::vector<finding> port_findings(const machine_reader& reader, const std::string& path);

// The ports of the list, each device once, checked in the list's order.
std::vector<finding> machine_findings(const machine_reader& reader);
