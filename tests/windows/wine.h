#pragma once

#include <cstdlib>
#include <cstring>

// Wine runs the Windows program in the Windows test runs. In a few places it
// does not do what Windows does; the tests of those places skip under Wine
// and name the difference.

// True when this test program is a Windows program running under Wine.
bool running_under_wine();

// True when the console program under test is started through Wine
// (VESTRIMOND_EXE_WRAPPER names wine).
inline bool program_runs_under_wine() {
    const char* wrapper = std::getenv("VESTRIMOND_EXE_WRAPPER");
    return wrapper != nullptr && std::strstr(wrapper, "wine") != nullptr;
}
