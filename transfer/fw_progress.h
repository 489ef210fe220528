#pragma once

#include <cstddef>
#include <cstdint>

// The progress line of the firmware update: elapsed seconds, time to
// completion, percentage and a bar of up to 59 "=", drawn over itself with a
// leading CR.

// Wall-clock time in whole seconds at which the first record was sent; the
// update sets it, fw_progress measures from it.
extern int64_t fw_start_time;

// Formats the line for `elapsed` seconds into `text` (at least
// fw_progress_size bytes).
inline constexpr std::size_t fw_progress_size = 128;
void fw_progress_text(char* text, int64_t elapsed, uint32_t acknowledged, uint32_t total);

// Writes the line for now - fw_start_time to standard output, no line end.
void fw_progress(uint32_t acknowledged, uint32_t total);
