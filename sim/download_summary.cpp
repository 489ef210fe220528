#include "sim/download_summary.h"

#include <cstdio>
#include <cstring>

#include "config/conf_display.h"
#include "config/conf_record.h"
#include "config/path_edit_display.h"
#include "rules/rule_display.h"
#include "rules/rule_record.h"

namespace sim {

namespace {

// The digi path count is not part of the record: it is the number of slots
// in use, which are filled from the first one.
int32_t digipath_entries(const conf_layout& record) {
    int32_t count = 0;
    while (count < 8 && record.digipath[count][0] != '\0') ++count;
    return count;
}

}  // namespace

void print_download_summary(const uint8_t* conf, const uint8_t* rules, std::size_t rules_size) {
    // The simulator is a process of its own: the host's record and table
    // serve here to hold what the device received.
    std::memcpy(&conf_record, conf, sizeof conf_record);
    digipath_count = digipath_entries(conf_record);
    rule_table = {};
    std::size_t kept = rules_size < sizeof rule_table ? rules_size : sizeof rule_table;
    std::memcpy(rule_table.data(), rules, kept);

    std::printf("\nDownload received: configuration record %zu bytes, rule records %zu bytes\n\n",
                sizeof conf_record, rules_size);
    conf_display();
    std::printf("\n");
    path_edit_display();
    std::printf("\n");
    rules_display();
    std::fflush(stdout);
}

}  // namespace sim
