#pragma once

#include <cstdint>
#include <cstdio>
#include <string>

#include "sim/download_receiver.h"
#include "sim/firmware_loader.h"
#include "sim/line_faults.h"

namespace sim {

// Everything the simulator can be told on its command line.
struct Options {
    std::string link;               // also make a symlink to the pty slave here
    std::string version = "2.83b";  // firmware version shown by "version"
    std::string banner;             // the whole answer to "version" instead of the standard one
    int32_t baud = 19200;           // rate of the device's host port at start and after a reset
    bool silent = false;            // never answer anything
    bool no_baud_prompt = false;    // after "host N", leave the next line feed unanswered
    std::string ignored_command;    // a console command left unanswered
    int echo_stop_after = 0;        // loop test: stop echoing after this many bytes (0: never)
    int echo_corrupt = 0;           // loop test: send this echoed byte with bit 7 set (0: never)
    bool vanish_on_reset = false;   // "reset" removes the link: the port is gone
    bool verbose = false;           // log to standard error
    bool strict = false;            // end with status 3 when the host broke the wire grammar
    std::string record_from_host;   // write every byte the host sent here
    std::string record_to_host;     // write every byte handed to the host here
    LineOptions line;               // pacing, noise and loss on the line
    DownloadOptions download;
    LoaderOptions loader;
};

enum class ParseResult { run, help, error };

// Reads the command line into `options`; a mistake is reported on standard
// error. Options take their value as the next argument or after '='.
ParseResult parse_options(int argc, char** argv, Options& options);

void print_help(std::FILE* stream);

}  // namespace sim
