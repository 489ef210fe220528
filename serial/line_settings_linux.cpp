#include <asm/termbits.h>
#include <sys/ioctl.h>

#include <cerrno>
#include <cstdlib>

#include "serial/line_settings.h"

namespace {

// The port's settings, read by read_line_settings and kept afterwards.
termios2 port_state{};

void make_raw_8n1(termios2& state, int32_t baud) {
    state.c_iflag &= ~static_cast<tcflag_t>(IGNBRK | BRKINT | PARMRK | ISTRIP | INLCR | IGNCR |
                                            ICRNL | IXON | IXOFF | IXANY | INPCK);
    state.c_oflag &= ~static_cast<tcflag_t>(OPOST);
    state.c_lflag &= ~static_cast<tcflag_t>(ECHO | ECHONL | ICANON | ISIG | IEXTEN);
    state.c_cflag &= ~static_cast<tcflag_t>(CSIZE | PARENB | CSTOPB | CRTSCTS | HUPCL);
    state.c_cflag |= CS8 | CLOCAL | CREAD;
    state.c_cc[VMIN] = 1;
    state.c_cc[VTIME] = 0;
    // Both directions at an explicit rate.
    state.c_cflag &= ~static_cast<tcflag_t>(CBAUD | (CBAUD << IBSHIFT));
    state.c_cflag |= BOTHER | (BOTHER << IBSHIFT);
    state.c_ospeed = static_cast<speed_t>(baud);
    state.c_ispeed = static_cast<speed_t>(baud);
}

// A UART reaches most rates only approximately; 2 % stays inside what a
// receiver tolerates.
bool close_rate(speed_t actual, int32_t wanted) {
    return std::abs(static_cast<long>(actual) - static_cast<long>(wanted)) * 50 <= wanted;
}

bool took_settings(const termios2& actual, int32_t baud) {
    const tcflag_t wanted = CS8 | CLOCAL | CREAD;
    const tcflag_t unwanted = PARENB | CSTOPB | CRTSCTS;
    return (actual.c_cflag & (CSIZE | wanted | unwanted)) == wanted &&
           (actual.c_iflag & (IXON | IXOFF)) == 0 && close_rate(actual.c_ospeed, baud) &&
           close_rate(actual.c_ispeed, baud);
}

}  // namespace

int read_line_settings(int fd) {
    return ioctl(fd, TCGETS2, &port_state) == 0 ? 0 : -1;
}

int write_line_settings(int fd, int32_t baud) {
    make_raw_8n1(port_state, baud);
    if (ioctl(fd, TCSETS2, &port_state) != 0) return -1;
    termios2 actual{};
    if (ioctl(fd, TCGETS2, &actual) != 0) return -1;
    if (!took_settings(actual, baud)) {
        errno = EINVAL;
        return -1;
    }
    return 0;
}

int32_t line_settings_baud() {
    return static_cast<int32_t>(port_state.c_ospeed);
}

int32_t terminal_rate(int fd) {
    termios2 state{};
    if (ioctl(fd, TCGETS2, &state) != 0) return -1;
    return static_cast<int32_t>(state.c_ospeed);
}
