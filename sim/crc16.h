#pragma once

#include <cstddef>
#include <cstdint>

namespace sim {

// The download packets' CRC-16: polynomial 0x1021, most significant bit
// first, register started at 0xFFFF, message followed by two zero bytes (the
// sender zeroes the CRC field before computing it). Fed a whole packet as it
// arrived, CRC field included, the register ends at 0 when the packet is
// intact.
uint16_t crc16_feed(uint16_t crc, const uint8_t* bytes, std::size_t count);

}  // namespace sim
