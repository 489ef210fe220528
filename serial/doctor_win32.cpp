#include <string>

#include "serial/doctor.h"
#include "serial/port_list.h"

// The ports of the list, as the list shows them. The port's SetupAPI details
// (its USB ids, a driver's problem code) come with the SetupAPI reader of the
// port list: they belong here, one finding each.
std::vector<finding> platform_findings(const char* port) {
    std::vector<finding> found;
    for (const std::string& line : list_ports(system_port_roots())) {
        found.push_back({finding_level::ok, "port", line});
    }
    if (found.empty() && port == nullptr) {
        found.push_back({finding_level::problem, "port", "no COM port found: plug the adapter in"});
    }
    return found;
}
