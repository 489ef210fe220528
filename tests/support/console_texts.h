#pragma once

#include <string>

// Texts of the console that several test files expect, written once.

inline const std::string prompt = "Command> ";

// The download's questions when no Configuration or no Rules file was read.
inline const std::string conf_question =
    "\a\aWarning: Configuration file has not yet been processed!\n"
    "Do you want to use the Default Configuration? (yes|no) [no]: ";
inline const std::string rules_question =
    "\n\a\aWarning: Rules file has not yet been processed!\n"
    "Do you  want to use the Implicit Rule only without specific rules?\n"
    "(yes|no) [no]: ";
inline const std::string download_aborted = "\a\aDownload Aborted!\n";

// The Windows program's line after the refusal of a COM port number above 20.
inline std::string port_number_hint(const std::string& number) {
    return "A port above COM20 is typed as its device path: \\\\.\\COM" + number + "\n";
}

// The Windows program's line after the refusal of a port that does not
// exist, under Wine in the test prefix: it has COM3, COM7 and COM23
// (scripts/test-windows.sh).
inline std::string absent_port_hint(const std::string& port) {
    return port + " does not exist on this PC; its COM ports: COM3, COM7, COM23 (\\\\.\\COM23)\n";
}

// The firmware command's question, and the update's warning before its Enter wait.
inline const std::string firmware_question =
    "\a\aWARNING! This will alter the Vestrimond firmware!\n"
    "Do you want to continue (n or y)? [n]: ";
inline const std::string firmware_kept = "Vestrimond Firmware will NOT be updated!\n";
inline const std::string firmware_warning =
    "\n\a\aWARNING! The Vestrimond Firmware is about to be updated!\n"
    "This will take less than 5 minutes.\n"
    "Do NOT interrupt the process once started!\n"
    "If power is interrupted during this process you may not be able\n"
    "to communicate with the Vestrimond due to firmware corruption.\n"
    "If this happens correct the power problem and restart this entire process.\n"
    "\n"
    "Type the Enter key when you are ready to continue...";
