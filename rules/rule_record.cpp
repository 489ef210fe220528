#include "rules/rule_record.h"

#include <algorithm>
#include <cstdio>

std::array<rule_record, rule_table_size> rule_table{};
int32_t rules_processed = 0;

namespace {

bool same_rule(const rule_record& a, const rule_record& b) {
    if (a.mods != b.mods || a.rule_type != b.rule_type) return false;
    for (int i = 0; i < 4; ++i) {
        if (std::memcmp(a.slot[i], b.slot[i], sizeof a.slot[i]) != 0) return false;
    }
    return true;
}

}  // namespace

int check_rule_dupe(int count, const rule_record* rep, int* dupe_slot) {
    if (rep == nullptr) {
        std::printf("check_rule_dupe: Error: param rep is invalid\n");
        return -1;
    }
    count = std::min(count, rule_table_size);
    for (int i = 0; i < count; ++i) {
        if (!same_rule(rule_table[static_cast<size_t>(i)], *rep)) continue;
        if (dupe_slot != nullptr) *dupe_slot = i;
        return 1;
    }
    return 0;
}
