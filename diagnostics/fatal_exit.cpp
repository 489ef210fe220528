#include "diagnostics/fatal_exit.h"

#include <cstdio>

#include "diagnostics/system.h"

void fatal_exit(int code, const char* message) {
    std::fputs(message, stderr);
    std::fprintf(stderr, "Return code %d, system error code %d\n", code, last_system_error());
    if (code == 0) return;
    sleep_ms(5000);
    end_abnormally();
}
