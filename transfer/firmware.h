#pragma once

#include <cstdint>

// The firmware update through the device's loader, at 19200 baud on its own
// port: interrupt, the operator's Enter, "reset\n", reopen, prompt 0x05, sync
// 0x16/0x06, identifier "VeMoNd" "1.0"/0x06, then every record line of the
// Intel HEX file followed by CR, each answered by one byte.

inline constexpr int32_t fw_baud = 19200;
inline constexpr uint8_t fw_prompt = 0x05;
inline constexpr uint8_t fw_ack = 0x06;
inline constexpr uint8_t fw_sync = 0x16;
inline constexpr char fw_ident_name[] = "VeMoNd";
inline constexpr char fw_ident[] = "VeMoNd1.0";  // the name and the loader version "1.0"
inline constexpr int fw_max_errors = 10;

// Updates the device firmware on the port named `port` ("COM3", or a device
// path of up to 255 characters) from the Intel HEX file
// `file_name`. The file is checked whole before the port is touched. 0 when
// every record was acknowledged, else after a message: -1 no file name, -2
// file not opened, -4 file check failed or file unreadable, -5 port not
// opened, -6 no prompt, -7 interrupt, reset or sync not written, -8 no sync
// answer, -9 identifier not written, -10 identifier not acknowledged, -11
// record not written, -12 ten errors, -13 fatal answer, -14 buffer full.
// `wait_for_enter` returns once the operator has pressed Enter at the warning
// (or the input has ended).
int firmware(const char* port, const char* file_name, void (*wait_for_enter)());
