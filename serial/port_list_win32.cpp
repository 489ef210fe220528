#include <windows.h>

#include <cstdlib>

#include "serial/port_list.h"

namespace {

// The ports the system knows by a COM name; the console takes 1..20, but a
// port beyond them is shown too, so that the operator knows where it went.
constexpr int last_com_number = 255;

// The device behind COM<n>, or empty when there is no such port.
std::string com_device(int number) {
    std::string name = "COM" + std::to_string(number);
    char target[1024];
    if (QueryDosDeviceA(name.c_str(), target, sizeof target) == 0) return "";
    return target[0] != '\0' ? target : "?";
}

}  // namespace

port_roots system_port_roots() {
    return {"", "", _environ};
}

std::vector<std::string> list_ports(const port_roots&) {
    std::vector<std::string> lines;
    for (int number = 1; number <= last_com_number; ++number) {
        std::string device = com_device(number);
        if (!device.empty()) lines.push_back("COM" + std::to_string(number) + "  " + device);
    }
    return lines;
}

std::vector<std::string> port_names(const port_roots&) {
    std::vector<std::string> names;
    for (int number = 1; number <= last_com_number; ++number) {
        if (!com_device(number).empty()) names.push_back("COM" + std::to_string(number));
    }
    return names;
}
