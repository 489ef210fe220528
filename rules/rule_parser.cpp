#include "rules/rule_parser.h"

#include <cstdio>

int rules_process(const char*) {
    std::printf("rules: not available yet\n");
    return -1;
}
