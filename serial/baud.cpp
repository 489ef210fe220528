#include "serial/baud.h"

#include "common/file_messages.h"

const baud_row baud_table[14] = {
    {110},  {300},   {600},   {1200},  {2400},  {4800},   {9600},
    {14400}, {19200}, {38400}, {56000}, {57600}, {115200}, {0},
};

const baud_row* get_baud(int32_t baud) {
    if (baud == 0) {
        // The parsers' helper: the Baud fault of the line follows.
        report_file_message(FileMessage::cause, nullptr, 0, "get_baud: Error: invalid baud: %ld\n",
                            static_cast<long>(baud));
        return nullptr;
    }
    for (const baud_row* row = baud_table; row->rate != 0; ++row) {
        if (row->rate == baud) return row;
    }
    return nullptr;
}
