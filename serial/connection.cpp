#include "serial/connection.h"

#include <cstdio>

#include "serial/port.h"

int connected = 0;
char port_name[8] = "";
int32_t current_baud = 19200;
unsigned char rx_buf[1024];

void end_connection() {
    close_port();
    connected = 0;
}

int connect_device(int32_t, bool) {
    std::printf("connect: not available yet\n");
    return 2;
}
