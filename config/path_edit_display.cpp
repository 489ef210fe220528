#include "config/path_edit_display.h"

#include <cstdio>

#include "config/conf_record.h"

namespace {

constexpr int max_edits = 8;

char index_char(uint8_t index) { return index == 0 ? '*' : static_cast<char>('0' + index); }

void format_match(const path_edit_entry& entry, char* text, std::size_t size) {
    if (entry.flags & pe_any_call) {
        std::snprintf(text, size, "*");
    } else if (entry.flags & pe_call_star) {
        std::snprintf(text, size, "%.7s*", entry.call);
    } else if (entry.flags & pe_has_ssid) {
        std::snprintf(text, size, "%.7s-%d", entry.call, (entry.ssid >> 1) & 0x0F);
    } else {
        std::snprintf(text, size, "%.7s", entry.call);
    }
}

// An address shows its SSID when it has one, and a '*' when it carries the
// has-been-repeated bit.
void print_subst_path(const subst_path& path) {
    for (int k = 0; k < path.count && k < 8; ++k) {
        const subst_address& address = path.address[k];
        const char* separator = k == 0 ? "" : ",";
        const char* star = (address.ssid & 0x80) ? "*" : "";
        if (address.ssid & 0x1E) {
            std::printf("%s%.7s-%d%s", separator, address.call, (address.ssid >> 1) & 0x0F, star);
        } else {
            std::printf("%s%.7s%s", separator, address.call, star);
        }
    }
}

}  // namespace

void path_edit_display() {
    const conf_layout& c = conf_record;
    std::printf("Path Substitution: Count %2u, Max %2d, Entry size %2d, Table size %3d\n",
                unsigned{c.subst_count}, max_edits, 77, 616);
    std::printf("Path Delete:       Count %2u, Max %2d, Entry size %2d, Table size %3d\n",
                unsigned{c.delete_count}, max_edits, 12, 96);
    int in_use = c.subst_count + c.delete_count;
    if (in_use == 0) return;

    std::printf("#  Type MIndx Match      AIndx Substitution Digi Path\n");
    std::printf("\n");
    for (int i = 0; i < in_use && i < 16; ++i) {
        const path_edit_entry& entry = c.path_edits[i];
        bool substitution = (entry.flags & pe_substitute) != 0;
        std::printf("%-2d  %s   %c   ", i + 1, substitution ? "Sub" : "Del", index_char(entry.match_index));
        char match[16];
        format_match(entry, match, sizeof match);
        if (!substitution) {
            std::printf("%-9s    %c\n", match, index_char(entry.action_index));
            continue;
        }
        std::printf("%-9s    %c   ", match, index_char(entry.action_index));
        if (entry.subst_index < 8) print_subst_path(c.subst_paths[entry.subst_index]);
        std::printf("\n");
    }
}
