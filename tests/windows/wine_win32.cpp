#include "tests/windows/wine.h"

#include <windows.h>

// Wine's ntdll exports its version; Windows' does not.
bool running_under_wine() {
    HMODULE ntdll = GetModuleHandleA("ntdll.dll");
    return ntdll != nullptr && GetProcAddress(ntdll, "wine_get_version") != nullptr;
}
