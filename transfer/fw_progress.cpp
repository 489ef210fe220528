#include "transfer/fw_progress.h"

#include <algorithm>
#include <cinttypes>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <ctime>

int64_t fw_start_time = 0;

// The elapsed time of an update is read from the time of day, which a 32-bit
// time_t cannot tell past January 2038: every build counts it in 64 bits
// (_TIME_BITS=64 on 32-bit Linux, see CMakeLists.txt).
static_assert(sizeof(std::time_t) >= 8, "time_t must count past 2038");

namespace {

constexpr int bar_start = 21;  // the text's length with every field at its minimum width
constexpr int bar_width = 59;

}  // namespace

void fw_progress_text(char* text, int64_t elapsed, uint32_t acknowledged, uint32_t total) {
    double fraction = total == 0 ? 0.0 : std::min(1.0, double(acknowledged) / double(total));
    double to_completion =
        fraction == 0.0 ? 0.0 : std::floor(double(elapsed) / fraction) - double(elapsed);
    auto ttc = static_cast<uint32_t>(std::clamp(to_completion, 0.0, 4294967295.0));
    std::snprintf(text, fw_progress_size, "\r%3" PRId64 "s TTC %3lus %4.1f%% ", elapsed,
                  static_cast<unsigned long>(ttc), fraction * 100.0);

    // The bar starts at a fixed column: it follows the text while the fields
    // keep their minimum widths, and cuts a longer text there.
    int bar = std::clamp(static_cast<int>(fraction * bar_width), 0, bar_width);
    std::memset(text + bar_start, '=', static_cast<size_t>(bar));
    text[bar_start + bar] = '\0';
}

void fw_progress(uint32_t acknowledged, uint32_t total) {
    char text[fw_progress_size];
    fw_progress_text(text, int64_t(std::time(nullptr)) - fw_start_time, acknowledged, total);
    std::fputs(text, stdout);
}
