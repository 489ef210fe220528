#include "serial/nul_bytes.h"

int drop_nul_bytes(unsigned char* bytes, int count) {
    int kept = 0;
    for (int i = 0; i < count; ++i) {
        if (bytes[i] != 0) bytes[kept++] = bytes[i];
    }
    return kept;
}
