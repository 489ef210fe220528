#include "rules/rule_display.h"

#include <algorithm>
#include <cstdio>

#include "config/conf_record.h"
#include "rules/rule_record.h"
#include "rules/rule_words.h"

namespace {

// Room for any argument text in full: the longest is a longitude near the
// float limit, 53 characters with its label.
constexpr int arg_size = 64;

struct RuleArgs {
    char text[4][arg_size] = {};  // an argument a type does not use stays empty
};

const char* action_name(uint8_t mods) {
    switch (mods & action_mask) {
        case action_pass:
            return "Pass";
        case action_drop:
            return "Drop";
        default:
            return "?";
    }
}

// A 6-character callsign has no terminator in the record: the precision keeps
// it from running into the SSID byte.
void call_text(const rule_record& r, char* text) {
    const char* call = reinterpret_cast<const char*>(r.slot[0]);
    if (r.mods & mods_any_call_bit) {
        std::snprintf(text, arg_size, "*");
    } else if (r.mods & mods_call_prefix) {
        std::snprintf(text, arg_size, "%-.*s*", 6, call);
    } else if (r.mods & mods_ssid) {
        std::snprintf(text, arg_size, "%-.*s-%d", 6, call, r.slot[1][0]);
    } else {
        std::snprintf(text, arg_size, "%-.*s", 6, call);
    }
}

double value(const rule_record& r, int slot) {
    return static_cast<double>(slot_float(r, slot));
}

void call_args(const rule_record& r, RuleArgs& a) {
    call_text(r, a.text[0]);
}

void digi_args(const rule_record& r, RuleArgs& a) {
    uint8_t index = r.slot[2][0];
    std::snprintf(a.text[0], arg_size, "%c,", index == 0 ? '*' : '0' + index);
    call_text(r, a.text[1]);
}

void circle_args(const rule_record& r, RuleArgs& a) {
    std::snprintf(a.text[0], arg_size, "%-.3f mi R,", value(r, 0));
    std::snprintf(a.text[1], arg_size, "%-10.6f D Lat,", value(r, 1));
    std::snprintf(a.text[2], arg_size, "%-11.5f D Lon", value(r, 2));
}

void compass_args(const rule_record& r, RuleArgs& a) {
    uint8_t direction = r.slot[0][0];
    const char* name = direction < compass_names.size() ? compass_names[direction] : "?";
    std::snprintf(a.text[0], arg_size, "%-2s Dir,", name);
    std::snprintf(a.text[1], arg_size, "%-10.6f D Lat,", value(r, 1));
    std::snprintf(a.text[2], arg_size, "%-11.5f D Lon", value(r, 2));
}

void rectangle_args(const rule_record& r, RuleArgs& a) {
    std::snprintf(a.text[0], arg_size, "%-10.6f D Lat1,", value(r, 0));
    std::snprintf(a.text[1], arg_size, "%-11.5f D Lon1,", value(r, 1));
    std::snprintf(a.text[2], arg_size, "%-10.6f D Lat2,", value(r, 2));
    std::snprintf(a.text[3], arg_size, "%-11.5f D Lon2", value(r, 3));
}

void sector_args(const rule_record& r, RuleArgs& a) {
    std::snprintf(a.text[0], arg_size, "%-.3f D Ang1,", value(r, 0));
    std::snprintf(a.text[1], arg_size, "%-.3f D Ang2,", value(r, 1));
    std::snprintf(a.text[2], arg_size, "%-.3f In R,", value(r, 2));
    std::snprintf(a.text[3], arg_size, "%-.3f Out R", value(r, 3));
}

struct ArgsWriter {
    char rule_type;
    void (*write)(const rule_record&, RuleArgs&);
};

constexpr ArgsWriter args_writers[] = {
    {rule_destin, call_args},   {rule_source, call_args},     {rule_digi, digi_args},
    {rule_circle, circle_args}, {rule_compass, compass_args}, {rule_rectangle, rectangle_args},
    {rule_sector, sector_args},
};

void print_rule(int number, const rule_record& r) {
    RuleArgs a;
    for (const ArgsWriter& writer : args_writers) {
        if (writer.rule_type == r.rule_type) writer.write(r, a);
    }
    std::printf("%-2d %-6s  %02x  %-9s %s %s %s %s\n", number, action_name(r.mods), r.mods & 0xF0,
                rule_type_name(r.rule_type), a.text[0], a.text[1], a.text[2], a.text[3]);
}

}  // namespace

const char* rule_type_name(char rule_type) {
    for (const rule_command_word& command : rule_command_words) {
        // The implicit-rule commands (type 0) write no record and name none.
        if (command.rule_type != 0 && command.rule_type == rule_type) return command.name;
    }
    return "?";
}

void rules_display() {
    int count = conf_record.rule_count;
    if (count == 0) {
        const char* action = conf_record.implicit_action == implicit_drop   ? "Drop"
                             : conf_record.implicit_action == implicit_pass ? "Pass"
                                                                            : "?";
        std::printf("No Rules are configured!  Implicit Rule Action is %s\n", action);
        return;
    }
    std::printf("Rule count %d plus Implicit\n", count);
    std::printf("\n#  %-6s %-s %-9s Arguments\n", "Action", "Mods", "Command");
    std::printf("0  %-6s      %-9s\n",
                conf_record.implicit_action == implicit_drop ? "Drop" : "Pass", "Implicit");
    for (int i = 0; i < std::min(count, rule_table_size); ++i) {
        print_rule(i + 1, rule_table[static_cast<size_t>(i)]);
    }
}
