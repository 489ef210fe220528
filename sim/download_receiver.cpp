#include "sim/download_receiver.h"

namespace sim {

// Placeholder until the download receiver lands.
bool run_download_receiver(Line&, const DownloadOptions&) { return false; }

}  // namespace sim
