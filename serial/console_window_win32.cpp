#include "serial/console_window.h"

#include <windows.h>

#include <cstdlib>
#include <cstring>

namespace {

UINT output_code_page_before = 0;
UINT input_code_page_before = 0;

// Runs in a thread of its own while the program's thread goes on, in a read
// or a write of the port or a read of the console: the process ends at once,
// which closes the port (closing it here first would let that thread report
// the closed handle as a failed write), and without the C runtime's exit,
// which (or a flush of its streams) could wait for a lock that thread holds.
BOOL WINAPI end_at_console_signal(DWORD) {
    restore_console_window();
    TerminateProcess(GetCurrentProcess(), interrupted_status);
    return TRUE;
}

}  // namespace

void restore_console_window() {
    if (output_code_page_before != 0) SetConsoleOutputCP(output_code_page_before);
    if (input_code_page_before != 0) SetConsoleCP(input_code_page_before);
}

void set_up_console_window() {
    SetConsoleCtrlHandler(end_at_console_signal, TRUE);
    output_code_page_before = GetConsoleOutputCP();
    input_code_page_before = GetConsoleCP();
    if (output_code_page_before == 0 && input_code_page_before == 0) return;  // no console
    SetConsoleOutputCP(CP_UTF8);
    SetConsoleCP(CP_UTF8);
    std::atexit(restore_console_window);
}

bool input_is_console_window() {
    DWORD mode = 0;
    return GetConsoleMode(GetStdHandle(STD_INPUT_HANDLE), &mode) != 0;
}

// The console hands over UTF-16, whatever its input code page: reading it
// wide gives every character on every Windows 10 and 11 console.
long read_console_window_line(char* buf, std::size_t size) {
    wchar_t line[1024];
    DWORD read = 0;
    if (!ReadConsoleW(GetStdHandle(STD_INPUT_HANDLE), line, 1023, &read, nullptr)) return -1;
    // A line longer than the buffer arrives in several reads: the rest is dropped.
    bool whole = read > 0 && line[read - 1] == L'\n';
    while (read > 0 && (line[read - 1] == L'\n' || line[read - 1] == L'\r')) --read;
    if (!whole && read == 1023) {
        wchar_t rest[256];
        DWORD more = 0;
        while (ReadConsoleW(GetStdHandle(STD_INPUT_HANDLE), rest, 256, &more, nullptr) &&
               more > 0 && rest[more - 1] != L'\n') {
        }
    }
    if (read == 0 && !whole) return -1;
    if (read > 0 && line[0] == 0x1A) return -1;  // Ctrl+Z: the end of input
    int length = WideCharToMultiByte(CP_UTF8, 0, line, static_cast<int>(read), nullptr, 0,
                                     nullptr, nullptr);
    char utf8[4096];
    int stored = WideCharToMultiByte(CP_UTF8, 0, line, static_cast<int>(read), utf8,
                                     sizeof utf8, nullptr, nullptr);
    if (size > 0) {
        std::size_t kept = stored > 0 ? static_cast<std::size_t>(stored) : 0;
        if (kept > size - 1) kept = size - 1;
        std::memcpy(buf, utf8, kept);
        buf[kept] = '\0';
    }
    return length;
}
