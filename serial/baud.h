#pragma once

#include <cstdint>

// The rates the port layer can set, in rising order, ending in a row with rate 0.
struct baud_row {
    int32_t rate;
};

extern const baud_row baud_table[14];

// The row whose rate equals `baud`, or null. A baud of 0 prints
// "get_baud: Error: invalid baud: 0".
const baud_row* get_baud(int32_t baud);
