#pragma once

#include <cstddef>

// Whether a port argument of "connect" or "firmware" names the device itself
// rather than a COM port number. On POSIX an argument that begins with "/" or
// "./" is a path ("/dev/ttyUSB0", "./ttyV0"); on Windows one that begins with
// "\\.\" and names something after it ("\\.\COM23", "\\.\CNCA0").
bool port_argument_is_path(const char* argument);

// After the refusal of a COM port number outside 1..20: on Windows, where a
// port above COM20 exists and is reached by its device path, one line (no
// bells) that shows that path for `number`; nothing elsewhere.
void print_port_number_hint(long number);

// The port number that the text after "COM" names in a port name ("COM3")
// and in the variable that maps it (VESTRIMOND_COM3): 1..20 in decimal digits
// without a leading zero, `length` characters long; 0 for any other text
// ("+3", " 4", "-5", "1000", "03"). The port name, the port list and Tab
// completion read the variables through it alike. POSIX builds only.
int com_port_number(const char* digits, std::size_t length);

// The device path of a port name: "COM<n>" opens the path in the environment
// variable VESTRIMOND_COM<n> when that is set and not empty, else
// /dev/ttyS<n-1>; any other name is taken as a path. False (errno
// ENAMETOOLONG) when the path does not fit `size`. POSIX builds only.
bool port_device_path(const char* name, char* path, std::size_t size);
