#include "serial/timeouts.h"

#include <algorithm>

namespace {

uint64_t clamp_count(int count) {
    return count > 0 ? static_cast<uint64_t>(count) : 0;
}

}  // namespace

comm_timeouts standing_timeouts(int32_t baud) {
    const uint32_t rate = static_cast<uint32_t>(baud);
    return comm_timeouts{
        0, 10000 / rate, 1, std::max(20000 / rate, 1u), 10,
    };
}

comm_timeouts read_timeouts(const comm_timeouts& standing, int32_t baud, int timeout_ms) {
    comm_timeouts timeouts = standing;
    timeouts.ReadTotalTimeoutMultiplier = 10000 / static_cast<uint32_t>(baud);
    timeouts.ReadTotalTimeoutConstant = static_cast<uint32_t>(std::max(timeout_ms, 0)) + 10;
    return timeouts;
}

uint64_t read_time_limit(const comm_timeouts& timeouts, int size) {
    return timeouts.ReadTotalTimeoutConstant +
           clamp_count(size) * timeouts.ReadTotalTimeoutMultiplier;
}

uint64_t write_time_limit(const comm_timeouts& timeouts, int count) {
    return timeouts.WriteTotalTimeoutConstant +
           clamp_count(count) * timeouts.WriteTotalTimeoutMultiplier;
}

port_clock::time_point deadline_after(port_clock::time_point start, uint64_t limit_ms) {
    return start + std::chrono::milliseconds(static_cast<int64_t>(limit_ms));
}

int wait_ms_until(port_clock::time_point now, port_clock::time_point deadline) {
    if (deadline <= now) return 0;
    auto left = std::chrono::ceil<std::chrono::milliseconds>(deadline - now).count();
    return static_cast<int>(std::min<int64_t>(left, INT32_MAX));
}
