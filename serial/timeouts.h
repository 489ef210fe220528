#pragma once

#include <chrono>
#include <cstdint>

// The time-outs of the port, in milliseconds, with the meaning they have on
// the device's home platform: with no interval time-out, a read of `size`
// bytes ends at the latest after ReadTotalTimeoutConstant + size *
// ReadTotalTimeoutMultiplier, a write of `count` bytes after
// WriteTotalTimeoutConstant + count * WriteTotalTimeoutMultiplier.
struct comm_timeouts {
    uint32_t ReadIntervalTimeout;
    uint32_t ReadTotalTimeoutMultiplier;
    uint32_t ReadTotalTimeoutConstant;
    uint32_t WriteTotalTimeoutMultiplier;
    uint32_t WriteTotalTimeoutConstant;
};

// The standing set of a port at `baud` (> 0): the character time of 10 bits
// per byte for reads, twice it for writes, in whole milliseconds. The write
// multiplier is at least 1, so that from 38400 baud on a long write still gets
// 1 ms per byte and does not run out of its 10 ms while the bytes are still on
// the line.
comm_timeouts standing_timeouts(int32_t baud);

// The set of one read: the standing set with the read constant timeout_ms + 10
// (a negative timeout_ms counts as 0) and the read multiplier of `baud`.
comm_timeouts read_timeouts(const comm_timeouts& standing, int32_t baud, int timeout_ms);

// The longest a read of `size` bytes or a write of `count` bytes may take under
// `timeouts`, in milliseconds.
uint64_t read_time_limit(const comm_timeouts& timeouts, int size);
uint64_t write_time_limit(const comm_timeouts& timeouts, int count);

using port_clock = std::chrono::steady_clock;

// The point in time `limit_ms` after `start`.
port_clock::time_point deadline_after(port_clock::time_point start, uint64_t limit_ms);

// How long a wait that must not end before `deadline` may still sleep at
// `now`: whole milliseconds rounded up, 0 once the deadline has passed, at
// most INT32_MAX (the range of a poll time-out).
int wait_ms_until(port_clock::time_point now, port_clock::time_point deadline);
