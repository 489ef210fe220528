#pragma once

#include <cstdint>

// The device connection: the time during which the port is held open to a
// running device that answered as expected.

extern int connected;            // 1 while a connection is open; only then is the port open
extern char port_name[256];      // "COM%d" (1..20), or a device path of up to 255 characters
extern int32_t current_baud;     // baud of the last connection attempt
extern unsigned char rx_buf[1024];  // device answers; the firmware update borrows it

// Whether `name` fits port_name whole: a port is never opened by a name cut
// short.
bool port_name_fits(const char* name);

// Opens a connection at `baud`: the first connection (identify and version
// check) or, with `reconnect`, the re-connection after a baud change (the open
// port at the new rate, then the prompt). 0 connected; 1 already connected; 2 port not
// opened; 3 identify not written or no "Vestrimond"; 4 no or too old version;
// 7 line feed not written; 8 no prompt. After any result but 0 and 1 no
// connection is open. Prints its own outcome.
int connect_device(int32_t baud, bool reconnect);

// Closes the port and clears `connected`.
void end_connection();
