#pragma once

#include <array>
#include <chrono>
#include <cstdint>

namespace sim {

// The timing and the bit patterns of bytes on a serial line at 8N1: every
// byte is a frame of 10 bits (a start bit, 8 data bits from the lowest, a stop
// bit), and the line rests high between frames.

using wire_clock = std::chrono::steady_clock;

// The time one frame takes at `rate` baud.
std::chrono::nanoseconds frame_time(int32_t rate);

// One direction of the line: a frame starts once the one before it has ended.
class WireSchedule {
  public:
    // When a byte handed to the line at `now` has arrived at the far end at
    // `rate`. A rate of 0 is a line without time: the byte arrives at `now`.
    wire_clock::time_point send(wire_clock::time_point now, int32_t rate);

  private:
    wire_clock::time_point busy_until_{};
};

// What a receiver at `receiver_rate` makes of one frame sent at `sender_rate`
// on an otherwise quiet line. It starts a byte at every fall of the line it is
// waiting for, samples each bit in the middle of where it expects the bit to
// be, and takes whatever it sampled, stop bit or not. At the sender's rate
// that is the byte itself; at another rate it is none, one or several other
// bytes, always the same ones for the same byte and rates.
struct Misheard {
    std::array<uint8_t, 5> bytes{};  // a frame has at most 5 falls of the line
    int count = 0;
};
Misheard hear(uint8_t byte, int32_t sender_rate, int32_t receiver_rate);

}  // namespace sim
