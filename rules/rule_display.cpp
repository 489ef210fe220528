#include "rules/rule_display.h"

#include <cstdio>

void rules_display() { std::printf("drules: not available yet\n"); }
