#pragma once

#include <cstddef>

// The device path of a port name: "COM<n>" opens the path in the environment
// variable VESTRIMOND_COM<n> when that is set and not empty, else
// /dev/ttyS<n-1>; any other name is taken as a path. False (errno
// ENAMETOOLONG) when the path does not fit `size`.
bool port_device_path(const char* name, char* path, std::size_t size);
