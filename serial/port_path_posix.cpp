#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "serial/port_path.h"

namespace {

// The n of "COM<n>" (n >= 1, nothing after the digits), or 0.
long com_number(const char* name) {
    if (std::strncmp(name, "COM", 3) != 0) return 0;
    const char* digits = name + 3;
    if (*digits < '1' || *digits > '9') return 0;
    char* end;
    long number = std::strtol(digits, &end, 10);
    return (*end == '\0' && number < 1000) ? number : 0;
}

bool fits(int length, std::size_t size) {
    if (length >= 0 && static_cast<std::size_t>(length) < size) return true;
    errno = ENAMETOOLONG;
    return false;
}

}  // namespace

bool port_argument_is_path(const char* argument) {
    return argument[0] == '/' || std::strncmp(argument, "./", 2) == 0;
}

bool port_device_path(const char* name, char* path, std::size_t size) {
    long number = com_number(name);
    if (number == 0) return fits(std::snprintf(path, size, "%s", name), size);

    char variable[40];
    std::snprintf(variable, sizeof variable, "VESTRIMOND_COM%ld", number);
    const char* chosen = std::getenv(variable);
    if (chosen != nullptr && chosen[0] != '\0') {
        return fits(std::snprintf(path, size, "%s", chosen), size);
    }
    return fits(std::snprintf(path, size, "/dev/ttyS%ld", number - 1), size);
}
