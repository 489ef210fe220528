#pragma once

#include <future>
#include <memory>
#include <string>
#include <vector>

#include "tests/support/console_texts.h"
#include "tests/support/sim_process.h"
#include "tests/support/transcript.h"

// Console runs with COM1 wired to a simulated device.

inline RunResult run_with_device(const SimProcess& device, const std::string& script) {
    RunOptions options;
    options.env = {{"VESTRIMOND_COM1", device.path()}};
    return run_console(script, options);
}

// The whole output of a run whose commands printed `between` and whose
// input then ended.
inline std::string session(const std::string& between) {
    return start_text() + prompt + between + prompt + "\n";
}

inline std::string connected_at(const std::string& baud) {
    return "Connecting at " + baud + "...\n\aConnected at " + baud + "\n";
}

struct DeviceRun {
    std::vector<std::string> device;  // the simulator's options
    std::string script;               // the console's input
};

// Runs each script against a device of its own, all at the same time: a
// connection spends most of its time waiting for read time-outs.
inline std::vector<RunResult> run_side_by_side(const std::vector<DeviceRun>& runs) {
    std::vector<std::unique_ptr<SimProcess>> devices;
    for (const DeviceRun& run : runs) devices.push_back(std::make_unique<SimProcess>(run.device));
    std::vector<std::future<RunResult>> pending;
    for (size_t i = 0; i < runs.size(); ++i) {
        pending.push_back(std::async(std::launch::async, run_with_device, std::cref(*devices[i]),
                                     runs[i].script));
    }
    std::vector<RunResult> results;
    for (std::future<RunResult>& result : pending) results.push_back(result.get());
    return results;
}
