#include "tests/serial/driver_faults.h"

#include <asm/termbits.h>
#include <dlfcn.h>
#include <linux/serial.h>
#include <sys/ioctl.h>

#include <cerrno>
#include <cstdarg>
#include <vector>

namespace {

uint32_t kept_rate = 0;
uint32_t kept_control_bits = 0;
int settings_refusal = 0;
bool termios2_missing = false;
std::vector<int> output_queue_counts;
std::vector<int> flushes;
int serial_flags = -1;
std::vector<int> serial_flags_written;
std::vector<unsigned long> requests;

using ioctl_function = int (*)(int, unsigned long, ...);
using tcflush_function = int (*)(int, int);

ioctl_function system_ioctl() {
    static auto real = reinterpret_cast<ioctl_function>(dlsym(RTLD_NEXT, "ioctl"));
    return real;
}

tcflush_function system_tcflush() {
    static auto real = reinterpret_cast<tcflush_function>(dlsym(RTLD_NEXT, "tcflush"));
    return real;
}

// The classic code the kernel reports for the kept rate.
tcflag_t kept_code() {
    constexpr struct {
        uint32_t rate;
        tcflag_t code;
    } codes[] = {{9600, B9600}, {19200, B19200}, {38400, B38400}, {57600, B57600}};
    for (const auto& classic : codes) {
        if (kept_rate * 50 >= classic.rate * 49 && kept_rate * 50 <= classic.rate * 51) {
            return classic.code;
        }
    }
    return BOTHER;
}

}  // namespace

void driver_keeps(uint32_t rate, uint32_t control_bits) {
    kept_rate = rate;
    kept_control_bits = control_bits;
}

void driver_refuses_settings(int error) {
    settings_refusal = error;
}

void driver_lacks_termios2() {
    termios2_missing = true;
}

void driver_reports_output_queue(std::initializer_list<int> counts) {
    output_queue_counts.assign(counts.begin(), counts.end());
}

int output_queue_reports_left() {
    return static_cast<int>(output_queue_counts.size());
}

std::vector<int> take_flushes() {
    std::vector<int> taken;
    taken.swap(flushes);
    return taken;
}

void driver_has_serial_flags(int flags) {
    serial_flags = flags;
}

std::vector<int> take_serial_flags_written() {
    std::vector<int> taken;
    taken.swap(serial_flags_written);
    return taken;
}

std::vector<unsigned long> take_requests() {
    std::vector<unsigned long> taken;
    taken.swap(requests);
    return taken;
}

void driver_behaves() {
    driver_keeps(0, 0);
    driver_refuses_settings(0);
    driver_has_serial_flags(-1);
    termios2_missing = false;
    output_queue_counts.clear();
}

extern "C" int ioctl(int fd, unsigned long request, ...) noexcept {
    va_list arguments;
    va_start(arguments, request);
    void* argument = va_arg(arguments, void*);
    va_end(arguments);

    requests.push_back(request);
    if (request == TIOCGSERIAL && serial_flags >= 0) {
        *static_cast<serial_struct*>(argument) = serial_struct{};
        static_cast<serial_struct*>(argument)->flags = serial_flags;
        return 0;
    }
    if (request == TIOCSSERIAL && serial_flags >= 0) {
        serial_flags = static_cast<serial_struct*>(argument)->flags;
        serial_flags_written.push_back(serial_flags);
        return 0;
    }
    if (request == TIOCOUTQ && !output_queue_counts.empty()) {
        *static_cast<int*>(argument) = output_queue_counts.front();
        output_queue_counts.erase(output_queue_counts.begin());
        return 0;
    }
    if ((request == TCGETS2 || request == TCSETS2) && termios2_missing) {
        errno = ENOTTY;
        return -1;
    }
    if ((request == TCSETS || request == TCSETS2) && settings_refusal != 0) {
        errno = settings_refusal;
        return -1;
    }
    // A driver reports the rate it keeps as the kernel does: by the code of
    // a classic rate within 2 % of it, else as an explicit rate (BOTHER),
    // which only termios2 tells.
    if (request == TCGETS2 && kept_rate != 0) {
        auto* settings = static_cast<termios2*>(argument);
        int result = ioctl(fd, TCGETS, argument);  // the same fields, as this driver has them
        settings->c_ospeed = settings->c_ispeed = kept_rate;
        return result;
    }
    int result = system_ioctl()(fd, request, argument);
    if (request == TCGETS2 && result == 0) {
        static_cast<termios2*>(argument)->c_cflag |= kept_control_bits;
    }
    if (request == TCGETS && result == 0) {
        auto* settings = static_cast<termios*>(argument);
        if (kept_rate != 0) {
            tcflag_t code = kept_code();
            settings->c_cflag &= ~static_cast<tcflag_t>(CBAUD | CBAUD << IBSHIFT);
            settings->c_cflag |= code | code << IBSHIFT;
        }
        settings->c_cflag |= kept_control_bits;
    }
    return result;
}

extern "C" int tcflush(int fd, int queue) noexcept {
    flushes.push_back(queue);
    return system_tcflush()(fd, queue);
}
