#pragma once

#include <cstdint>

namespace sim {

// The rates the device's host port can run at.
bool device_rate(int32_t rate);

// Sets the terminal `fd` raw, 8 data bits, no parity, 1 stop bit, no flow
// control, at `rate`. 0, or -1 with errno.
int set_raw_line(int fd, int32_t rate);

// The output rate the terminal `fd` is set to, or -1 with errno. On a pty
// master it is the rate the host at the slave end chose.
int32_t line_rate(int fd);

}  // namespace sim
