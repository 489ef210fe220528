#include "sim/wire.h"

#include <algorithm>

namespace sim {

namespace {

constexpr int64_t bits_per_frame = 10;
constexpr int stop_bit = 9;

// The level of the line in bit cell `cell` of a frame whose start bit is
// cell 0, counted in the sender's bit times; high outside the frame.
int level(uint8_t byte, int64_t cell) {
    if (cell == 0) return 0;
    if (cell < 1 || cell > 8) return 1;
    return (byte >> (cell - 1)) & 1;
}

}  // namespace

std::chrono::nanoseconds frame_time(int32_t rate) {
    return std::chrono::nanoseconds(bits_per_frame * 1'000'000'000 / rate);
}

wire_clock::time_point WireSchedule::send(wire_clock::time_point now, int32_t rate) {
    if (rate <= 0) return now;
    busy_until_ = std::max(now, busy_until_) + frame_time(rate);
    return busy_until_;
}

Misheard hear(uint8_t byte, int32_t sender_rate, int32_t receiver_rate) {
    // The receiver's sample i of a byte that starts at cell `fall` lies
    // (i + 1/2) of its bit times after the fall, which is
    // (2i + 1) * sender_rate / (2 * receiver_rate) of the sender's cells.
    const int64_t sender = sender_rate;
    const int64_t receiver = receiver_rate;
    auto sample = [&](int64_t fall, int i) { return fall + (2 * i + 1) * sender / (2 * receiver); };

    Misheard heard;
    int64_t hunt_from = 0;  // the first cell where a fall can start the next byte
    while (heard.count < static_cast<int>(heard.bytes.size())) {
        int64_t fall = hunt_from;
        while (fall <= stop_bit && !(level(byte, fall - 1) == 1 && level(byte, fall) == 0)) ++fall;
        if (fall > stop_bit) break;
        if (level(byte, sample(fall, 0)) != 0) {
            // The line is high again in the middle of the start bit: no byte.
            hunt_from = fall + 1;
            continue;
        }
        uint8_t value = 0;
        for (int bit = 1; bit <= 8; ++bit) {
            value |= static_cast<uint8_t>(level(byte, sample(fall, bit)) << (bit - 1));
        }
        heard.bytes[static_cast<size_t>(heard.count++)] = value;
        hunt_from = sample(fall, stop_bit) + 1;
    }
    return heard;
}

}  // namespace sim
