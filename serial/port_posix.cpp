#include <cstdio>

#include "serial/port.h"

// Placeholder until the POSIX port layer lands.
int open_port(const char* name, int32_t) {
    std::printf("open_port %s: not available yet\n", name);
    return -2;
}
int set_comm_prop(const char*, int32_t) { return -1; }
int write_port(const char*, const void*, int) { return -3; }
int read_port(const char*, void*, int, int) { return 0; }
void purge_port() {}
void close_port() {}
