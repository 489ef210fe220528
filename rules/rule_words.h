#pragma once

#include <array>
#include <cstdint>

#include "config/conf_record.h"
#include "rules/rule_record.h"

// The words of a Rules file line: "<action> <command> <arguments>". Both
// tables are matched by case-insensitive unique prefix.

struct rule_action_word {
    const char* name;
    uint8_t code;  // goes into the low nibble of mods (0x10 for "implicit")
};

inline constexpr std::array<rule_action_word, 3> rule_action_words{{
    {"drop", action_drop},
    {"pass", action_pass},
    {"implicit", action_implicit},
}};

// A command either writes a record of `rule_type`, or (rule_type 0) sets the
// implicit rule: to `implicit`, or from the action word when that is 0.
struct rule_command_word {
    const char* name;
    char rule_type;
    uint16_t implicit;
};

// The order matters to the display, which names a type by its first entry.
inline constexpr std::array<rule_command_word, 12> rule_command_words{{
    {"implicit", 0, 0},
    {"pass", 0, implicit_pass},
    {"drop", 0, implicit_drop},
    {"destin", rule_destin, 0},
    {"dst", rule_destin, 0},
    {"source", rule_source, 0},
    {"src", rule_source, 0},
    {"circle", rule_circle, 0},
    {"compass", rule_compass, 0},
    {"rectangle", rule_rectangle, 0},
    {"sector", rule_sector, 0},
    {"digi", rule_digi, 0},
}};

// Compass directions by their code in a compass record; code 0 never occurs.
inline constexpr std::array<const char*, 9> compass_names{
    "Error", "N", "NE", "E", "SE", "S", "SW", "W", "NW",
};
