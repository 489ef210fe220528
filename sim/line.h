#pragma once

#include <cstddef>
#include <string_view>

namespace sim {

// The device's end of the serial line.
class Line {
public:
    static constexpr int timed_out = -1;  // read_byte: nothing arrived in time
    static constexpr int hung_up = -2;    // read_byte: the host closed its end

    virtual ~Line() = default;

    // The next received byte (0..255), timed_out when none arrives within
    // timeout_ms (a negative time-out waits without limit), or hung_up.
    virtual int read_byte(int timeout_ms) = 0;

    virtual void write(const void* bytes, std::size_t count) = 0;
    void write(std::string_view text) { write(text.data(), text.size()); }

    // Cuts the line for good, as a pulled cable or a device that loses power:
    // the host's reads fail from then on.
    virtual void cut_line() = 0;
};

}  // namespace sim
