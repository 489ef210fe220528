#pragma once

#include <array>
#include <cstddef>
#include <cstdint>

// The device connection: the time during which the port is held open to a
// running device that answered as expected.

extern int connected;            // 1 while a connection is open; only then is the port open
extern char port_name[256];      // "COM%d" (1..20), or a device path of up to 255 characters
extern int32_t current_baud;     // baud of the last connection attempt
extern unsigned char rx_buf[1024];  // device answers; the firmware update borrows it

// The rates of the device's console port, rising.
extern const std::array<int32_t, 5> host_bauds;

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

// Opens port_name at `baud` as a first connection does, asks the device for
// its version and closes the port again, with no message of its own but the
// port layer's: 0 a device of the minimum version or newer answered; 2 the
// port did not open; 3 no Vestrimond answered; 4 it told no version, or one
// too old. `version` gets the version word of the answer ("2.83b"), empty
// when there was none. Not while connected.
int ask_version(int32_t baud, char* version, std::size_t size);

// The oldest firmware version the program works with, as "2.83".
const char* minimum_version_text();

// Closes the port and clears `connected`.
void end_connection();
