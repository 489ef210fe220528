#include "serial/doctor.h"

#include <cstdio>

#include "serial/connection.h"
#include "serial/port.h"
#include "serial/trace.h"

namespace {

const char* level_word(finding_level level) {
    switch (level) {
        case finding_level::ok:
            return "ok";
        case finding_level::warning:
            return "warning";
        case finding_level::problem:
            break;
    }
    return "PROBLEM";
}

// What most often keeps a device that the port reached from answering, the
// likeliest first.
constexpr const char* silent_device_causes[] = {
    "the device has no power: its power LED is off, or its supply is too weak",
    "the cable: the device's console port wants a straight cable to a PC; a null-modem "
    "cable or adapter, or one of the wrong wiring, crosses transmit and receive wrongly",
    "another rate: the device was set to a rate this program does not use; reset it to "
    "its defaults",
    "the device is in its firmware loader after an update that did not end, and answers "
    "only to the loader's own bytes: run \"firmware PORT FILE\" again to finish the update",
};

// The console rates in the order of asking: the current default first.
std::vector<int32_t> rates_to_ask() {
    std::vector<int32_t> rates{current_baud};
    for (int32_t baud : host_bauds) {
        if (baud != current_baud) rates.push_back(baud);
    }
    return rates;
}

void print_finding(finding_level level, const std::string& text) {
    std::printf("%s\n", finding_line({level, "device", text}).c_str());
}

// Asks the device at each rate until one answers; prints the outcome. True
// when a device of the minimum version or newer answered.
bool ask_device(const char* port) {
    std::snprintf(port_name, sizeof port_name, "%s", port);
    const std::string name = port;
    std::string asked;
    for (int32_t baud : rates_to_ask()) {
        const std::string rate = std::to_string(baud);
        trace_note(("doctor: asking for the version at " + rate).c_str());
        char version[32];
        int result = ask_version(baud, version, sizeof version);
        std::fflush(stdout);
        switch (result) {
            case 0: {
                std::string connect;
                if (baud != current_baud) {
                    connect = ": connect with \"connect " + name + " " + rate + "\"";
                }
                print_finding(finding_level::ok,
                              name + ": Vestrimond " + version + " answered at " + rate + connect);
                return true;
            }
            case 2:
                print_open_hint();
                print_finding(finding_level::problem, name + " did not open");
                return false;
            case 4:
                print_finding(
                    finding_level::problem,
                    name + ": a Vestrimond answered at " + rate +
                        (version[0] != '\0' ? " with the version " + std::string(version) +
                                                  ", older than " + minimum_version_text() +
                                                  ": update its firmware"
                                            : " without its version"));
                return false;
        }
        asked += (asked.empty() ? "" : ", ") + rate;
    }
    print_finding(finding_level::problem,
                  name + ": nothing answered at " + asked + "; the likely causes, in order:");
    int number = 0;
    for (const char* cause : silent_device_causes) {
        std::printf("%17s%d. %s\n", "", ++number, cause);
    }
    return false;
}

}  // namespace

std::string finding_line(const finding& found) {
    char head[32];
    std::snprintf(head, sizeof head, "%-8s%-9s", level_word(found.level), found.check.c_str());
    return head + found.text;
}

int run_doctor(const char* port) {
    bool clear = true;
    for (const finding& found : platform_findings(port)) {
        std::printf("%s\n", finding_line(found).c_str());
        if (found.level == finding_level::problem) clear = false;
    }
    std::fflush(stdout);
    if (port != nullptr && !ask_device(port)) clear = false;
    return clear ? 0 : 1;
}
