#include "transfer/firmware.h"

#include <cstdio>

int firmware(int, const char*) {
    std::printf("firmware: not available yet\n");
    return -1;
}
