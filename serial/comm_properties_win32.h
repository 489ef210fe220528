#pragma once

#include <windows.h>

// What the port layer asks of a port's provider, read from its COMMPROP.

// The size of a COMMPROP buffer for a provider that reports `reported` in
// wPacketLength: never smaller than COMMPROP itself, which some providers
// fill whatever they report (Wine reports 1).
WORD comm_prop_buffer_size(WORD reported);

// Checks that the port can set parity, baud, data bits and stop bits, do 8
// data bits, 1 stop bit with no parity, and total and interval time-outs.
// 0 when it can; else prints the first failed check's message with `name`
// and the value read, and returns its code (-7, -9, -10 or -11).
int check_comm_properties(const char* name, const COMMPROP& properties);
