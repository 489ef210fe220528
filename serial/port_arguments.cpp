#include "serial/port_arguments.h"

#include <cstdio>

#include "diagnostics/fatal_exit.h"
#include "serial/baud.h"

int check_open_arguments(const char* name) {
    if (name == nullptr) {
        std::printf("open_port: Error: port null argument\n");
        return -1;
    }
    return 0;
}

int check_comm_prop_arguments(const char* name, int32_t baud) {
    if (name == nullptr) {
        std::printf("set_comm_prop: Error: port null argument\n");
        return -1;
    }
    if (get_baud(baud) == nullptr) {
        std::printf("\a\aError: Invalid baud rate %ld\n", static_cast<long>(baud));
        return -2;
    }
    return 0;
}

int check_write_arguments(const char* name, const void* bytes, int count) {
    if (name == nullptr) {
        std::printf("write_port: Error: invalid param file port\n");
        return -1;
    }
    if (bytes == nullptr) {
        std::printf("write_port: Error: invalid param buf ptr\n");
        return -2;
    }
    if (count <= 0) {
        std::printf("write_port: Error: invalid param len: %d\n", count);
        return -1;
    }
    return 0;
}

void check_read_arguments(const char* name, const void* buffer, int size) {
    if (name == nullptr) fatal_exit(25, "read_port: Error: invalid param port\n");
    if (buffer == nullptr) fatal_exit(25, "read_port: Error: invalid param buf ptr\n");
    if (size <= 0) {
        char message[64];
        std::snprintf(message, sizeof message, "read_port: Error: invalid param size: %d\n", size);
        fatal_exit(25, message);
    }
}
