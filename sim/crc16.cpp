#include "sim/crc16.h"

namespace sim {

namespace {
constexpr uint16_t polynomial = 0x1021;
}

// Shifts the message into the register one bit at a time, as the long
// division by the polynomial does. Written from the polynomial rather than
// from a table, so that a fault in the host's table cannot hide in both ends.
uint16_t crc16_feed(uint16_t crc, const uint8_t* bytes, std::size_t count) {
    for (std::size_t i = 0; i < count; ++i) {
        for (int bit = 7; bit >= 0; --bit) {
            bool carry = (crc & 0x8000) != 0;
            crc = static_cast<uint16_t>(crc << 1 | (bytes[i] >> bit & 1));
            if (carry) crc ^= polynomial;
        }
    }
    return crc;
}

}  // namespace sim
