#include "angles/dmctodeg.h"

#include <cstdio>

float dmctodeg(const char*) {
    std::printf("angles: not available yet\n");
    return dmctodeg_error;
}
