#pragma once

#include <array>
#include <cstddef>
#include <cstdint>

// The CRC-16 of the download packets: generator polynomial 0x1021, most
// significant bit first. Entry i of the table is the remainder of i * x^16
// divided by the polynomial.
extern const std::array<uint16_t, 256> dwn_crc16_table;

// Feeds `count` bytes through the CRC register, starting from `reg`:
// reg = table[reg >> 8] ^ ((reg << 8) | byte). The register is not augmented
// here: a sender runs it over its packet with two zero bytes in place of the
// CRC, and a packet as sent, CRC included, yields 0 from 0xFFFF.
uint16_t dwn_crc16(uint16_t reg, const uint8_t* bytes, std::size_t count,
                   const std::array<uint16_t, 256>& table);
