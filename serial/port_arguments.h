#pragma once

// The argument checks that every implementation of the port interface makes
// first, with their messages.

#include <cstdint>

// open_port: 0 when the arguments are usable, else the code to return (-1 name
// missing) after the message.
int check_open_arguments(const char* name);

// set_comm_prop: 0 when the arguments are usable, else the code to return
// (-1 name missing, -2 baud not in the table) after the message.
int check_comm_prop_arguments(const char* name, int32_t baud);

// write_port: 0 when the arguments are usable, else the code to return
// (-1 name missing or count not positive, -2 bytes missing) after the message.
int check_write_arguments(const char* name, const void* bytes, int count);

// read_port: bad arguments end the program (fatal_exit 25); returns otherwise.
void check_read_arguments(const char* name, const void* buffer, int size);
