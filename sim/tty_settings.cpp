#include "sim/tty_settings.h"

#include <asm/termbits.h>
#include <sys/ioctl.h>

namespace sim {

namespace {

struct Rate {
    int32_t rate;
    tcflag_t code;  // BOTHER: set as an explicit rate
};

// Rates with a classic speed code are set with it, so that a host that reads
// the line with cfgetospeed finds a rate it knows.
constexpr Rate rates[] = {
    {110, B110},     {300, B300},     {600, B600},       {1200, B1200},   {2400, B2400},
    {4800, B4800},   {9600, B9600},   {14400, BOTHER},   {19200, B19200}, {38400, B38400},
    {56000, BOTHER}, {57600, B57600}, {115200, B115200},
};

const Rate* find_rate(int32_t rate) {
    for (const Rate& known : rates) {
        if (known.rate == rate) return &known;
    }
    return nullptr;
}

// termios or termios2: raw, 8N1, no flow control, at the speed code.
template <typename Settings>
void make_raw(Settings& state, tcflag_t code) {
    state.c_iflag = 0;
    state.c_oflag = 0;
    state.c_lflag = 0;
    state.c_cflag = CS8 | CLOCAL | CREAD | code | code << IBSHIFT;
    state.c_cc[VMIN] = 1;
    state.c_cc[VTIME] = 0;
}

}  // namespace

bool device_rate(int32_t rate) {
    return find_rate(rate) != nullptr;
}

// A rate with a classic code goes through the classic calls (TCSETS, TCGETS),
// which work wherever a terminal does; termios2 is needed only for the
// others, and some emulated systems (qemu-user) lack it.
int set_raw_line(int fd, int32_t rate) {
    const Rate* known = find_rate(rate);
    tcflag_t code = known != nullptr ? known->code : BOTHER;
    if (code != BOTHER) {
        termios state{};
        if (ioctl(fd, TCGETS, &state) != 0) return -1;
        make_raw(state, code);
        return ioctl(fd, TCSETS, &state) == 0 ? 0 : -1;
    }
    termios2 state{};
    if (ioctl(fd, TCGETS2, &state) != 0) return -1;
    make_raw(state, code);
    state.c_ospeed = static_cast<speed_t>(rate);
    state.c_ispeed = static_cast<speed_t>(rate);
    return ioctl(fd, TCSETS2, &state) == 0 ? 0 : -1;
}

int32_t line_rate(int fd) {
    termios classic{};
    if (ioctl(fd, TCGETS, &classic) != 0) return -1;
    const tcflag_t code = classic.c_cflag & CBAUD;
    if (code == B0) return 0;  // the host has hung up its end
    for (const Rate& known : rates) {
        if (known.code == code && code != BOTHER) return known.rate;
    }
    termios2 state{};
    if (ioctl(fd, TCGETS2, &state) != 0) return -1;
    return static_cast<int32_t>(state.c_ospeed);
}

}  // namespace sim
