#include "serial/port_path.h"

// The Windows program opens \\.\COM<n>: a port is always a number.
bool port_argument_is_path(const char*) {
    return false;
}
