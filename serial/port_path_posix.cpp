#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "serial/port_path.h"

namespace {

bool fits(int length, std::size_t size) {
    if (length >= 0 && static_cast<std::size_t>(length) < size) return true;
    errno = ENAMETOOLONG;
    return false;
}

}  // namespace

int com_port_number(const char* digits, std::size_t length) {
    if (length == 0 || length > 2 || digits[0] < '1' || digits[0] > '9') return 0;
    int number = 0;
    for (std::size_t i = 0; i < length; ++i) {
        if (digits[i] < '0' || digits[i] > '9') return 0;
        number = number * 10 + (digits[i] - '0');
    }
    return number <= 20 ? number : 0;
}

bool port_argument_is_path(const char* argument) {
    return argument[0] == '/' || std::strncmp(argument, "./", 2) == 0;
}

// A COM number of a POSIX build is only a name for the device it is mapped to.
void print_port_number_hint(long) {}

bool port_device_path(const char* name, char* path, std::size_t size) {
    int number =
        std::strncmp(name, "COM", 3) == 0 ? com_port_number(name + 3, std::strlen(name + 3)) : 0;
    if (number == 0) return fits(std::snprintf(path, size, "%s", name), size);

    char variable[40];
    std::snprintf(variable, sizeof variable, "VESTRIMOND_COM%d", number);
    const char* chosen = std::getenv(variable);
    if (chosen != nullptr && chosen[0] != '\0') {
        return fits(std::snprintf(path, size, "%s", chosen), size);
    }
    return fits(std::snprintf(path, size, "/dev/ttyS%d", number - 1), size);
}
