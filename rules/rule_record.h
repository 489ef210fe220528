#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <cstring>

// One rule of the Rules file as the 28-byte little-endian image the download
// sends to the device. Bytes 0..23 are four 6-byte parameter slots; a float
// lies in the first 4 bytes of its slot, so floats sit at the unaligned
// offsets 0, 6, 12 and 18 and are only ever copied, never accessed in place.

#pragma pack(push, 1)
struct rule_record {
    uint8_t slot[4][6];
    char rule_type;  // '5' destin ... ';' digi
    uint8_t mods;    // action code ORed with the callsign flags
    int16_t line;    // line of the Rules file (low 16 bits)
};
#pragma pack(pop)

static_assert(sizeof(rule_record) == 28);
static_assert(offsetof(rule_record, rule_type) == 24);
static_assert(offsetof(rule_record, mods) == 25);
static_assert(offsetof(rule_record, line) == 26);

inline float slot_float(const rule_record& r, int slot) {
    float value;
    std::memcpy(&value, r.slot[slot], sizeof value);
    return value;
}

inline void set_slot_float(rule_record& r, int slot, float value) {
    std::memcpy(r.slot[slot], &value, sizeof value);
}

inline constexpr int rule_table_size = 30;

extern std::array<rule_record, rule_table_size> rule_table;
static_assert(sizeof(rule_table) == 840);

extern int32_t rules_processed;  // 1 once a Rules file parsed completely
