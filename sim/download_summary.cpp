#include "sim/download_summary.h"

#include <cstdio>
#include <cstring>

namespace sim {

namespace {

constexpr std::size_t conf_size = 904;
constexpr std::size_t rule_size = 28;
constexpr std::size_t max_rules = 30;

uint16_t u16_at(const uint8_t* bytes) {
    return static_cast<uint16_t>(bytes[0] | bytes[1] << 8);
}

uint32_t u32_at(const uint8_t* bytes) {
    return static_cast<uint32_t>(bytes[0]) | static_cast<uint32_t>(bytes[1]) << 8 |
           static_cast<uint32_t>(bytes[2]) << 16 | static_cast<uint32_t>(bytes[3]) << 24;
}

float f32_at(const uint8_t* bytes) {
    uint32_t bits = u32_at(bytes);
    float value;
    std::memcpy(&value, &bits, sizeof value);
    return value;
}

// A text field of `width` bytes in quotes: up to its first NUL, or all of it
// when it holds none.
void print_text(const uint8_t* field, std::size_t width) {
    std::putchar('"');
    for (std::size_t i = 0; i < width && field[i] != 0; ++i) {
        if (field[i] >= 0x20 && field[i] < 0x7F && field[i] != '"' && field[i] != '\\') {
            std::putchar(field[i]);
        } else {
            std::printf("\\x%02X", field[i]);
        }
    }
    std::putchar('"');
}

enum class Kind { u32, i32, f32, u16, hex16, text };

struct Field {
    const char* name;
    std::size_t offset;
    Kind kind;
    std::size_t width;  // of a text field
};

// The configuration record's fields up to the path-edit tables, in order.
const Field conf_fields[] = {
    {"host_baud", 0, Kind::u32, 0},
    {"gps_baud", 4, Kind::u32, 0},
    {"tnc_baud", 8, Kind::u32, 0},
    {"altitude", 12, Kind::i32, 0},
    {"base_lat", 16, Kind::f32, 0},
    {"base_lon", 20, Kind::f32, 0},
    {"call", 24, Kind::text, 8},
    {"ssid", 32, Kind::u16, 0},
    {"widemax", 34, Kind::u16, 0},
    {"widetotal", 36, Kind::u16, 0},
    {"relaydrop", 38, Kind::u16, 0},
    {"uitrace", 40, Kind::hex16, 0},
    {"nsr", 42, Kind::u16, 0},
    {"havegps", 44, Kind::u16, 0},
    {"dupewin", 46, Kind::u16, 0},
    {"beacon", 48, Kind::u16, 0},
    {"icon", 50, Kind::hex16, 0},
    {"log", 52, Kind::u16, 0},
    {"haltonerr", 54, Kind::u16, 0},
    {"dropmangled", 56, Kind::u16, 0},
    {"fixvalid", 58, Kind::u16, 0},
    {"nonaprs", 60, Kind::u16, 0},
    {"ratelimcall", 62, Kind::u16, 0},
    {"run_mode", 64, Kind::hex16, 0},
    {"implicit_action", 66, Kind::hex16, 0},
    {"rule_count", 68, Kind::u16, 0},
    {"bcomment", 134, Kind::text, 44},
    {"controlcall", 178, Kind::text, 10},
    {"subst_count", 188, Kind::u16, 0},
    {"delete_count", 190, Kind::u16, 0},
};

constexpr std::size_t digipath_offset = 70;
constexpr std::size_t digipath_entries = 8;
constexpr std::size_t digipath_width = 8;
constexpr std::size_t path_edits_offset = 192;
constexpr std::size_t path_edit_size = 12;
constexpr std::size_t path_edit_entries = 16;
constexpr std::size_t subst_paths_offset = 384;
constexpr std::size_t subst_path_size = 65;
constexpr std::size_t subst_path_entries = 8;

void print_field(const uint8_t* conf, const Field& field) {
    const uint8_t* at = conf + field.offset;
    std::printf("  %-16s", field.name);
    switch (field.kind) {
        case Kind::u32:
            std::printf("%lu", static_cast<unsigned long>(u32_at(at)));
            break;
        case Kind::i32:
            std::printf("%ld", static_cast<long>(static_cast<int32_t>(u32_at(at))));
            break;
        case Kind::f32:
            std::printf("%.6f", static_cast<double>(f32_at(at)));
            break;
        case Kind::u16:
            std::printf("%u", u16_at(at));
            break;
        case Kind::hex16:
            std::printf("0x%04X", u16_at(at));
            break;
        case Kind::text:
            print_text(at, field.width);
            break;
    }
    std::printf("\n");
}

// An address of a substitution path: call, then the SSID octet's SSID and
// has-been-repeated marker.
void print_address(const uint8_t* address) {
    std::printf(" ");
    print_text(address, 7);
    std::printf("-%u%s", address[7] >> 1 & 0x0F, address[7] & 0x80 ? "*" : "");
}

void print_path_edits(const uint8_t* conf) {
    std::size_t used = std::size_t{u16_at(conf + 188)} + u16_at(conf + 190);
    for (std::size_t i = 0; i < used && i < path_edit_entries; ++i) {
        const uint8_t* entry = conf + path_edits_offset + i * path_edit_size;
        std::printf("  path_edits[%zu]   call ", i);
        print_text(entry, 7);
        std::printf(" ssid_octet 0x%02X match %u action %u subst %u flags 0x%02X\n", entry[7],
                    entry[8], entry[9], entry[10], entry[11]);
    }
    for (std::size_t i = 0; i < subst_path_entries; ++i) {
        const uint8_t* path = conf + subst_paths_offset + i * subst_path_size;
        std::size_t count = path[64];
        if (count == 0) continue;
        std::printf("  subst_paths[%zu]  count %zu:", i, count);
        for (std::size_t a = 0; a < count && a < 8; ++a) print_address(path + a * 8);
        std::printf("\n");
    }
}

void print_conf(const uint8_t* conf) {
    for (const Field& field : conf_fields) {
        print_field(conf, field);
        if (field.offset == 68) {
            std::printf("  %-16s", "digipath");
            const char* separator = "";
            for (std::size_t i = 0; i < digipath_entries; ++i) {
                const uint8_t* entry = conf + digipath_offset + i * digipath_width;
                if (entry[0] == 0) continue;
                std::printf("%s[%zu] ", separator, i);
                separator = " ";
                print_text(entry, digipath_width);
            }
            std::printf("\n");
        }
    }
    print_path_edits(conf);
}

struct RuleType {
    char code;
    const char* name;
    const char* slots;  // per slot: c call, b byte, f float, - unused
    const char* slot_names[4];
};

const RuleType rule_types[] = {
    {'5', "destin", "cb--", {"call", "ssid", "", ""}},
    {'6', "source", "cb--", {"call", "ssid", "", ""}},
    {';', "digi", "cbb-", {"call", "ssid", "match_index", ""}},
    {'7', "circle", "fff-", {"radius", "lat", "lon", ""}},
    {'8', "compass", "bff-", {"direction", "lat", "lon", ""}},
    {'9', "rectangle", "ffff", {"lat1", "lon1", "lat2", "lon2"}},
    {':', "sector", "ffff", {"angle1", "angle2", "inner_range", "outer_range"}},
};

void print_rule(std::size_t number, const uint8_t* rule) {
    uint8_t mods = rule[25];
    const char* action = (mods & 0x0F) == 0x08 ? "pass" : (mods & 0x0F) == 0x04 ? "drop" : "?";
    std::printf("  rule %-2zu line %-5d %-4s mods 0x%02X", number,
                static_cast<int16_t>(u16_at(rule + 26)), action, mods);
    const RuleType* type = nullptr;
    for (const RuleType& known : rule_types) {
        if (known.code == static_cast<char>(rule[24])) type = &known;
    }
    if (type == nullptr) {
        std::printf(" type 0x%02X, parameters", rule[24]);
        for (std::size_t i = 0; i < 24; ++i) std::printf(" %02X", rule[i]);
        std::printf("\n");
        return;
    }
    std::printf(" %s", type->name);
    for (std::size_t slot = 0; slot < 4; ++slot) {
        const uint8_t* at = rule + slot * 6;
        switch (type->slots[slot]) {
            case 'c':
                std::printf(" %s ", type->slot_names[slot]);
                print_text(at, 6);
                break;
            case 'b':
                std::printf(" %s %u", type->slot_names[slot], at[0]);
                break;
            case 'f':
                std::printf(" %s %.6f", type->slot_names[slot], static_cast<double>(f32_at(at)));
                break;
        }
    }
    std::printf("\n");
}

}  // namespace

void print_download_summary(const uint8_t* conf, const uint8_t* rules, std::size_t rules_size) {
    std::printf("\nDownload received: configuration record %zu bytes, rule records %zu bytes\n",
                conf_size, rules_size);
    std::printf("\nConfiguration record:\n");
    print_conf(conf);
    std::printf("\nRule records:\n");
    std::size_t count = rules_size / rule_size;
    for (std::size_t i = 0; i < count && i < max_rules; ++i)
        print_rule(i + 1, rules + i * rule_size);
    if (count == 0) std::printf("  none\n");
    std::fflush(stdout);
}

}  // namespace sim
