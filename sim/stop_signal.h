#pragma once

namespace sim {

// SIGTERM and SIGINT ask the simulator to stop: every wait of the line ends
// soon after, and the simulator cleans up and exits.
void catch_stop_signals();
bool stop_requested();

}  // namespace sim
