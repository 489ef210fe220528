#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <cstring>

// One rule of the Rules file as the 28-byte little-endian image the download
// sends to the device. Bytes 0..23 are four 6-byte parameter slots; a float
// lies in the first 4 bytes of its slot, so floats sit at the unaligned
// offsets 0, 6, 12 and 18 and are only ever copied, never accessed in place.
// Every byte a rule type does not use is 0.
//
//   type           slot 0            slot 1         slot 2              slot 3
//   '5' destin     call (6 chars)    byte: ssid     -                   -
//   '6' source     call              byte: ssid     -                   -
//   ';' digi       call (upper case) byte: ssid     byte: match index   -
//   '7' circle     radius            lat            lon                 -
//   '8' compass    byte: direction   lat            lon                 -
//   '9' rectangle  lat1              lon1           lat2                lon2
//   ':' sector     angle1            angle2         inner range         outer range (0 = none)
//
// A callsign of 6 characters fills slot 0 and has no terminator.

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

// The rule types, as the device knows them.
inline constexpr char rule_destin = '5';
inline constexpr char rule_source = '6';
inline constexpr char rule_circle = '7';
inline constexpr char rule_compass = '8';
inline constexpr char rule_rectangle = '9';
inline constexpr char rule_sector = ':';
inline constexpr char rule_digi = ';';

// The mods byte: the action code in the low nibble, the callsign flags above.
// "implicit" as the action word of a rule gives 0x10, the same bit as a
// callsign prefix; the two are simply ORed.
inline constexpr uint8_t action_drop = 0x04;
inline constexpr uint8_t action_pass = 0x08;
inline constexpr uint8_t action_implicit = 0x10;
inline constexpr uint8_t action_mask = 0x0F;
inline constexpr uint8_t mods_call_prefix = 0x10;   // "AB*": the call holds the prefix
inline constexpr uint8_t mods_any_call = 0x30;      // "*": any callsign, the call is all zero
inline constexpr uint8_t mods_any_call_bit = 0x20;  // the bit only "*" sets
inline constexpr uint8_t mods_ssid = 0x40;          // "-n" was written: slot 1 holds n

inline constexpr int rule_table_size = 30;

extern std::array<rule_record, rule_table_size> rule_table;
static_assert(sizeof(rule_table) == 840);

extern int32_t rules_processed;  // 1 once a Rules file parsed completely

// Looks for a record equal to *rep among the first `count` slots of
// rule_table (mods, rule type and the 24 parameter bytes; the line is not
// compared). `rep` may itself be slot `count`.
//
// Returns 1 when one is found, storing its slot index in *dupe_slot (when
// dupe_slot is not null); 0 when none is; -1 after a message when rep is
// null. The finding is reported apart from any line number: the record keeps
// only the low 16 bits of its line, which may be 0 or negative, and the caller
// names the earlier line from its own count. A count beyond the table
// searches the whole table.
int check_rule_dupe(int count, const rule_record* rep, int* dupe_slot);
