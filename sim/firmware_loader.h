#pragma once

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

#include "sim/line.h"

namespace sim {

// The device's firmware loader, started by "reset\n" on its console.
struct LoaderOptions {
    std::string save_records;   // file to write every accepted record line to
    bool no_prompt = false;     // never send the prompt 0x05
    bool no_sync_ack = false;   // answer the sync character with noise only
    bool no_ident_ack = false;  // never acknowledge the identifier
    int hang_up_record = 0;     // cut the line instead of answering this record (from 1)
    // Scripted answers: for record number n (counted from 1), the answers to
    // its first transmissions in order (a byte 0..255, or -1 for silence);
    // later transmissions are checked and answered normally.
    std::vector<std::pair<int, std::vector<int>>> record_answers;
    // A slow loader, as one that erases a flash page before it answers: each
    // answer to a record is held back by a random time of up to this many ms.
    int slow_answer_ms = 0;
    uint64_t slow_seed = 1;
};

// Plays the loader after a reset: prompt, sync, identifier, then one answer
// per record line (a well-formed Intel HEX record ended by CR). Every byte off
// that grammar is a violation (sim/log.h). Returns when the host
// goes away or a fault option has cut the line.
void run_firmware_loader(Line& line, const LoaderOptions& options);

}  // namespace sim
