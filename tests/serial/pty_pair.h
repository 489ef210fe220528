#pragma once

#include <fcntl.h>
#include <stdlib.h>
#include <unistd.h>

#include <cstdlib>
#include <string>

// A pty pair made by a test: the test plays the device on the master, and
// the port layer opens the slave as COM<number> through VESTRIMOND_COM<number>.
class PtyPair {
  public:
    explicit PtyPair(int number = 7) : name_("COM" + std::to_string(number)) {
        master_ = posix_openpt(O_RDWR | O_NOCTTY | O_NONBLOCK);
        if (master_ < 0 || grantpt(master_) != 0 || unlockpt(master_) != 0) return;
        slave_ = ptsname(master_);
        setenv(("VESTRIMOND_" + name_).c_str(), slave_.c_str(), 1);
    }
    ~PtyPair() {
        if (master_ >= 0) close(master_);
    }
    PtyPair(const PtyPair&) = delete;
    PtyPair& operator=(const PtyPair&) = delete;

    const char* name() const { return name_.c_str(); }
    const std::string& slave() const { return slave_; }
    int master() const { return master_; }

    void send(const std::string& bytes) const {
        if (write(master_, bytes.data(), bytes.size()) != static_cast<ssize_t>(bytes.size())) {
            std::abort();
        }
    }

    // What the host wrote, waiting up to `wait_ms` for `count` bytes.
    std::string received(size_t count, int wait_ms = 1000) const;

    void hang_up() {
        close(master_);
        master_ = -1;
    }

  private:
    std::string name_;
    std::string slave_;
    int master_ = -1;
};

// Where the ARM builds' tests run under qemu-user, a few terminal ioctls are
// not translated: TCGETS2 and TCSETS2 (termios2), TIOCGEXCL. These tell what
// this system does, on a pty of their own.

// True when rates without a classic speed code can be set (termios2).
bool explicit_rates_settable();

// True when a terminal's exclusive flag keeps this process out (any process
// but one privileged on the machine's terminals).
bool exclusive_flag_binds_this_process();

// The exclusive flag of the terminal open on `fd`: 1 or 0, or -1 when it
// cannot be told. Without TIOCGEXCL, a process that the flag binds has just
// seen it clear by opening the terminal at all; another one cannot tell.
int exclusive_flag(int fd);
