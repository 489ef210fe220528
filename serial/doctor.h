#pragma once

#include <string>
#include <vector>

// vestrimond --doctor [PORT]: what stands between the program and the device,
// one line per check, with the fix where something is wrong.

enum class finding_level { ok, warning, problem };

// One line of the doctor: the check ("access"), and what it found, followed
// by the fix where something is wrong.
struct finding {
    finding_level level;
    std::string check;
    std::string text;
};

// The line as printed: "ok      access   /dev/ttyUSB0: ...".
std::string finding_line(const finding& found);

// The platform's findings, read without sending anything: about the machine
// and every port it lists, or, with `port`, about that port alone
// (doctor_linux.cpp, doctor_win32.cpp).
std::vector<finding> platform_findings(const char* port);

// Prints the platform's findings, then, with `port`, asks the device on it for
// its version at each console rate. 0 when nothing stood in the way (and, with
// `port`, a device answered), 1 otherwise.
int run_doctor(const char* port);
