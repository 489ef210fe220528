#include "serial/com_devices.h"
#include "serial/doctor.h"

// What SetupAPI and the system's COM names tell of the ports, read once.
std::vector<finding> platform_findings(const char* port) {
    return com_doctor_findings(read_com_machine(), port);
}
