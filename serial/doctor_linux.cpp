#include <string>

#include "serial/doctor.h"
#include "serial/doctor_checks_linux.h"
#include "serial/port_path.h"

std::vector<finding> platform_findings(const char* port) {
    machine_reader reader;
    if (port == nullptr) return machine_findings(reader);
    char path[256];
    if (!port_device_path(port, path, sizeof path)) {
        return {{finding_level::problem, "port", std::string(port) + ": the path is too long"}};
    }
    return port_findings(reader, path);
}
