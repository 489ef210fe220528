#pragma once

#include <string>

#include "sim/line.h"

namespace sim {

// The device's download receiver, started by "download\n" on its console.
struct DownloadOptions {
    std::string save_conf;   // file to write the received configuration record to
    std::string save_rules;  // file to write the received rule records to
    bool summary = false;    // print what a finished download brought on standard output
    // Faults, packets counted from 1 over the whole download:
    int nak_packet = 0;      // answer NAK to this packet ...
    int nak_times = 0;       // ... this many times before accepting it
    int silent_packet = 0;   // never answer this packet
    int wrong_packet = 0;    // answer this packet with wrong_byte
    int wrong_byte = 0x41;
    int hang_up_packet = 0;  // cut the line instead of answering this packet
};

// Reads packets by their length, checks length and CRC-16, answers ACK, or
// NAK on a bad CRC, until the finish packet, until the host goes away or
// until a fault option cuts the line. Saves what it received as the options
// say. Returns true after the finish packet.
bool run_download_receiver(Line& line, const DownloadOptions& options);

}  // namespace sim
