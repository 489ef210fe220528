#pragma once

#include <string>

#include "tests/support/console_texts.h"

// What the console prints around the transfers, for the tests that run the
// program against the simulated device.

inline const std::string downloaded =
    "Downloading Configuration succeeded\nDownloading Rules succeeded\nDisconnected\n";
inline const std::string loader_connected = "\a\nConnected at 19200\n";
inline const std::string updated =
    "\a\aFirmware update succeeded!\n\n"
    "Don't forget to Configure Operating Parameters, Process Rules\n"
    "and Download these to the Vestrimond!\n";
inline const std::string not_updated = "Error: Firmware update failed!\n\tTry again!\n";
inline const std::string update_script = "firmware 1 examples/firmware.hex\ny\n\n";
