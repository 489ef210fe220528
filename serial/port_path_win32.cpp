#include "serial/port_path.h"

#include <cstdio>
#include <cstring>

// The Windows program opens \\.\COM<n> for a port number, and a device path
// (\\.\COM23, \\.\CNCA0) as it is written.
bool port_argument_is_path(const char* argument) {
    return std::strncmp(argument, "\\\\.\\", 4) == 0 && argument[4] != '\0';
}

// Windows numbers COM ports up to COM256 in its own dialogs.
void print_port_number_hint(long number) {
    if (number <= 20 || number > 256) return;
    std::printf("A port above COM20 is typed as its device path: \\\\.\\COM%ld\n", number);
}
