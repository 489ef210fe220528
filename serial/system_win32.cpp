#include "diagnostics/system.h"

#include <windows.h>

namespace {

char error_text[1024];

}  // namespace

int last_system_error() { return static_cast<int>(GetLastError()); }

const char* system_error_text() {
    DWORD length = FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
                                  nullptr, GetLastError(), MAKELANGID(LANG_NEUTRAL, SUBLANG_DEFAULT),
                                  error_text, sizeof error_text, nullptr);
    if (length >= sizeof error_text) length = 0;
    error_text[length] = '\0';
    // System texts end in CR LF; messages put their own line end after them.
    while (length > 0 && (error_text[length - 1] == '\n' || error_text[length - 1] == '\r')) {
        error_text[--length] = '\0';
    }
    return error_text;
}

void sleep_ms(unsigned milliseconds) { Sleep(milliseconds); }
