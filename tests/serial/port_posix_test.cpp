#include <fcntl.h>
#include <gtest/gtest.h>
#include <linux/serial.h>
#include <sys/file.h>
#include <sys/inotify.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>

#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <thread>
#include <vector>

#include "diagnostics/system.h"
#include "serial/baud.h"
#include "serial/line_settings.h"
#include "serial/port.h"
#include "serial/uucp_lock.h"
#include "tests/serial/driver_faults.h"
#include "tests/serial/pty_pair.h"

namespace {

using Clock = std::chrono::steady_clock;

// Runs `call` with standard output captured; returns what it printed.
template <class Call>
std::string printed(Call call) {
    testing::internal::CaptureStdout();
    call();
    std::fflush(stdout);
    return testing::internal::GetCapturedStdout();
}

// True when nobody holds the port: it can be locked right now.
bool port_is_free(const std::string& path) {
    int fd = open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK);
    if (fd < 0) return false;
    bool free = flock(fd, LOCK_EX | LOCK_NB) == 0;
    close(fd);
    return free;
}

// open_port in a child process, as a second program would: its result and
// what it printed. A refused program must leave the holder's modem lines
// alone: one that touched them says so in the text.
std::pair<int, std::string> open_in_other_program(const char* name) {
    int out[2];
    if (pipe(out) != 0) return {0, ""};
    pid_t child = fork();
    if (child == 0) {
        dup2(out[1], 1);
        take_requests();
        int result = open_port(name, 19200);
        for (unsigned long request : take_requests()) {
            const bool lines = request == TIOCMBIC || request == TIOCMBIS || request == TIOCMSET;
            if (result != 0 && lines) std::printf("touched the modem lines\n");
        }
        std::fflush(stdout);
        _exit(-result);
    }
    close(out[1]);
    std::string text;
    char buffer[256];
    ssize_t got;
    while ((got = read(out[0], buffer, sizeof buffer)) > 0) text.append(buffer, got);
    close(out[0]);
    int status = 0;
    waitpid(child, &status, 0);
    return {WIFEXITED(status) ? -WEXITSTATUS(status) : 1, text};
}

TEST(PortLine, EveryRateOfTheTableIsSetRaw8N1WithoutFlowControl) {
    // The code of a rate given explicitly (BOTHER), which programs that read
    // the rate with cfgetospeed do not know: every rate that has a classic
    // code is set with it.
    constexpr speed_t explicit_rate = 0010000;
    const bool explicit_rates = explicit_rates_settable();
    std::string not_run;
    PtyPair pty;
    for (const baud_row* row = baud_table; row->rate != 0; ++row) {
        bool classic = row->rate != 14400 && row->rate != 56000;
        if (!classic && !explicit_rates) {
            not_run += " " + std::to_string(row->rate);
            continue;
        }
        ASSERT_EQ(open_port(pty.name(), row->rate), 0) << row->rate;
        // The master sees the settings of the slave.
        EXPECT_EQ(terminal_rate(pty.master()), row->rate);
        termios line{};
        ASSERT_EQ(tcgetattr(pty.master(), &line), 0);
        EXPECT_EQ(cfgetospeed(&line) == explicit_rate, !classic) << row->rate;
        EXPECT_EQ(line.c_cflag & CSIZE, static_cast<tcflag_t>(CS8)) << row->rate;
        EXPECT_EQ(line.c_cflag & (PARENB | CSTOPB | CRTSCTS | HUPCL), 0u) << row->rate;
        EXPECT_EQ(line.c_cflag & (CLOCAL | CREAD), static_cast<tcflag_t>(CLOCAL | CREAD));
        EXPECT_EQ(line.c_iflag & (IXON | IXOFF | ICRNL | INLCR | IGNCR | ISTRIP), 0u);
        EXPECT_EQ(line.c_oflag & OPOST, 0u);
        EXPECT_EQ(line.c_lflag & (ICANON | ECHO | ISIG | IEXTEN), 0u);
        close_port();
    }
    if (!not_run.empty()) {
        GTEST_SKIP() << "the other rates passed; not run:" << not_run
                     << " (explicit rates need termios2, which this system does not translate)";
    }
}

TEST(PortLine, RefusedOpeningsNameThePortAndLeaveNoPortOpen) {
    PtyPair pty(8);
    static const std::string too_long = "/dev/" + std::string(251, 'x');  // 256 characters
    static const std::string longest = "/dev/" + std::string(250, 'x');
    struct Case {
        const char* path;  // VESTRIMOND_COM8; nullptr: the pty
        const char* name;
        int32_t baud;
        int result;
        const char* message;
    } cases[] = {
        {"/nonexistent/tty", "COM8", 19200, -2,
         "\a\aError: cannot open COM port COM8: No such file or directory\n"},
        {"/dev/null", "COM8", 19200, -2,
         "\a\aError: cannot open COM port COM8: Inappropriate ioctl for device\n"},
        {too_long.c_str(), "COM8", 19200, -2,
         "\a\aError: cannot open COM port COM8: File name too long\n"},
        {longest.c_str(), "COM8", 19200, -2,
         "\a\aError: cannot open COM port COM8: No such file or directory\n"},
        {nullptr, "COM8", 12345, -3, "\a\aError: Invalid baud rate 12345\n"},
        {nullptr, "COM8", 0, -3,
         "get_baud: Error: invalid baud: 0\n\a\aError: Invalid baud rate 0\n"},
        {nullptr, nullptr, 19200, -1, "open_port: Error: port null argument\n"},
    };
    for (const Case& c : cases) {
        setenv("VESTRIMOND_COM8", c.path != nullptr ? c.path : pty.slave().c_str(), 1);
        int result = 0;
        EXPECT_EQ(printed([&] { result = open_port(c.name, c.baud); }), c.message);
        EXPECT_EQ(result, c.result) << c.message;
        EXPECT_TRUE(port_is_free(pty.slave())) << c.message;
        close_port();
    }
}

TEST(PortLine, SettingsThatTheDriverDidNotTakeRefuseThePort) {
    PtyPair pty(8);
    struct Case {
        uint32_t kept_rate;
        uint32_t kept_control_bits;
        int refusal;
        const char* error;
    } cases[] = {
        {9600, 0, 0, "Invalid argument"},          // stays at its old rate
        {18700, 0, 0, "Invalid argument"},         // off by more than a receiver tolerates
        {50000000, 0, 0, "Invalid argument"},      // far off: the 2 % in 64-bit arithmetic
        {0, CRTSCTS, 0, "Invalid argument"},       // keeps hardware flow control
        {0, PARENB | CS7, 0, "Invalid argument"},  // keeps a parity bit
        {0, 0, EIO, "Input/output error"},         // refuses them with its own error
    };
    for (const Case& c : cases) {
        driver_keeps(c.kept_rate, c.kept_control_bits);
        driver_refuses_settings(c.refusal);
        int result = 0;
        EXPECT_EQ(printed([&] { result = open_port(pty.name(), 19200); }),
                  std::string("\a\aError: could not set the comm state for port COM8: ") +
                      c.error + "\n");
        driver_behaves();
        EXPECT_EQ(result, -3) << c.kept_rate << " " << c.kept_control_bits << " " << c.error;
        EXPECT_TRUE(port_is_free(pty.slave()));
        close_port();
    }
    // A rate within 2 % is what a UART reaches: taken.
    driver_keeps(19300, 0);
    EXPECT_EQ(open_port(pty.name(), 19200), 0);
    driver_behaves();
    close_port();
}

// The classic calls set the rates that have a speed code, so a system without
// termios2 (qemu-user, WSL 1) still opens the port at them.
TEST(PortLine, OnlyRatesWithoutASpeedCodeNeedTermios2) {
    PtyPair pty(8);
    driver_lacks_termios2();
    EXPECT_EQ(open_port(pty.name(), 19200), 0);
    EXPECT_EQ(terminal_rate(pty.master()), 19200);
    close_port();
    EXPECT_EQ(printed([] { open_port("COM8", 14400); }),
              "\a\aError: could not set the comm state for port COM8: "
              "Inappropriate ioctl for device\n");
    driver_behaves();
    EXPECT_TRUE(port_is_free(pty.slave()));
}

TEST(PortLine, LineSettingsAreRefusedWithoutAPortOrAtAnUnknownRate) {
    struct Case {
        const char* name;
        int32_t baud;
        int result;
        const char* message;
    } cases[] = {
        {nullptr, 19200, -1, "set_comm_prop: Error: port null argument\n"},
        {"COM7", 12345, -2, "\a\aError: Invalid baud rate 12345\n"},
        // No port is open: there is no terminal to ask.
        {"COM7", 19200, -4,
         "\a\aError: could not get comm properties for port COM7: Bad file descriptor\n"},
    };
    for (const Case& c : cases) {
        int result = 0;
        EXPECT_EQ(printed([&] { result = set_comm_prop(c.name, c.baud); }), c.message);
        EXPECT_EQ(result, c.result) << c.message;
    }
}

TEST(PortLine, DriverIsAskedForLowLatencyWhileTheProgramHoldsThePort) {
    PtyPair pty;
    struct Case {
        int flags;  // the driver's before the port opens
        std::vector<int> written;
    } cases[] = {
        {ASYNC_SKIP_TEST, {ASYNC_SKIP_TEST | ASYNC_LOW_LATENCY, ASYNC_SKIP_TEST}},
        {ASYNC_LOW_LATENCY, {}},  // nothing to ask, nothing to give back
    };
    for (const Case& c : cases) {
        driver_has_serial_flags(c.flags);
        ASSERT_EQ(open_port(pty.name(), 19200), 0);
        close_port();
        EXPECT_EQ(take_serial_flags_written(), c.written) << c.flags;
        driver_behaves();
    }
}

// Opening a real port raises DTR and RTS: they come down before anything
// else is done to the port.
// A line at B0 gets them raised by the driver when it is given a rate: they
// come down after every change of the line settings too.
TEST(PortLine, ModemLinesGoDownFirstAndAfterEverySettingOfTheLine) {
    PtyPair pty;
    // Every rate here has a classic speed code: it is set with TCSETS.
    auto sets_line = [](unsigned long request) { return request == TCSETS; };
    auto lines_down_after_each_setting = [&](const std::vector<unsigned long>& requests) {
        int settings = 0;
        for (std::size_t i = 0; i < requests.size(); ++i) {
            if (!sets_line(requests[i])) continue;
            ++settings;
            // The settings are read back, then the lines go down.
            std::size_t next = i + 1;
            while (next < requests.size() && !sets_line(requests[next]) &&
                   requests[next] != static_cast<unsigned long>(TIOCMBIC)) {
                ++next;
            }
            if (next == requests.size() || requests[next] != static_cast<unsigned long>(TIOCMBIC)) {
                return -1;
            }
        }
        return settings;
    };
    take_requests();
    ASSERT_EQ(open_port(pty.name(), 19200), 0);
    std::vector<unsigned long> requests = take_requests();
    ASSERT_FALSE(requests.empty());
    EXPECT_EQ(requests.front(), static_cast<unsigned long>(TIOCMBIC));
    EXPECT_EQ(lines_down_after_each_setting(requests), 1);
    ASSERT_EQ(change_port_rate(pty.name(), 57600), 0);
    EXPECT_EQ(lines_down_after_each_setting(take_requests()), 1);
    ASSERT_EQ(set_comm_prop(pty.name(), 4800), 0);
    EXPECT_EQ(lines_down_after_each_setting(take_requests()), 1);
    close_port();
}

// The port's own settings come back when the program lets go of it.
TEST(PortLine, ReleaseGivesThePortItsSettingsBack) {
    PtyPair pty;
    int slave = open(pty.slave().c_str(), O_RDWR | O_NOCTTY);
    ASSERT_GE(slave, 0);
    termios before{};
    ASSERT_EQ(tcgetattr(slave, &before), 0);
    cfsetspeed(&before, B2400);
    before.c_lflag |= ICANON | ECHO;
    before.c_cflag |= HUPCL;
    ASSERT_EQ(tcsetattr(slave, TCSANOW, &before), 0);
    ASSERT_EQ(open_port(pty.name(), 19200), 0);
    ASSERT_EQ(change_port_rate(pty.name(), 57600), 0);
    close_port();
    termios after{};
    ASSERT_EQ(tcgetattr(slave, &after), 0);
    close(slave);
    EXPECT_EQ(cfgetospeed(&after), static_cast<speed_t>(B2400));
    EXPECT_EQ(after.c_lflag & (ICANON | ECHO), static_cast<tcflag_t>(ICANON | ECHO));
    EXPECT_EQ(after.c_cflag & HUPCL, static_cast<tcflag_t>(HUPCL));
}

// A rate change acts on the open descriptor: the device is neither closed nor
// opened again (no other program can take it in between, and its DTR and RTS
// are not raised again), what was written goes out first, the new rate is
// set, and what arrived is dropped.
TEST(PortLine, RateChangeKeepsTheOpenDescriptorAndItsLocks) {
    PtyPair pty;
    ASSERT_EQ(open_port(pty.name(), 19200), 0);
    int watch = inotify_init1(IN_NONBLOCK);
    ASSERT_GE(watch, 0);
    ASSERT_GE(inotify_add_watch(watch, pty.slave().c_str(), IN_OPEN | IN_CLOSE), 0);
    ASSERT_EQ(write_port(pty.name(), "host 57600\n", 11), 11);
    pty.send("stale");
    usleep(20000);
    take_requests();
    ASSERT_EQ(change_port_rate(pty.name(), 57600), 0);
    std::vector<unsigned long> requests = take_requests();
    char events[4096];
    EXPECT_LT(read(watch, events, sizeof events), 0) << "the device was closed or opened";
    close(watch);

    EXPECT_EQ(terminal_rate(pty.master()), 57600);
    EXPECT_EQ(pty.received(11), "host 57600\n");
    char byte;
    EXPECT_EQ(read_port(pty.name(), &byte, 1, 20), 0);
    ASSERT_FALSE(requests.empty());
    EXPECT_EQ(requests.front(), static_cast<unsigned long>(TCSBRK));  // the drain
    for (unsigned long request : requests) {
        EXPECT_NE(request, static_cast<unsigned long>(TIOCNXCL));
        EXPECT_NE(request, static_cast<unsigned long>(TIOCEXCL));
    }
    EXPECT_EQ(open_in_other_program(pty.name()).first, -2);
    EXPECT_FALSE(port_is_free(pty.slave()));

    // A failed change leaves no port open; with none open, a change opens one.
    EXPECT_EQ(printed([&] { EXPECT_EQ(change_port_rate(pty.name(), 1234), -3); }),
              "\a\aError: Invalid baud rate 1234\n");
    EXPECT_TRUE(port_is_free(pty.slave()));
    ASSERT_EQ(change_port_rate(pty.name(), 9600), 0);
    EXPECT_EQ(terminal_rate(pty.master()), 9600);
    EXPECT_FALSE(port_is_free(pty.slave()));
    close_port();
}

// Locks in a folder of the test's own; the port layer uses the system's.
TEST(UucpLock, LockIsTheDeviceNameAndKeepsOtherProgramsOff) {
    char folder[] = "/tmp/vestrimond-locks-XXXXXX";
    ASSERT_NE(mkdtemp(folder), nullptr);
    const std::string at = folder;
    std::string link = at + "/port";
    ASSERT_EQ(symlink("/dev/null", link.c_str()), 0);
    PtyPair pty;
    char name[300];
    EXPECT_TRUE(uucp_lock_name(link.c_str(), folder, name, sizeof name));
    EXPECT_EQ(std::string(name), at + "/LCK..null");
    EXPECT_FALSE(uucp_lock_name(pty.slave().c_str(), folder, name, sizeof name));
    EXPECT_FALSE(uucp_lock_name((at + "/none").c_str(), folder, name, sizeof name));

    const std::string lock = at + "/LCK..ttyS1";
    auto write_lock = [&](const std::string& text) {
        FILE* file = std::fopen(lock.c_str(), "w");
        std::fputs(text.c_str(), file);
        std::fclose(file);
    };
    pid_t gone = fork();
    if (gone == 0) _exit(0);
    waitpid(gone, nullptr, 0);
    struct Case {
        std::string held;  // the lock file before; empty: none
        pid_t holder;
        int taken;
    } cases[] = {
        {"", 0, 0},
        {"         1\n", 1, -1},  // a live process, as every program writes it
        {"   1\n", 1, -1},        // written with fewer digits
        {"junk\n", -1, -1},       // nothing to tell that it is stale
        {std::to_string(gone) + "\n", 0, 0},  // stale: its process is gone
        {"9999999999\n", -1, -1},  // ten digits: beyond a 32-bit long, no process's
        {"   21474836470\n", -1, -1},
    };
    for (const Case& c : cases) {
        unlink(lock.c_str());
        if (!c.held.empty()) write_lock(c.held);
        EXPECT_EQ(uucp_lock_holder(lock.c_str()), c.holder) << c.held;
        errno = 0;
        EXPECT_EQ(uucp_lock_take(lock.c_str()), c.taken) << c.held;
        if (c.taken != 0) {
            EXPECT_EQ(errno, EBUSY) << c.held;
        }
        uucp_lock_release(lock.c_str());
        struct stat left;
        EXPECT_EQ(stat(lock.c_str(), &left) == 0, c.taken != 0) << c.held;
    }
    unlink(lock.c_str());
    ASSERT_EQ(uucp_lock_take(lock.c_str()), 0);
    char text[32] = "";
    FILE* file = std::fopen(lock.c_str(), "r");
    ASSERT_NE(std::fgets(text, sizeof text, file), nullptr);
    std::fclose(file);
    char expected[32];
    std::snprintf(expected, sizeof expected, "%10ld\n", static_cast<long>(getpid()));
    EXPECT_STREQ(text, expected);
    struct stat mode;
    ASSERT_EQ(stat(lock.c_str(), &mode), 0);
    EXPECT_EQ(mode.st_mode & 0777, 0644u);
    uucp_lock_release(lock.c_str());

    // The lock is written under a name nobody can guess: a FIFO planted where
    // a predictable name would be does not hold the opening up.
    pid_t taker = fork();
    if (taker == 0) {
        alarm(5);
        const std::string planted = lock + "." + std::to_string(getpid());
        if (mkfifo(planted.c_str(), 0644) != 0) _exit(2);
        bool taken = uucp_lock_take(lock.c_str()) == 0 && uucp_lock_holder(lock.c_str()) == 0;
        unlink(planted.c_str());
        _exit(taken ? 0 : 1);
    }
    int status = 0;
    waitpid(taker, &status, 0);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << "status " << status;
    unlink(lock.c_str());

    // Only a folder that cannot be written (or is missing) means no lock; any
    // other failure to write the lock is one.
    const std::string not_a_folder = at + "/file";
    std::fclose(std::fopen(not_a_folder.c_str(), "w"));
    errno = 0;
    EXPECT_EQ(uucp_lock_take((not_a_folder + "/LCK..ttyS1").c_str()), -1);
    EXPECT_EQ(errno, ENOTDIR);
    EXPECT_EQ(uucp_lock_take((at + "/none/LCK..ttyS1").c_str()), 0);
    std::filesystem::remove_all(at);
}

TEST(PortLine, PortHeldByAnotherProgramIsRefusedWithTheSystemText) {
    PtyPair pty;
    ASSERT_EQ(open_port(pty.name(), 19200), 0);
    auto [result, text] = open_in_other_program(pty.name());
    EXPECT_EQ(result, -2);
    // A privileged program passes the terminal's exclusive flag and meets the lock.
    EXPECT_TRUE(text ==
                    "\a\aError: cannot open COM port COM7: Resource temporarily unavailable\n" ||
                text == "\a\aError: cannot open COM port COM7: Device or resource busy\n")
        << text;

    close_port();
    EXPECT_EQ(open_in_other_program(pty.name()).first, 0);
}

TEST(PortLine, ClosingClearsTheExclusiveFlagThatThePtyKeeps) {
    PtyPair pty;
    ASSERT_EQ(open_port(pty.name(), 19200), 0);
    close_port();
    int fd = open(pty.slave().c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK);
    ASSERT_GE(fd, 0) << "the slave stayed exclusive";
    EXPECT_EQ(exclusive_flag(fd), 0);
    close(fd);
    close_port();  // no port open: nothing happens
}

// A program that ends with the port open, however it ends, leaves the flag
// clear too; a signal still ends it as that signal.
TEST(PortLine, EveryEndOfTheProgramClearsTheExclusiveFlag) {
    struct Case {
        const char* what;
        void (*end)();
        int status;  // exit status, or the signal that ended the program
        bool signaled;
        int ignored = 0;  // a signal ignored from the program's start, as under nohup
    } cases[] = {
        {"exit", [] { std::exit(3); }, 3, false},
        {"interrupt", [] { raise(SIGINT); }, SIGINT, true},
        {"termination", [] { raise(SIGTERM); }, SIGTERM, true},
        {"hang-up", [] { raise(SIGHUP); }, SIGHUP, true},
        {"abnormal end of a fatal exit", [] { end_abnormally(); }, SIGABRT, true},
        {"hang-up ignored from the start",
         [] {
             raise(SIGHUP);
             std::exit(4);
         },
         4, false, SIGHUP},
        // An output piped into a program that has ended: the write fails and
        // the exchange goes on.
        {"write to a closed pipe",
         [] {
             int pipe_ends[2];
             if (pipe(pipe_ends) != 0) _exit(97);
             close(pipe_ends[0]);
             if (write(pipe_ends[1], "x", 1) >= 0 || errno != EPIPE) _exit(96);
             std::exit(5);
         },
         5, false},
    };
    for (const Case& c : cases) {
        PtyPair pty;
        std::fflush(stdout);
        pid_t child = fork();
        if (child == 0) {
            if (c.ignored != 0) signal(c.ignored, SIG_IGN);
            if (open_port(pty.name(), 19200) != 0) _exit(99);
            c.end();
            _exit(98);
        }
        int status = 0;
        waitpid(child, &status, 0);
        if (c.signaled) {
            EXPECT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == c.status) << c.what;
        } else {
            EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == c.status) << c.what;
        }
        int fd = open(pty.slave().c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK);
        ASSERT_GE(fd, 0) << c.what << ": the slave stayed exclusive";
        EXPECT_EQ(exclusive_flag(fd), 0) << c.what;
        close(fd);
    }
}

TEST(PortRead, ReadEndsWhenItsSizeHasArrivedOrAtItsDeadline) {
    PtyPair pty;
    struct Case {
        int32_t baud;
        std::string sent;
        int size;
        int timeout_ms;
        std::string got;
        int least_ms;  // the deadline; the read must not end before it
        int most_ms;
    } cases[] = {
        {19200, "hello", 5, 2000, "hello", 0, 300},
        {19200, "", 200, 100, "", 110, 260},
        {4800, "abc", 200, 100, "abc", 510, 660},  // 2 ms for each byte asked
        {57600, std::string("a\0b\0\0c", 6), 3, 2000, "abc", 0, 300},
        {57600, std::string("\0\0\0", 3), 1, 100, "", 110, 260},
        {57600, std::string("X\0Y\0", 4), 20, 100, "XY", 110, 260},
    };
    for (const Case& c : cases) {
        ASSERT_EQ(open_port(pty.name(), c.baud), 0);
        pty.send(c.sent);
        std::string buffer(static_cast<size_t>(c.size), '-');
        auto start = Clock::now();
        int got = read_port(pty.name(), buffer.data(), c.size, c.timeout_ms);
        auto took = std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - start);
        EXPECT_EQ(buffer.substr(0, static_cast<size_t>(got)), c.got) << c.baud << " " << c.size;
        // Nothing but zeros follows the count, whatever the NULs dropped moved.
        EXPECT_EQ(buffer.substr(static_cast<size_t>(got)),
                  std::string(static_cast<size_t>(c.size - got), '\0'))
            << c.baud << " " << c.size;
        EXPECT_GE(took.count(), c.least_ms) << c.baud << " " << c.size;
        EXPECT_LE(took.count(), c.most_ms) << c.baud << " " << c.size;
        close_port();
    }
}

TEST(PortRead, PurgeDropsReceivedBytesButKeepsWhatWasAlreadySent) {
    PtyPair pty;
    ASSERT_EQ(open_port(pty.name(), 19200), 0);
    pty.send("stale");
    usleep(20000);
    purge_port();
    char byte;
    EXPECT_EQ(read_port(pty.name(), &byte, 1, 20), 0);
    close_port();

    // A baud change writes "host <baud>" and changes the rate at once; the
    // purge of the change must not reach what the other end has not yet taken.
    for (int i = 0; i < 20; ++i) {
        ASSERT_EQ(open_port(pty.name(), 19200), 0);
        ASSERT_EQ(write_port(pty.name(), "host 9600\n", 10), 10);
        ASSERT_EQ(change_port_rate(pty.name(), 9600), 0);
        EXPECT_EQ(pty.received(10), "host 9600\n") << "try " << i;
        close_port();
    }

    // Output that the driver still holds is dropped; a pty holds none, so
    // only the input is flushed there.
    ASSERT_EQ(open_port(pty.name(), 19200), 0);
    take_flushes();
    purge_port();
    EXPECT_EQ(take_flushes(), std::vector<int>{TCIFLUSH});
    driver_reports_output_queue({5});
    purge_port();
    driver_behaves();
    EXPECT_EQ(take_flushes(), (std::vector<int>{TCIFLUSH, TCOFLUSH}));
    close_port();
}

TEST(PortWrite, BytesReachTheOtherEndAndBadArgumentsAreRefused) {
    PtyPair pty;
    ASSERT_EQ(open_port(pty.name(), 57600), 0);
    EXPECT_EQ(write_port(pty.name(), "\x03\nversion\n", 10), 10);
    EXPECT_EQ(pty.received(10), "\x03\nversion\n");

    struct Case {
        const char* name;
        const void* bytes;
        int count;
        int result;
        const char* message;
    } cases[] = {
        {nullptr, "x", 1, -1, "write_port: Error: invalid param file port\n"},
        {"COM7", nullptr, 1, -2, "write_port: Error: invalid param buf ptr\n"},
        {"COM7", "x", 0, -1, "write_port: Error: invalid param len: 0\n"},
    };
    for (const Case& c : cases) {
        int result = 0;
        EXPECT_EQ(printed([&] { result = write_port(c.name, c.bytes, c.count); }), c.message);
        EXPECT_EQ(result, c.result) << c.message;
    }
    close_port();

    int result = 0;
    EXPECT_EQ(printed([&] { result = write_port(pty.name(), "x", 1); }),
              "\a\aError: wrote 0 of 1, got error on port COM7: Bad file descriptor\n");
    EXPECT_EQ(result, -3);
}

TEST(PortWrite, WriteReturnsOnceTheDriverHasSentItsQueue) {
    PtyPair pty;
    ASSERT_EQ(open_port(pty.name(), 4800), 0);
    driver_reports_output_queue({3, 2, 1});
    const std::string bytes(100, 'u');  // half a second of line time: room to poll
    EXPECT_EQ(write_port(pty.name(), bytes.data(), 100), 100);
    EXPECT_EQ(output_queue_reports_left(), 0);
    driver_behaves();
    close_port();
}

TEST(PortWrite, WriteLargerThanTheLineCanHoldWaitsForRoom) {
    PtyPair pty;
    ASSERT_EQ(open_port(pty.name(), 115200), 0);
    std::string bytes;
    for (int i = 0; i < 64 * 1024; ++i) bytes += static_cast<char>('a' + i % 26);
    std::string got;
    std::thread device([&] {
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
        got = pty.received(bytes.size(), 2000);
    });
    int count = static_cast<int>(bytes.size());
    EXPECT_EQ(write_port(pty.name(), bytes.data(), count), count);
    device.join();
    EXPECT_TRUE(got == bytes) << got.size() << " of " << bytes.size() << " bytes arrived";
    close_port();
}

TEST(PortReadDeathTest, ReadThatCannotBeCarriedOutEndsTheProgram) {
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    PtyPair pty;
    char byte;
    EXPECT_DEATH(read_port("COM7", &byte, 1, 10),
                 "could not read on COM port COM7: Bad file descriptor\n"
                 "Return code 26, system error code 9\n");
    EXPECT_DEATH(read_port("COM7", &byte, 0, 10),
                 "read_port: Error: invalid param size: 0\nReturn code 25, ");
    EXPECT_DEATH(read_port("COM7", nullptr, 1, 10),
                 "read_port: Error: invalid param buf ptr\nReturn code 25, ");
    EXPECT_DEATH(
        {
            if (open_port(pty.name(), 19200) != 0) return;
            pty.hang_up();
            read_port(pty.name(), &byte, 1, 1000);
        },
        "could not read on COM port COM7: Input/output error\n"
        "Return code 26, system error code 5\n");
}

}  // namespace
