#include "angles/angles_help.h"

#include <cstdio>

void angles_help() { std::printf("angles: not available yet\n"); }
