#include "rules/rule_record.h"

std::array<rule_record, rule_table_size> rule_table{};
int32_t rules_processed = 0;
