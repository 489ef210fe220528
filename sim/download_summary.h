#pragma once

#include <cstddef>
#include <cstdint>

namespace sim {

// Shows the operator what a download brought, field by field from the wire
// layout: the 904-byte configuration record and `rules_size` bytes of 28-byte
// rule records. Every text field is shown within its width, whatever its
// bytes; bytes outside printable ASCII are shown as \xHH.
void print_download_summary(const uint8_t* conf, const uint8_t* rules, std::size_t rules_size);

}  // namespace sim
