#include "transfer/crc16.h"

namespace {

constexpr uint16_t polynomial = 0x1021;

constexpr std::array<uint16_t, 256> make_table() {
    std::array<uint16_t, 256> table{};
    for (unsigned i = 0; i < table.size(); ++i) {
        unsigned remainder = i << 8;
        for (int bit = 0; bit < 8; ++bit) {
            remainder = (remainder & 0x8000) ? (remainder << 1) ^ polynomial : remainder << 1;
        }
        table[i] = static_cast<uint16_t>(remainder);
    }
    return table;
}

}  // namespace

constinit const std::array<uint16_t, 256> dwn_crc16_table = make_table();

static_assert(make_table()[1] == 0x1021);
static_assert(make_table()[2] == 0x2042);
static_assert(make_table()[255] == 0x1EF0);

uint16_t dwn_crc16(uint16_t reg, const uint8_t* bytes, std::size_t count,
                   const std::array<uint16_t, 256>& table) {
    for (std::size_t i = 0; i < count; ++i) {
        reg = static_cast<uint16_t>(table[reg >> 8] ^ ((reg << 8) | bytes[i]));
    }
    return reg;
}
