#include "config/conf_display.h"

#include <cstdio>

void conf_display() { std::printf("dconfigure: not available yet\n"); }
