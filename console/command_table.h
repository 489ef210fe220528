#pragma once

#include <array>
#include <cstdint>

#include "serial/connection.h"
#include "serial/serial_test.h"

// Command codes of the console.
enum command_code : int {
    cmd_download = 0,
    cmd_firmware = 1,
    cmd_baud = 5,
    cmd_exit = 8,
    cmd_help = 22,
    cmd_dconfigure = 23,
    cmd_drules = 24,
    cmd_angles = 26,
    cmd_configure = 28,
    cmd_rules = 29,
    cmd_connect = 30,
    cmd_disconnect = 31,
    cmd_repeat = 33,
    cmd_serialtest = serialtest_code,
    cmd_deditpath = 49,
};

struct command_entry {
    int show;             // listed in the command summary
    int code;             // selects the action
    const char* name;     // what the typed word is matched against
    const char* args;     // argument description of the summary
    const char* comment;  // description of the summary
};

extern const std::array<command_entry, 18> command_table;

// The rates the console accepts for the device's host port: host_bauds of
// serial/connection.h.
bool is_host_baud(int32_t baud);

// gps_baud when a GPS is attached (havegps), else host_baud.
int32_t default_baud();

// Prints the command summary with the valid baud rates.
void help_summary();
