#include "tests/serial/pty_pair.h"

#include <asm/termbits.h>
#include <poll.h>
#include <sys/ioctl.h>

#include <cerrno>

std::string PtyPair::received(size_t count, int wait_ms) const {
    std::string bytes;
    while (bytes.size() < count) {
        pollfd watch{master_, POLLIN, 0};
        if (poll(&watch, 1, wait_ms) <= 0 || !(watch.revents & POLLIN)) break;
        char buffer[256];
        ssize_t got = read(master_, buffer, sizeof buffer);
        if (got <= 0) break;
        bytes.append(buffer, static_cast<size_t>(got));
    }
    return bytes;
}

namespace {

// A pty of its own; `slave` is open, -1 when none could be made.
struct ProbePty {
    ProbePty() {
        master = posix_openpt(O_RDWR | O_NOCTTY);
        if (master < 0 || grantpt(master) != 0 || unlockpt(master) != 0) return;
        path = ptsname(master);
        slave = open(path.c_str(), O_RDWR | O_NOCTTY);
    }
    ~ProbePty() {
        if (slave >= 0) close(slave);
        if (master >= 0) close(master);
    }
    int master = -1;
    int slave = -1;
    std::string path;
};

}  // namespace

bool explicit_rates_settable() {
    ProbePty pty;
    termios2 settings{};
    return pty.slave >= 0 && ioctl(pty.slave, TCGETS2, &settings) == 0 &&
           ioctl(pty.slave, TCSETS2, &settings) == 0;
}

bool exclusive_flag_binds_this_process() {
    ProbePty pty;
    if (pty.slave < 0 || ioctl(pty.slave, TIOCEXCL) != 0) return false;
    int again = open(pty.path.c_str(), O_RDWR | O_NOCTTY);
    if (again >= 0) close(again);
    return again < 0 && errno == EBUSY;
}

int exclusive_flag(int fd) {
    int exclusive = 0;
    if (ioctl(fd, TIOCGEXCL, &exclusive) == 0) return exclusive != 0 ? 1 : 0;
    return exclusive_flag_binds_this_process() ? 0 : -1;
}
