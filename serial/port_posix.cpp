#include <fcntl.h>
#include <grp.h>
#include <linux/serial.h>
#include <poll.h>
#include <pwd.h>
#include <signal.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "diagnostics/fatal_exit.h"
#include "serial/line_settings.h"
#include "serial/nul_bytes.h"
#include "serial/port.h"
#include "serial/port_arguments.h"
#include "serial/port_path.h"
#include "diagnostics/system.h"
#include "serial/system_posix.h"
#include "serial/timeouts.h"
#include "serial/trace.h"
#include "serial/uucp_lock.h"

namespace {

// The one open port, -1 when none is open. A signal handler reads it too.
volatile std::sig_atomic_t port_handle = -1;

// The standing time-outs, set by open_port from the port's baud, and the set
// of the last read.
comm_timeouts port_timeouts{};
comm_timeouts read_set{};

// The device that the last open_port was refused for want of permission,
// empty when it was not.
char denied_path[256];

// The UUCP lock file this program holds for the port, empty when none; and
// the one that kept the last open_port off the device, with its holder.
char lock_file[300];
char held_lock_file[300];
char held_path[256];
pid_t lock_holder = 0;

// The driver's serial flags as the port had them before this program asked
// for low latency; restored when the port is released.
serial_struct saved_serial{};
volatile std::sig_atomic_t serial_flags_changed = 0;

// Set once the line settings the port had before are kept: they are given
// back when the port is released.
volatile std::sig_atomic_t line_settings_kept = 0;

// A write drains the output queue before it returns; this is how often it
// looks whether the queue is empty.
constexpr unsigned drain_poll_ms = 1;

// DTR and RTS are held off. A pty has no modem lines and refuses; that is fine.
void clear_modem_lines(int fd) {
    int lines = TIOCM_DTR | TIOCM_RTS;
    ioctl(fd, TIOCMBIC, &lines);
}

// Exclusive use: a second program opening the port gets EWOULDBLOCK from the
// lock (TIOCEXCL alone does not stop a privileged program). The open has
// raised DTR and RTS: they go down as soon as the port is ours, and not
// before, since they may be another program's.
int take_exclusive_use(int fd) {
    if (flock(fd, LOCK_EX | LOCK_NB) != 0) return -1;
    clear_modem_lines(fd);
    if (ioctl(fd, TIOCEXCL) != 0) return -1;
    return 0;
}

// A USB adapter holds the bytes it receives up to its latency timer (16 ms on
// most FTDI adapters) before it hands them on: with one answer byte per
// firmware record, that slows an update down by up to half. Asked for low
// latency, the driver hands them on at once (an FTDI adapter's timer goes to
// 1 ms). A driver or pty that does not know the request is fine.
void ask_for_low_latency(int fd) {
    serial_flags_changed = 0;
    if (ioctl(fd, TIOCGSERIAL, &saved_serial) != 0) return;
    if (saved_serial.flags & ASYNC_LOW_LATENCY) return;
    serial_struct low_latency = saved_serial;
    low_latency.flags |= ASYNC_LOW_LATENCY;
    serial_flags_changed = ioctl(fd, TIOCSSERIAL, &low_latency) == 0;
}

// Takes the UUCP lock of the device at `path`, unless another program holds
// it; remembers that program for the hint.
int take_device_lock(const char* path) {
    lock_holder = 0;
    char name[sizeof lock_file];
    if (!uucp_lock_name(path, uucp_lock_folder(), name, sizeof name)) return 0;
    if (uucp_lock_take(name) != 0) {
        if (errno != EBUSY) return -1;
        std::snprintf(held_lock_file, sizeof held_lock_file, "%s", name);
        std::snprintf(held_path, sizeof held_path, "%s", path);
        lock_holder = uucp_lock_holder(name);
        errno = EBUSY;
        return -1;
    }
    std::snprintf(lock_file, sizeof lock_file, "%s", name);
    return 0;
}

// Lets go of the port's lock file, if this program took one. Safe in a
// signal handler.
void release_device_lock() {
    if (lock_file[0] != '\0') uucp_lock_release(lock_file);
    lock_file[0] = '\0';
}

// Lets go of the open port: the line settings and serial flags as they were,
// the exclusive flag cleared (it stays with the terminal, not with this
// handle, and a pty whose other end is still open would refuse the next
// open), the device closed and its lock file removed. A signal handler calls
// it too, so it makes only calls that are safe there, and a signal that comes
// in the middle of it only repeats the steps already done.
void release_port() {
    int fd = port_handle;
    if (fd >= 0) {
        if (line_settings_kept) restore_original_line_settings(fd);
        line_settings_kept = 0;
        if (serial_flags_changed) ioctl(fd, TIOCSSERIAL, &saved_serial);
        serial_flags_changed = 0;
        ioctl(fd, TIOCNXCL);
        flock(fd, LOCK_UN);
        close(fd);
        port_handle = -1;
    }
    release_device_lock();
}

// The signals that end the program without its own say: interrupt,
// termination, a hang-up of its terminal, and the abort of fatal_exit.
constexpr int ending_signals[] = {SIGINT, SIGTERM, SIGHUP, SIGQUIT, SIGABRT};

// Releases the port, then ends the program by the signal as if it had not
// been caught: the default action is back and the signal, blocked while its
// handler runs, is delivered again on return.
void release_port_and_end(int signal_number) {
    release_port();
    struct sigaction default_action {};
    default_action.sa_handler = SIG_DFL;
    sigemptyset(&default_action.sa_mask);
    sigaction(signal_number, &default_action, nullptr);
    raise(signal_number);
}

// The port is released at every end of the program, as close_port does, and
// nothing is sent. A signal that was ignored when the program started stays
// ignored. A closed standard output (a pipe into a program that has ended)
// does not end the program in the middle of a device exchange: from the
// first opening on, writing to it only fails.
void release_port_at_every_end() {
    static bool arranged = false;
    if (arranged) return;
    arranged = true;
    signal(SIGPIPE, SIG_IGN);
    std::atexit(release_port);
    for (int signal_number : ending_signals) {
        struct sigaction before {};
        if (sigaction(signal_number, nullptr, &before) != 0 || before.sa_handler == SIG_IGN) {
            continue;
        }
        struct sigaction release {};
        release.sa_handler = release_port_and_end;
        sigemptyset(&release.sa_mask);
        sigaction(signal_number, &release, nullptr);
    }
}

// The terminal's exclusive flag may be another program's: it is left alone.
void fail_open(const char* name, int32_t baud, int fd) {
    remember_system_error();
    if (fd >= 0) close(fd);
    release_device_lock();
    std::printf("\a\aError: cannot open COM port %s: %s\n", name, system_error_text());
    trace_open(name, baud, system_error_text());
}

// Waits until the output queue is empty or the deadline has passed.
void drain_output(port_clock::time_point deadline) {
    for (;;) {
        int queued = 0;
        if (ioctl(port_handle, TIOCOUTQ, &queued) != 0 || queued <= 0) return;
        if (wait_ms_until(port_clock::now(), deadline) == 0) return;
        sleep_ms(drain_poll_ms);
    }
}

// Waits until what was written has left the line, the UART's own queue
// included: a rate change must not reach the last bytes written at the old
// rate (the "host" command of a baud change).
void wait_until_sent() {
    while (ioctl(port_handle, TCSBRK, 1) != 0 && errno == EINTR) {
    }
}

// Discards what arrived and was not read.
void discard_input() {
    int waiting = 0;
    trace_purge(ioctl(port_handle, FIONREAD, &waiting) == 0 ? waiting : -1);
    tcflush(port_handle, TCIFLUSH);
}

// Sets the open port's line at `baud` and its time-outs to match, then
// discards what arrived. A rate change after the drain leaves the transmit
// queue alone: on a pty, flushing it would take back from the far end what
// was written and not yet read there ("host N" itself). After a failure no port is open.
// `opening`: the port's opening ends here, and the trace tells it.
int set_rate_and_purge(const char* name, int32_t baud, bool opening) {
    // A baud outside the table is refused before set_comm_prop touches the
    // port, and would leave it open and locked against the next opening.
    if (set_comm_prop(name, baud) != 0) {
        close_port();
        if (opening) trace_open(name, baud, system_error_text());
        return -3;
    }
    // The time-outs cannot be refused here: they are kept by this layer, not
    // by the driver.
    port_timeouts = standing_timeouts(line_settings_baud());
    read_set = port_timeouts;
    if (opening) {
        trace_open(name, baud, nullptr);
        purge_port();
    } else {
        discard_input();
    }
    return 0;
}

[[noreturn]] void fail_read(const char* name) {
    char message[1400];  // a port path of 255 characters and the system's text, whole
    std::snprintf(message, sizeof message, "\a\aError: could not read on COM port %s: %s\n", name,
                  system_error_text());
    trace_error("read", system_error_text());
    fatal_exit(26, message);
    std::abort();  // fatal_exit does not return with a non-zero code
}

// Waits for input until the deadline; true when there is something to read
// (or a condition that a read will report).
bool wait_for_input(const char* name, port_clock::time_point deadline) {
    for (;;) {
        pollfd watch{port_handle, POLLIN, 0};
        int ready = poll(&watch, 1, wait_ms_until(port_clock::now(), deadline));
        if (ready > 0) return true;
        if (ready == 0) return false;
        if (errno != EINTR) {
            remember_system_error();
            fail_read(name);
        }
    }
}

}  // namespace

int open_port(const char* name, int32_t baud) {
    if (int refused = check_open_arguments(name)) return refused;
    denied_path[0] = held_lock_file[0] = '\0';
    char path[256];
    if (!port_device_path(name, path, sizeof path)) {
        fail_open(name, baud, -1);
        return -2;
    }
    release_port_at_every_end();
    // A device that another program has locked is not even opened: opening
    // it would raise its DTR and RTS under that program.
    if (take_device_lock(path) != 0) {
        fail_open(name, baud, -1);
        return -2;
    }
    // The port counts as open, and is released at the program's end, only
    // once it is ours alone.
    int fd = open(path, O_RDWR | O_NOCTTY | O_NONBLOCK);
    if (fd < 0 && errno == EACCES) std::snprintf(denied_path, sizeof denied_path, "%s", path);
    if (fd < 0 || take_exclusive_use(fd) != 0) {
        fail_open(name, baud, fd);
        return -2;
    }
    port_handle = fd;
    line_settings_kept = keep_original_line_settings(fd) == 0;
    ask_for_low_latency(port_handle);
    return set_rate_and_purge(name, baud, true);
}

// The descriptor, its exclusive flag, its lock and its lock file stay this
// program's: no other program can take the port between two rates, and the
// modem lines are not raised by another opening.
int change_port_rate(const char* name, int32_t baud) {
    if (port_handle < 0) return open_port(name, baud);
    if (int refused = check_open_arguments(name)) return refused;
    denied_path[0] = held_lock_file[0] = '\0';
    wait_until_sent();
    return set_rate_and_purge(name, baud, false);
}

int set_comm_prop(const char* name, int32_t baud) {
    if (int refused = check_comm_prop_arguments(name, baud)) return refused;
    // Any terminal can do 8N1 with time-outs; what is not a terminal cannot
    // tell its properties.
    termios properties;
    if (tcgetattr(port_handle, &properties) != 0) {
        remember_system_error();
        std::printf("\a\aError: could not get comm properties for port %s: %s\n", name,
                    system_error_text());
        close_port();
        return -4;
    }
    if (read_line_settings(port_handle) != 0) {
        remember_system_error();
        std::printf("\a\aError: could not get the comm state for port %s: %s\n", name,
                    system_error_text());
        close_port();
        return -12;
    }
    if (write_line_settings(port_handle, baud) != 0) {
        remember_system_error();
        std::printf("\a\aError: could not set the comm state for port %s: %s\n", name,
                    system_error_text());
        close_port();
        return -13;
    }
    // A line that was at B0 (hung up by another program) gets DTR and RTS
    // raised by the driver when it is given a rate: they go down again.
    clear_modem_lines(port_handle);
    trace_rate(baud);
    return 0;
}

int write_port(const char* name, const void* bytes, int count) {
    if (int refused = check_write_arguments(name, bytes, count)) return refused;
    const auto deadline = deadline_after(port_clock::now(), write_time_limit(port_timeouts, count));
    const auto* next = static_cast<const unsigned char*>(bytes);
    int written = 0;
    while (written < count) {
        ssize_t done = write(port_handle, next + written, static_cast<size_t>(count - written));
        if (done > 0) {
            trace_bytes(trace_direction::out, next + written, static_cast<int>(done));
            written += static_cast<int>(done);
            continue;
        }
        if (done < 0 && errno != EAGAIN && errno != EINTR) break;
        int wait = wait_ms_until(port_clock::now(), deadline);
        if (wait == 0) {
            errno = ETIMEDOUT;
            break;
        }
        pollfd watch{port_handle, POLLOUT, 0};
        poll(&watch, 1, wait);
    }
    if (written < count) {
        remember_system_error();
        if (errno == ETIMEDOUT) {
            trace_timeout("write", write_time_limit(port_timeouts, count), written, count);
        } else {
            trace_error("write", system_error_text());
        }
        std::printf("\a\aError: wrote %d of %d, got error on port %s: %s\n", written, count, name,
                    system_error_text());
        return -3;
    }
    drain_output(deadline);
    return count;
}

int read_port(const char* name, void* buffer, int size, int timeout_ms) {
    check_read_arguments(name, buffer, size);
    if (port_handle < 0) {
        errno = EBADF;
        remember_system_error();
        fail_read(name);
    }
    read_set = read_timeouts(port_timeouts, line_settings_baud(), timeout_ms);
    const auto deadline = deadline_after(port_clock::now(), read_time_limit(read_set, size));

    auto* into = static_cast<unsigned char*>(buffer);
    int got = 0;
    while (got < size && wait_for_input(name, deadline)) {
        ssize_t done = read(port_handle, into + got, static_cast<size_t>(size - got));
        if (done > 0) {
            trace_bytes(trace_direction::in, into + got, static_cast<int>(done));
            got += drop_nul_bytes(into + got, static_cast<int>(done));
            continue;
        }
        if (done < 0 && (errno == EINTR || errno == EAGAIN)) continue;
        // End of file on a terminal is a hang-up.
        if (done == 0) errno = EIO;
        remember_system_error();
        fail_read(name);
    }
    if (got < size) trace_timeout("read", read_time_limit(read_set, size), got, size);
    // Dropped NULs leave received bytes behind the count; a caller that looks
    // past the count (a dump of a whole answer) must find only zeros there.
    std::memset(into + got, 0, static_cast<size_t>(size - got));
    return got;
}

// Received bytes not yet read are discarded, and so is output still queued in
// the driver. The output is flushed only when the driver reports some queued:
// on a pty, written bytes wait in the other end's input, where a flush of the
// output would reach them and destroy what an earlier write already sent.
void purge_port() {
    discard_input();
    int queued = 0;
    if (ioctl(port_handle, TIOCOUTQ, &queued) == 0 && queued > 0) tcflush(port_handle, TCOFLUSH);
}

// What was written leaves the line at the port's own rate before its
// settings are given back.
void close_port() {
    if (port_handle >= 0) wait_until_sent();
    trace_close();
    release_port();
}

// The driver was asked for its lowest latency at the opening: there is no
// timer left to report.
int adapter_latency_timer_ms(const char*) { return -1; }

// Serial devices are given to a group (dialout on most systems): whoever is in
// it may open them. The group is named only when it may read and write the
// device and is not root's: joining any other group would give no access, or
// far more than the device. A device that another program has locked is named
// with that program.
void print_open_hint() {
    if (held_lock_file[0] != '\0') {
        if (lock_holder > 0) {
            std::printf("%s is in use by process %ld (its lock file is %s)\n", held_path,
                        static_cast<long>(lock_holder), held_lock_file);
        } else {
            std::printf("%s is locked by the file %s\n", held_path, held_lock_file);
        }
        return;
    }
    struct stat device;
    if (denied_path[0] == '\0' || stat(denied_path, &device) != 0) return;
    const bool group_may_use = (device.st_mode & (S_IRGRP | S_IWGRP)) == (S_IRGRP | S_IWGRP);
    const unsigned mode = static_cast<unsigned>(device.st_mode & 07777);
    if (!group_may_use || device.st_gid == 0) {
        const passwd* owner = getpwuid(device.st_uid);
        std::string name = owner != nullptr ? owner->pw_name : std::to_string(device.st_uid);
        std::printf(
            "%s may be opened by its owner %s (mode %04o), not by a group of users: "
            "ask the administrator for access\n",
            denied_path, name.c_str(), mode);
        return;
    }
    const group* owners = getgrgid(device.st_gid);
    std::string name = owners != nullptr ? owners->gr_name : std::to_string(device.st_gid);
    std::printf("%s belongs to the group %s: to use it, run \"sudo adduser $USER %s\" "
                "and log in again\n",
                denied_path, name.c_str(), name.c_str());
}
