#include "transfer/download.h"

#include <cstdio>

int dwn_download() {
    std::printf("download: not available yet\n");
    return -1;
}
