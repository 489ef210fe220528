#include "serial/doctor.h"

#include <cstdio>
#include <cstring>

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

// Asks the device at each rate until one answers; prints the outcome. True
// when a device of the minimum version or newer answered.
bool ask_device(const char* port) {
    std::snprintf(port_name, sizeof port_name, "%s", port);
    std::string asked;
    for (int32_t baud : rates_to_ask()) {
        char note[64];
        std::snprintf(note, sizeof note, "doctor: asking for the version at %ld",
                      static_cast<long>(baud));
        trace_note(note);
        char version[32];
        int result = ask_version(baud, version, sizeof version);
        std::fflush(stdout);
        const std::string rate = std::to_string(baud);
        if (result == 2) {
            print_open_hint();
            std::printf("%s\n", finding_line({finding_level::problem, "device",
                                              std::string(port) + " did not open"})
                                    .c_str());
            return false;
        }
        if (result == 0) {
            std::printf("%s\n",
                        finding_line({finding_level::ok, "device",
                                      std::string(port) + ": Vestrimond " + version +
                                          " answered at " + rate +
                                          (baud == current_baud
                                               ? ""
                                               : ": connect with \"connect " + std::string(port) +
                                                     " " + rate + "\"")})
                            .c_str());
            return true;
        }
        if (result == 4) {
            std::printf("%s\n",
                        finding_line({finding_level::problem, "device",
                                      std::string(port) + ": a Vestrimond answered at " + rate +
                                          (version[0] != '\0'
                                               ? " with the version " + std::string(version) +
                                                     ", older than 2.83: update its firmware"
                                               : " without its version")})
                            .c_str());
            return false;
        }
        asked += (asked.empty() ? "" : ", ") + rate;
    }
    std::printf("%s\n", finding_line({finding_level::problem, "device",
                                      std::string(port) + ": nothing answered at " + asked +
                                          "; the likely causes, in order:"})
                            .c_str());
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
