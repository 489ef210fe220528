#pragma once

#include <cstddef>
#include <cstdint>

namespace sim {

// Shows the operator what a download brought: the configuration record and
// the rule records, decoded by the same reports the console prints for the
// files it read ("dconfigure", "deditpath", "drules").
void print_download_summary(const uint8_t* conf, const uint8_t* rules, std::size_t rules_size);

}  // namespace sim
