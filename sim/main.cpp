// vestrimond-sim: a simulated Vestrimond on a pty, for trying the host
// program without a device and for testing it over a real serial line.

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <string>

#include "sim/device_console.h"
#include "sim/log.h"
#include "sim/options.h"
#include "sim/port_link.h"
#include "sim/pty_line.h"
#include "sim/stop_signal.h"

int main(int argc, char** argv) {
    sim::Options options;
    switch (sim::parse_options(argc, argv, options)) {
        case sim::ParseResult::help:
            sim::print_help(stdout);
            return 0;
        case sim::ParseResult::error:
            return 2;
        case sim::ParseResult::run:
            break;
    }
    sim::set_logging(options.verbose);
    sim::catch_stop_signals();

    sim::PtyLine line(options.line);
    if (!line.open(options.baud)) {
        std::fprintf(stderr, "vestrimond-sim: cannot open a pty: %s\n", std::strerror(errno));
        return 1;
    }
    if (!options.link.empty() && !sim::make_link(options.link, line.slave_path())) {
        std::fprintf(stderr, "vestrimond-sim: cannot make the link %s: %s\n", options.link.c_str(),
                     std::strerror(errno));
        return 1;
    }
    std::FILE* records[2] = {nullptr, nullptr};
    const std::string* record_paths[2] = {&options.record_from_host, &options.record_to_host};
    for (int i = 0; i < 2; ++i) {
        if (record_paths[i]->empty()) continue;
        records[i] = std::fopen(record_paths[i]->c_str(), "wb");
        if (records[i] == nullptr) {
            std::fprintf(stderr, "vestrimond-sim: cannot write %s: %s\n",
                         record_paths[i]->c_str(), std::strerror(errno));
            return 1;
        }
    }
    line.record(records[0], records[1]);
    std::printf("%s\n", line.slave_path());
    std::fflush(stdout);
    sim::log_line("device on %s at %ld baud", line.slave_path(), static_cast<long>(options.baud));

    sim::run_device_console(line, options);

    if (!options.link.empty()) sim::remove_link(options.link, line.slave_path());
    sim::log_line("stopped");
    if (options.line.pace || options.line.noise.probability > 0 ||
        options.line.drop.probability > 0) {
        line.print_counts(stderr);
    }
    if (sim::line_departure_count() > 0) {
        std::fprintf(stderr,
                     "vestrimond-sim: %d departures from the wire grammar after faults the line "
                     "injected, not the host's\n",
                     sim::line_departure_count());
    }
    if (options.strict && sim::violation_count() > 0) {
        sim::print_violations(stderr);
        return 3;
    }
    return 0;
}
