#include "sim/firmware_loader.h"

namespace sim {

// Placeholder until the firmware loader lands.
void run_firmware_loader(Line&, const LoaderOptions&) {}

}  // namespace sim
