#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "diagnostics/fatal_exit.h"
#include "serial/com_devices.h"
#include "serial/comm_properties_win32.h"
#include "serial/nul_bytes.h"
#include "serial/port.h"
#include "serial/port_arguments.h"
#include "serial/port_path.h"
#include "diagnostics/system.h"
#include "serial/timeouts.h"
#include "serial/trace.h"

namespace {

// The one open port, INVALID_HANDLE_VALUE when none is open; its line
// settings as last written, and its standing time-outs.
HANDLE port_handle = INVALID_HANDLE_VALUE;
DCB port_state;
comm_timeouts port_timeouts;

// The system's refusal of the last opening that failed, and the port it was;
// 0 after any other outcome.
DWORD open_error = 0;
char refused_port[256] = "";

COMMTIMEOUTS system_timeouts(const comm_timeouts& timeouts) {
    COMMTIMEOUTS set;
    set.ReadIntervalTimeout = timeouts.ReadIntervalTimeout;
    set.ReadTotalTimeoutMultiplier = timeouts.ReadTotalTimeoutMultiplier;
    set.ReadTotalTimeoutConstant = timeouts.ReadTotalTimeoutConstant;
    set.WriteTotalTimeoutMultiplier = timeouts.WriteTotalTimeoutMultiplier;
    set.WriteTotalTimeoutConstant = timeouts.WriteTotalTimeoutConstant;
    return set;
}

void close_after_failure(const char* format, const char* name) {
    std::printf(format, name, system_error_text());
    close_port();
}

// One reading of the port's properties into a zeroed buffer of `size` bytes
// (to be freed), or null with the step's code after printing and closing.
struct properties_step {
    DWORD prov_spec1;
    int no_buffer_code;
    int no_properties_code;
};

COMMPROP* get_comm_properties(const char* name, WORD size, const properties_step& step,
                              int* code) {
    auto* properties = static_cast<COMMPROP*>(std::calloc(1, size));
    if (properties == nullptr) {
        close_after_failure(
            "\a\aError: could not malloc comm properties buffer for port %s: %s\n", name);
        *code = step.no_buffer_code;
        return nullptr;
    }
    properties->wPacketLength = size;
    properties->dwProvSpec1 = step.prov_spec1;
    if (!GetCommProperties(port_handle, properties)) {
        close_after_failure("\a\aError: could not get comm properties for port %s: %s\n", name);
        std::free(properties);
        *code = step.no_properties_code;
        return nullptr;
    }
    return properties;
}

// Reads the port's properties in two steps: the first tells the provider's
// size in wPacketLength, the second fills a buffer of that size.
COMMPROP* read_comm_properties(const char* name, int* code) {
    COMMPROP* probe = get_comm_properties(name, sizeof(COMMPROP), {0, -3, -4}, code);
    if (probe == nullptr) return nullptr;
    WORD size = comm_prop_buffer_size(probe->wPacketLength);
    std::free(probe);
    return get_comm_properties(name, size, {COMMPROP_INITIALIZED, -5, -6}, code);
}

// 8 data bits, no parity, 1 stop bit, no flow control, DTR and RTS held off;
// every other field keeps what the port had.
void set_line_fields(DCB* state, DWORD baud) {
    state->BaudRate = baud;
    state->ByteSize = 8;
    state->Parity = NOPARITY;
    state->StopBits = ONESTOPBIT;
    state->fParity = FALSE;
    state->fOutxCtsFlow = FALSE;
    state->fOutxDsrFlow = FALSE;
    state->fOutX = FALSE;
    state->fInX = FALSE;
    state->fDtrControl = DTR_CONTROL_DISABLE;
    state->fRtsControl = RTS_CONTROL_DISABLE;
    state->fNull = TRUE;
}

[[noreturn]] void fatal_port_error(int code, const char* format, const char* name) {
    char message[1200];
    std::snprintf(message, sizeof message, format, name, system_error_text());
    trace_error(code == 26 ? "read" : "set time-outs", system_error_text());
    fatal_exit(code, message);
    std::abort();  // fatal_exit does not return with a non-zero code
}

void set_read_timeouts(const char* name, const comm_timeouts& timeouts) {
    COMMTIMEOUTS set = system_timeouts(timeouts);
    if (!SetCommTimeouts(port_handle, &set)) {
        fatal_port_error(25, "\a\aError: could not set the comm timeouts for port %s: %s\n",
                         name);
    }
}

}  // namespace

int open_port(const char* name, int32_t baud) {
    if (int refused = check_open_arguments(name)) return refused;
    // A port number opens \\.\COM<n>; a device path is opened as written.
    char path[sizeof "\\\\.\\" + 256];
    std::snprintf(path, sizeof path, "%s%s", port_argument_is_path(name) ? "" : "\\\\.\\", name);
    open_error = 0;
    port_handle = CreateFileA(path, GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0,
                              nullptr);
    if (port_handle == INVALID_HANDLE_VALUE) {
        open_error = GetLastError();
        std::snprintf(refused_port, sizeof refused_port, "%s", name);
        SetLastError(open_error);
        std::printf("\a\aError: cannot open COM port %s: %s\n", name, system_error_text());
        trace_open(name, baud, system_error_text());
        return -2;
    }

    // A baud outside the table is refused before set_comm_prop touches the
    // port, and would leave it open and held against the next opening.
    if (set_comm_prop(name, baud) != 0) {
        close_port();
        trace_open(name, baud, system_error_text());
        return -3;
    }

    port_timeouts = standing_timeouts(static_cast<int32_t>(port_state.BaudRate));
    COMMTIMEOUTS standing = system_timeouts(port_timeouts);
    if (!SetCommTimeouts(port_handle, &standing)) {
        close_after_failure("\a\aError: could not set the comm timeouts for port %s: %s\n", name);
        trace_open(name, baud, system_error_text());
        return -14;
    }
    trace_open(name, baud, nullptr);
    purge_port();
    return 0;
}

int set_comm_prop(const char* name, int32_t baud) {
    if (int refused = check_comm_prop_arguments(name, baud)) return refused;

    int code = 0;
    COMMPROP* properties = read_comm_properties(name, &code);
    if (properties == nullptr) return code;
    code = check_comm_properties(name, *properties);
    std::free(properties);
    if (code != 0) {
        close_port();
        return code;
    }

    if (!GetCommState(port_handle, &port_state)) {
        close_after_failure("\a\aError: could not get the comm state for port %s: %s\n", name);
        return -12;
    }
    set_line_fields(&port_state, static_cast<DWORD>(baud));
    if (!SetCommState(port_handle, &port_state)) {
        close_after_failure("\a\aError: could not set the comm state for port %s: %s\n", name);
        return -13;
    }
    trace_rate(baud);
    return 0;
}

int write_port(const char* name, const void* bytes, int count) {
    if (int refused = check_write_arguments(name, bytes, count)) return refused;
    DWORD written = 0;
    BOOL done = WriteFile(port_handle, bytes, static_cast<DWORD>(count), &written, nullptr);
    trace_bytes(trace_direction::out, bytes, static_cast<int>(written));
    if (!done || written != static_cast<DWORD>(count)) {
        // A write whose time-out ran out succeeds with fewer bytes: that is a failure too.
        if (done) {
            SetLastError(ERROR_COUNTER_TIMEOUT);
            trace_timeout("write", write_time_limit(port_timeouts, count),
                          static_cast<int>(written), count);
        } else {
            trace_error("write", system_error_text());
        }
        std::printf("\a\aError: wrote %d of %d, got error on port %s: %s\n",
                    static_cast<int>(written), count, name, system_error_text());
        return -3;
    }
    return count;
}

int read_port(const char* name, void* buffer, int size, int timeout_ms) {
    check_read_arguments(name, buffer, size);

    if (port_handle == INVALID_HANDLE_VALUE) {
        SetLastError(ERROR_INVALID_HANDLE);
        fatal_port_error(26, "\a\aError: could not read on COM port %s: %s\n", name);
    }
    comm_timeouts timeouts =
        read_timeouts(port_timeouts, static_cast<int32_t>(port_state.BaudRate), timeout_ms);
    set_read_timeouts(name, timeouts);
    const uint64_t limit_ms = read_time_limit(timeouts, size);
    const auto deadline = deadline_after(port_clock::now(), limit_ms);

    auto* into = static_cast<unsigned char*>(buffer);
    int got = 0;
    for (;;) {
        DWORD arrived = 0;
        if (!ReadFile(port_handle, into + got, static_cast<DWORD>(size - got), &arrived,
                      nullptr)) {
            fatal_port_error(26, "\a\aError: could not read on COM port %s: %s\n", name);
        }
        trace_bytes(trace_direction::in, into + got, static_cast<int>(arrived));
        int kept = drop_nul_bytes(into + got, static_cast<int>(arrived));
        got += kept;
        // A read that came back short with nothing dropped ran out of time.
        if (got == size || kept == static_cast<int>(arrived)) break;
        int left_ms = wait_ms_until(port_clock::now(), deadline);
        if (left_ms == 0) break;
        // Dropped NULs took places of the request: wait for the rest in the time left.
        timeouts.ReadTotalTimeoutMultiplier = 0;
        timeouts.ReadTotalTimeoutConstant = static_cast<uint32_t>(left_ms);
        set_read_timeouts(name, timeouts);
    }
    if (got < size) trace_timeout("read", limit_ms, got, size);
    // Dropped NULs leave received bytes behind the count; a caller that looks
    // past the count (a dump of a whole answer) must find only zeros there.
    std::memset(into + got, 0, static_cast<size_t>(size - got));
    return got;
}

// Received bytes not yet read are discarded, and so is output still queued in
// the driver. The transmit queue is cleared only when the driver reports bytes
// in it (or cannot tell): bytes that an earlier write has already handed on
// must arrive. Under Wine a port may be a pty, where a cleared transmit queue
// is the other end's unread input: the "host" command of a baud change, right
// before the port is reopened, would be lost.
void purge_port() {
    DWORD purge = PURGE_RXCLEAR;
    DWORD errors = 0;
    COMSTAT queues{};
    const bool queues_known = ClearCommError(port_handle, &errors, &queues);
    if (!queues_known || queues.cbOutQue > 0) purge |= PURGE_TXCLEAR;
    trace_purge(queues_known ? static_cast<long>(queues.cbInQue) : -1);
    PurgeComm(port_handle, purge);
}

// Windows keeps no lock beside the open handle, so nothing is given away by
// closing it: the rate changes by a fresh opening, as the program has always
// done it there.
int change_port_rate(const char* name, int32_t baud) {
    close_port();
    return open_port(name, baud);
}

void close_port() {
    if (port_handle == INVALID_HANDLE_VALUE) return;
    trace_close();
    CloseHandle(port_handle);
    port_handle = INVALID_HANDLE_VALUE;
}

// Anyone may read an FTDI adapter's timer in its device parameters.
int adapter_latency_timer_ms(const char* name) {
    return adapter_latency_ms(read_com_machine(), name);
}

// Windows gives a COM port to whoever opens it first: a refused port is held
// by another program (which only an administrator could name), and a missing
// one is told apart from the ports that exist and from an adapter whose
// driver does not work.
void print_open_hint() {
    const bool in_use = open_error == ERROR_ACCESS_DENIED || open_error == ERROR_SHARING_VIOLATION;
    const bool absent = open_error == ERROR_FILE_NOT_FOUND || open_error == ERROR_PATH_NOT_FOUND;
    if (!in_use && !absent) return;
    std::fputs(open_hint(read_com_machine(), refused_port, in_use).c_str(), stdout);
}
