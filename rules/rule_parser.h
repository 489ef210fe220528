#pragma once

// Reads a Rules file into rule_table and implicit_action. 0 on success, with
// "Rules processed %d, implicit %d"; a negative code after the message of the
// first faulty line.
int rules_process(const char* rfp);
