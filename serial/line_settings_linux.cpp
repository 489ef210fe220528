#include <asm/termbits.h>
#include <sys/ioctl.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>

#include "serial/line_settings.h"

namespace {

// The port's settings, read by read_line_settings and kept afterwards.
termios2 port_state{};

// The settings the terminal had when the port was taken.
termios2 original_state{};

// Rates that have a classic speed code are set and read with the classic
// calls (TCSETS, TCGETS): a program that reads the rate with cfgetospeed knows
// only the codes (Wine's serial layer refuses a line it finds at an explicit
// rate), and the classic calls work wherever a terminal does, while termios2
// is missing where Linux is emulated or sandboxed (qemu-user, WSL 1, some
// seccomp filters). termios2 serves the rates without a code (BOTHER).
struct speed_code {
    int32_t rate;
    tcflag_t code;
};

constexpr speed_code speed_codes[] = {
    {0, B0},               {50, B50},             {75, B75},             {110, B110},
    {134, B134},           {150, B150},           {200, B200},           {300, B300},
    {600, B600},           {1200, B1200},         {1800, B1800},         {2400, B2400},
    {4800, B4800},         {9600, B9600},         {19200, B19200},       {38400, B38400},
    {57600, B57600},       {115200, B115200},     {230400, B230400},     {460800, B460800},
    {500000, B500000},     {576000, B576000},     {921600, B921600},     {1000000, B1000000},
    {1152000, B1152000},   {1500000, B1500000},   {2000000, B2000000},   {2500000, B2500000},
    {3000000, B3000000},   {3500000, B3500000},   {4000000, B4000000},
};

tcflag_t speed_code_of(int32_t baud) {
    for (const speed_code& entry : speed_codes) {
        if (entry.rate == baud) return entry.code;
    }
    return BOTHER;
}

// The rate of a code other than BOTHER; -1 for a code the table lacks.
int32_t rate_of_code(tcflag_t code) {
    for (const speed_code& entry : speed_codes) {
        if (entry.code == code) return entry.rate;
    }
    return -1;
}

// The settings of a terminal, with both rates. An input code of B0 means the
// input runs at the output rate.
int get_settings(int fd, termios2& state) {
    termios classic{};
    if (ioctl(fd, TCGETS, &classic) != 0) return -1;
    const tcflag_t out_code = classic.c_cflag & CBAUD;
    const tcflag_t in_code = (classic.c_cflag >> IBSHIFT) & CBAUD;
    const int32_t out_rate = rate_of_code(out_code);
    const int32_t in_rate = in_code == B0 ? out_rate : rate_of_code(in_code);
    if (out_code == BOTHER || in_code == BOTHER || out_rate < 0 || in_rate < 0) {
        return ioctl(fd, TCGETS2, &state);
    }
    state.c_iflag = classic.c_iflag;
    state.c_oflag = classic.c_oflag;
    state.c_cflag = classic.c_cflag;
    state.c_lflag = classic.c_lflag;
    state.c_line = classic.c_line;
    static_assert(sizeof state.c_cc == sizeof classic.c_cc);
    std::memcpy(state.c_cc, classic.c_cc, sizeof state.c_cc);
    state.c_ospeed = static_cast<speed_t>(out_rate);
    state.c_ispeed = static_cast<speed_t>(in_rate);
    return 0;
}

// Writes settings whose rates are those of their codes, with the classic call
// where both codes are classic.
int set_settings(int fd, const termios2& state) {
    if ((state.c_cflag & CBAUD) == BOTHER || ((state.c_cflag >> IBSHIFT) & CBAUD) == BOTHER) {
        return ioctl(fd, TCSETS2, &state);
    }
    termios classic{};
    classic.c_iflag = state.c_iflag;
    classic.c_oflag = state.c_oflag;
    classic.c_cflag = state.c_cflag;
    classic.c_lflag = state.c_lflag;
    classic.c_line = state.c_line;
    std::memcpy(classic.c_cc, state.c_cc, sizeof classic.c_cc);
    return ioctl(fd, TCSETS, &classic);
}

void make_raw_8n1(termios2& state, int32_t baud) {
    state.c_iflag &= ~static_cast<tcflag_t>(IGNBRK | BRKINT | PARMRK | ISTRIP | INLCR | IGNCR |
                                            ICRNL | IXON | IXOFF | IXANY | INPCK);
    state.c_oflag &= ~static_cast<tcflag_t>(OPOST);
    state.c_lflag &= ~static_cast<tcflag_t>(ECHO | ECHONL | ICANON | ISIG | IEXTEN);
    state.c_cflag &= ~static_cast<tcflag_t>(CSIZE | PARENB | CSTOPB | CRTSCTS | HUPCL);
    state.c_cflag |= CS8 | CLOCAL | CREAD;
    state.c_cc[VMIN] = 1;
    state.c_cc[VTIME] = 0;
    // Both directions at the same rate.
    const tcflag_t code = speed_code_of(baud);
    state.c_cflag &= ~static_cast<tcflag_t>(CBAUD | (CBAUD << IBSHIFT));
    state.c_cflag |= code | (code << IBSHIFT);
    state.c_ospeed = static_cast<speed_t>(baud);
    state.c_ispeed = static_cast<speed_t>(baud);
}

// A UART reaches most rates only approximately; 2 % stays inside what a
// receiver tolerates. In 64 bits: a 32-bit long (armhf) overflows for a rate
// far off.
bool close_rate(speed_t actual, int32_t wanted) {
    return std::abs(static_cast<int64_t>(actual) - int64_t{wanted}) * 50 <= wanted;
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
    return get_settings(fd, port_state) == 0 ? 0 : -1;
}

int keep_original_line_settings(int fd) {
    return get_settings(fd, original_state) == 0 ? 0 : -1;
}

int restore_original_line_settings(int fd) {
    return set_settings(fd, original_state) == 0 ? 0 : -1;
}

int write_line_settings(int fd, int32_t baud) {
    make_raw_8n1(port_state, baud);
    if (set_settings(fd, port_state) != 0) return -1;
    termios2 actual{};
    if (get_settings(fd, actual) != 0) return -1;
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
    if (get_settings(fd, state) != 0) return -1;
    return static_cast<int32_t>(state.c_ospeed);
}
