#pragma once

#include <string>

// What the console prints around the transfers, for the tests that run the
// program against the simulated device.

inline const std::string default_question =
    "\a\aWarning: Configuration file has not yet been processed!\n"
    "Do you want to use the Default Configuration? (yes|no) [no]: ";
inline const std::string implicit_question =
    "\n\a\aWarning: Rules file has not yet been processed!\n"
    "Do you  want to use the Implicit Rule only without specific rules?\n"
    "(yes|no) [no]: ";
inline const std::string downloaded =
    "Downloading Configuration succeeded\nDownloading Rules succeeded\nDisconnected\n";

inline const std::string firmware_question =
    "\a\aWARNING! This will alter the Vestrimond firmware!\n"
    "Do you want to continue (n or y)? [n]: ";
inline const std::string warning =
    "\n\a\aWARNING! The Vestrimond Firmware is about to be updated!\n"
    "This will take less than 5 minutes.\n"
    "Do NOT interrupt the process once started!\n"
    "If power is interrupted during this process you may not be able\n"
    "to communicate with the Vestrimond due to firmware corruption.\n"
    "If this happens correct the power problem and restart this entire process.\n"
    "\n"
    "Type the Enter key when you are ready to continue...";
inline const std::string loader_connected = "\a\nConnected at 19200\n";
inline const std::string updated =
    "\a\aFirmware update succeeded!\n\n"
    "Don't forget to Configure Operating Parameters, Process Rules\n"
    "and Download these to the Vestrimond!\n";
inline const std::string not_updated = "Error: Firmware update failed!\n\tTry again!\n";
inline const std::string update_script = "firmware 1 examples/firmware.hex\ny\n\n";
