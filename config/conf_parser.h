#pragma once

// Reads a Configuration file into conf_record, starting from the defaults
// (only rule_count and implicit_action carry over). 0 on success and
// "Configuration items processed %d"; a negative code after the message of
// the first faulty line.
int conf_process(const char* path);
