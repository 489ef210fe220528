#include "diagnostics/system.h"

#include <windows.h>

#include <cstdio>

#include "serial/console_window.h"
#include "serial/port.h"

namespace {

char error_text[1024];

}  // namespace

int last_system_error() { return static_cast<int>(GetLastError()); }

// The text in the user's language, as UTF-8: the program's output is UTF-8
// and the console is set to show it.
const char* system_error_text() {
    wchar_t text[512];
    DWORD length = FormatMessageW(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
                                  nullptr, GetLastError(), MAKELANGID(LANG_NEUTRAL, SUBLANG_DEFAULT),
                                  text, 512, nullptr);
    if (length >= 512) length = 0;
    // System texts end in CR LF; messages put their own line end after them.
    while (length > 0 && (text[length - 1] == L'\n' || text[length - 1] == L'\r')) --length;
    int size = WideCharToMultiByte(CP_UTF8, 0, text, static_cast<int>(length), error_text,
                                   sizeof error_text - 1, nullptr, nullptr);
    error_text[size > 0 ? size : 0] = '\0';
    return error_text;
}

void sleep_ms(unsigned milliseconds) { Sleep(milliseconds); }

// abort() would end with status 3, the status of a failed batch command, after
// the C runtime's message or a crash dialog that blocks a script.
void end_abnormally() {
    std::fflush(nullptr);
    close_port();
    restore_console_window();
    ExitProcess(134);
}
