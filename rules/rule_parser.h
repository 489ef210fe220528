#pragma once

// Reads a Rules file into rule_table and implicit_action ("rules").
//
// Returns 0 once the whole file parsed, having printed "Rules processed %d,
// implicit %d" and set rule_count and rules_processed. Otherwise returns a
// negative code after one message naming the file, the line and the line
// itself; rule_count and rules_processed are then 0, so nothing of the file
// is downloaded. -1: rfp is null; -2: the file cannot be opened or read.
int rules_process(const char* rfp);
