#include "config/conf_parser.h"

#include <cstdio>

int conf_process(const char*) {
    std::printf("configure: not available yet\n");
    return -1;
}
