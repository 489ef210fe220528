#include "console/command_table.h"

#include <algorithm>
#include <cstdio>

#include "config/conf_record.h"

const std::array<command_entry, 18> command_table = {{
    {1, cmd_help, "help", "", "Displays this summary (alias ?)"},
    {0, cmd_help, "?", "", "Displays this summary"},
    {1, cmd_repeat, ".", "", "Repeats the previous command"},
    {1, cmd_angles, "angles", "", "Displays the Angles format used for Lat and Lon"},
    {1, cmd_baud, "baud", "baud",
     "Changes the baud rates on host and Vestrimond\n\t\t\t\tonce connected. Default [ ]"},
    {1, cmd_configure, "configure", "file_name", "Reads a Configuration file"},
    {1, cmd_dconfigure, "dconfigure", "", "Displays the Configuration"},
    {1, cmd_rules, "rules", "file_name", "Reads a Rules file"},
    {1, cmd_drules, "drules", "", "Displays the Rules"},
    {1, cmd_deditpath, "deditpath", "", "Displays the all the Path Edits"},
    {1, cmd_connect, "connect", "com_port [baud]",
     "Connect to Vestrimond at optional baud\n\t\t\t\t(8 bits No Parity 1 Stop)"},
    {1, cmd_disconnect, "disconnect", "", "Disconnect from the Vestrimond"},
    {1, cmd_download, "download", "", "Download Configuration and Rules to Vestrimond"},
    {1, cmd_firmware, "firmware", "com_port file_name",
     "Update Vestrimond firmware from firmware file"},
    {1, cmd_serialtest, "serialtest", "iterations",
     "Serial data test for the specified iterations"},
    {1, cmd_exit, "exit", "", "Exits this program (aliases quit, x)"},
    {0, cmd_exit, "quit", "", "Same as exit"},
    {0, cmd_exit, "x", "", "Same as exit"},
}};

bool is_host_baud(int32_t baud) {
    return std::find(host_bauds.begin(), host_bauds.end(), baud) != host_bauds.end();
}

int32_t default_baud() {
    return static_cast<int32_t>(conf_record.havegps != 0 ? conf_record.gps_baud
                                                         : conf_record.host_baud);
}

void help_summary() {
    std::printf("\n\t\tCommand Summary:\n%-10s %-20s %s\n", "Command", "Arguments", "Comments");
    for (const command_entry& entry : command_table) {
        if (entry.show == 0) continue;
        std::printf("%-10s %-20s %s\n", entry.name, entry.args, entry.comment);
        if (entry.code != cmd_baud) continue;
        std::printf("%-10s Valid Baud Rates:\t", "");
        for (int32_t baud : host_bauds) {
            std::printf(baud == default_baud() ? "[%ld] " : "%ld ", static_cast<long>(baud));
        }
        std::printf("\n");
    }
}
