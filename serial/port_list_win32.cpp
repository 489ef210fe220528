#include <cstdlib>

#include "serial/com_devices.h"
#include "serial/port_list.h"

port_roots system_port_roots() {
    return {"", "", _environ};
}

std::vector<std::string> list_ports(const port_roots&) {
    return com_port_lines(read_com_machine());
}

// A port above COM20 completes to the device path it is typed as.
std::vector<std::string> port_names(const port_roots&) {
    std::vector<std::string> names;
    for (int number : com_port_numbers(read_com_machine())) {
        names.push_back(number > 20 ? typed_form(number) : com_label(number));
    }
    return names;
}
