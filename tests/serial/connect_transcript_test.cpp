#include <fcntl.h>
#include <grp.h>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <csignal>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <thread>
#include <vector>

#include "tests/serial/device_transcript.h"
#include "tests/serial/pty_pair.h"
#include "tests/windows/wine.h"

namespace {

const std::string no_name_in_answer =
    "\n\a\aError: did not receive the Vestrimond prompt!\nExpected: Vestrimond\n";
const std::string not_connected = "\a\aError: not Connected!\n";

std::string with_path(std::string text, const std::string& path) {
    for (size_t at; (at = text.find("{path}")) != std::string::npos;) text.replace(at, 6, path);
    return text;
}

TEST(DeviceConnection, ConnectsAtEveryConsoleRate) {
    const std::vector<std::string> bauds = {"4800", "9600", "19200", "38400", "57600"};
    std::vector<DeviceRun> runs;
    for (const std::string& baud : bauds) {
        runs.push_back({{"--baud", baud}, "connect 1 " + baud + "\ndisconnect\n"});
    }
    std::vector<RunResult> results = run_side_by_side(runs);
    for (size_t i = 0; i < bauds.size(); ++i) {
        EXPECT_OUTPUT(session(connected_at(bauds[i]) + prompt + "Disconnected\n"), results[i].out)
            << bauds[i];
        EXPECT_EQ(results[i].err, "");
    }
}

TEST(DeviceConnection, FirmwareFrom283OnIsAccepted) {
    struct Case {
        const char* version;
        const char* refusal;  // nullptr: accepted
    } cases[] = {
        {"2.83b", nullptr},
        {"2.9", nullptr},
        {"3.0", nullptr},
        {"2.8", "\n\a\aError: received Vestrimond version 2.80 but minimal is 2.83!\n"},
        {"2.05", "\n\a\aError: received Vestrimond version 2.50 but minimal is 2.83!\n"},
    };
    std::vector<DeviceRun> runs;
    for (const Case& c : cases)
        runs.push_back({{"--version", c.version}, "connect com1\ndisconnect\n"});
    std::vector<RunResult> results = run_side_by_side(runs);
    for (size_t i = 0; i < std::size(cases); ++i) {
        const Case& c = cases[i];
        std::string expected =
            c.refusal == nullptr
                ? connected_at("19200") + prompt + "Disconnected\n"
                : "Connecting at 19200...\n" + std::string(c.refusal) + prompt + not_connected;
        EXPECT_OUTPUT(session(expected), results[i].out) << c.version;
    }
}

TEST(DeviceConnection, DeviceThatDoesNotAnswerAsExpectedIsRefused) {
    struct Case {
        const char* what;
        std::vector<std::string> device;
        const char* command;
        std::string output;
    } cases[] = {
        {"silent device",
         {"--silent"},
         "connect 1\n",
         "Connecting at 19200...\n" + no_name_in_answer + "Got: length 0 (0x0):\n"},
        {"device at another rate",
         {"--baud", "19200"},
         "connect 1 9600\n",
         "Connecting at 9600...\n" + no_name_in_answer + "Got: length 0 (0x0):\n"},
        {"version before the name",
         {"--banner", "Version 2.83b of the Vestrimond\\r\\n"},
         "connect 1\n",
         "Connecting at 19200...\n"
         "\n\a\aError: did not receive the Vestrimond version (minimum 2.83)!\n"},
        {"another device",
         {"--banner", "Vest\\xe9rimond\\r\\n"},
         "connect 1\n",
         "Connecting at 19200...\n" + no_name_in_answer +
             "Got: length 29 (0x1d):\n"
             "Dec  Hex |  0  1  2  3  4  5  6  7    8  9  a  b  c  d  e  f | 0123456789abcdef\n"
             "   0 0000| 56 65 73 74 72 6f 3e 20   56 65 73 74 23 72 69 6d | Vestro> Vest#rim\n"
             "  16 0010| 6f 6e 64 0d 0a 56 65 73   74 72 6f 3e 20          | ond..Vestro> \n"},
    };
    std::vector<DeviceRun> runs;
    for (const Case& c : cases) runs.push_back({c.device, std::string(c.command) + "disconnect\n"});
    std::vector<RunResult> results = run_side_by_side(runs);
    for (size_t i = 0; i < std::size(cases); ++i) {
        EXPECT_OUTPUT(session(cases[i].output + prompt + not_connected), results[i].out)
            << cases[i].what;
    }
}

// The exclusive flag of a pty outlives the program while the device holds
// the other end; a program that ends while connected must clear it, or only a
// privileged next run could open the port.
TEST(DeviceConnection, ProgramThatEndsWhileConnectedLetsGoOfThePort) {
    struct Case {
        const char* what;
        const char* script;
        std::string output;
        int status;
    } cases[] = {
        {"exit command", "connect 1\nx\n", start_text() + prompt + connected_at("19200") + prompt,
         0},
        {"end of input", "connect 1\n", session(connected_at("19200")), 1},
    };
    for (const Case& c : cases) {
        SimProcess device;
        RunResult run = run_with_device(device, c.script);
        EXPECT_OUTPUT(c.output, run.out) << c.what;
        EXPECT_EQ(run.status, c.status) << c.what;
        int fd = open(device.path().c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK);
        ASSERT_GE(fd, 0) << c.what << ": the pty stayed exclusive";
        EXPECT_EQ(exclusive_flag(fd), 0) << c.what;
        close(fd);
        RunResult next = run_with_device(device, "connect 1\ndisconnect\n");
        EXPECT_OUTPUT(session(connected_at("19200") + prompt + "Disconnected\n"), next.out)
            << c.what;
    }
}

// Ctrl+C in the middle of a loop test: the port is let go, and the end is
// status 130 (on Linux the interrupt signal itself, which the shell shows as 130).
TEST(DeviceConnection, CtrlCDuringATransferLetsGoOfThePortAndEndsWith130) {
    SimProcess device;
    ASSERT_FALSE(device.path().empty()) << device.log();
    RunOptions options;
    options.env = {{"VESTRIMOND_COM1", device.path()}};
    options.interrupt_after_ms = 3000;
    RunResult run = run_console("connect 1\nserialtest 2000\n", options);
    const std::string started = start_text() + prompt + connected_at("19200") + prompt;
    EXPECT_EQ(run.out.compare(0, started.size(), started), 0) << run.out;
    EXPECT_EQ(run.out.find("serialtest", started.size()), std::string::npos) << "ended: " << run.out;
    if (program_runs_under_wine()) {
        EXPECT_EQ(run.status, 130);
    } else {
        EXPECT_EQ(run.signal, SIGINT);
    }
    int fd = open(device.path().c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK);
    ASSERT_GE(fd, 0) << "the pty stayed exclusive";
    EXPECT_EQ(exclusive_flag(fd), 0);
    close(fd);
    RunResult next = run_with_device(device, "connect 1\ndisconnect\n");
    EXPECT_OUTPUT(session(connected_at("19200") + prompt + "Disconnected\n"), next.out);
}

TEST(DeviceConnection, PortHeldByAnotherProgramCannotBeOpened) {
    if (program_runs_under_wine()) {
        GTEST_SKIP() << "Wine opens a COM port that another program holds: it does not give "
                        "exclusive use of serial devices";
    }
    SimProcess device;
    // The first console holds the port while the second one tries it.
    RunResult second;
    std::thread other([&] {
        std::this_thread::sleep_for(std::chrono::milliseconds(1500));
        second = run_with_device(device, "connect 1\n");
    });
    RunResult first = run_with_device(device, "connect 1\nserialtest 20\n");
    other.join();
    EXPECT_EQ(first.out.find("Error"), std::string::npos) << first.out;
    // A privileged program passes the terminal's exclusive flag and meets the lock.
    std::string refusal = exclusive_flag_binds_this_process() ? "Device or resource busy"
                                                              : "Resource temporarily unavailable";
    EXPECT_OUTPUT(session("Connecting at 19200...\n\a\aError: cannot open COM port COM1: " +
                          refusal + "\n\a\aError: could not open COM port COM1\n"),
                  second.out);
}

// A POSIX device path is a COM port number to the Windows program, and
// refused as such.
std::string refused_as_number(const std::string& path) {
    return "\a\aError: invalid COM port number (1..20): " + path + "\n";
}

// The doctor's lines from its first about the device on: the lines before
// are about the machine that runs the test.
std::string device_lines(const std::string& out) {
    std::size_t at = out.find("device   ");
    if (at == std::string::npos) return "";
    return out.substr(out.rfind('\n', at) + 1);
}

TEST(Doctor, AsksTheDeviceAtEachConsoleRateTheDefaultFirst) {
    const std::string trace_path = testing::TempDir() + "doctor-trace-" + std::to_string(getpid());
    struct Case {
        std::vector<std::string> device;
        std::vector<std::string> args;
        std::string lines;
        int status;
    };
    const std::vector<Case> cases = {
        {{}, {"--doctor", "1"}, "ok      device   COM1: Vestrimond 2.83b answered at 19200\n", 0},
        {{"--baud", "57600"},
         {"--doctor=COM1"},
         "ok      device   COM1: Vestrimond 2.83b answered at 57600: connect with \"connect COM1 "
         "57600\"\n",
         0},
        {{"--version", "2.80"},
         {"--doctor", "com1"},
         "PROBLEM device   COM1: a Vestrimond answered at 19200 with the version 2.80, older than "
         "2.83: update its firmware\n",
         1},
        {{"--silent"},
         {"--trace", trace_path, "--doctor", "1"},
         "PROBLEM device   COM1: nothing answered at 19200, 4800, 9600, 38400, 57600; the likely "
         "causes, in order:\n"
         "                 1. the device has no power: its power LED is off, or its supply is too "
         "weak\n"
         "                 2. the cable: the device's console port wants a straight cable to a "
         "PC; a null-modem cable or adapter, or one of the wrong wiring, crosses transmit and "
         "receive wrongly\n"
         "                 3. another rate: the device was set to a rate this program does not "
         "use; reset it to its defaults\n"
         "                 4. the device is in its firmware loader after an update that did not "
         "end, and answers only to the loader's own bytes: run \"firmware PORT FILE\" again to "
         "finish the update\n",
         1},
    };
    std::vector<std::unique_ptr<SimProcess>> devices;
    std::vector<std::future<RunResult>> pending;
    for (const Case& c : cases) {
        devices.push_back(std::make_unique<SimProcess>(c.device));
        RunOptions options;
        options.env = {{"VESTRIMOND_COM1", devices.back()->path()}};
        options.args = c.args;
        pending.push_back(std::async(std::launch::async, run_console, "", options));
    }
    for (size_t i = 0; i < cases.size(); ++i) {
        RunResult run = pending[i].get();
        EXPECT_OUTPUT(cases[i].lines, device_lines(run.out)) << cases[i].args[0];
        EXPECT_EQ(run.status, cases[i].status) << cases[i].args[0] << run.out;
    }
    std::ifstream in(trace_path);
    std::string trace((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    for (const char* rate : {"19200", "4800", "9600", "38400", "57600"}) {
        EXPECT_NE(trace.find(std::string("note doctor: asking for the version at ") + rate +
                             "\n"),
                  std::string::npos)
            << rate << trace;
        EXPECT_NE(trace.find(std::string(" ") + rate + "\n"), std::string::npos) << rate;
    }
    std::remove(trace_path.c_str());
}

TEST(Doctor, PortThatDoesNotExistStandsInTheWay) {
    RunOptions options;
    options.args = {"--doctor", "2"};
    RunResult run = run_console("", options);
    EXPECT_EQ(run.status, 1);
    if (!program_runs_under_wine()) {
        EXPECT_EQ(run.out.rfind("PROBLEM port     ", 0), 0u) << run.out;
        EXPECT_NE(run.out.find(" does not exist: plug the adapter in"), std::string::npos)
            << run.out;
    }
    EXPECT_NE(run.out.find("PROBLEM device   COM2 did not open\n"), std::string::npos) << run.out;
}


// The device path of each platform: the pty itself, or the Windows device
// path of a COM port, above COM20 or not, that Wine links to the pty.
TEST(DevicePath, ConnectsToTheDeviceItNames) {
    struct Case {
        const char* number;  // the COM port that Wine maps to the pty
        std::vector<std::string> args;  // "{path}" stands for the device path
        std::string script;
        std::string output;
        int status;  // the console ends at the end of its input, a batch at its last command
    } cases[] = {
        {"23", {}, "connect {path} 9600\ndisconnect\n",
         session(connected_at("9600") + prompt + "Disconnected\n"), 1},
        {"3", {}, "connect {path} 9600\ndisconnect\n",
         session(connected_at("9600") + prompt + "Disconnected\n"), 1},
        {"21", {"-c", "connect {path} 9600", "-c", "disconnect"}, "",
         "Vestrimond PC Host Digi Utility Version 2.83b\nCommand> connect {path} 9600\n" +
             connected_at("9600") + "Command> disconnect\nDisconnected\n", 0},
    };
    for (const Case& c : cases) {
        SimProcess device({"--baud", "9600"});
        ASSERT_FALSE(device.path().empty()) << device.log();
        RunOptions options;
        std::string path = device.path();
        if (program_runs_under_wine()) {
            options.env = {{std::string("VESTRIMOND_COM") + c.number, device.path()}};
            path = std::string("\\\\.\\COM") + c.number;
        }
        for (const std::string& arg : c.args) options.args.push_back(with_path(arg, path));
        RunResult run = run_console(with_path(c.script, path), options);
        EXPECT_OUTPUT(with_path(c.output, path), run.out) << path;
        EXPECT_EQ(run.status, c.status) << path;
    }
}

// On Windows a port above COM20 exists: the refusal of its number shows how
// to type it. The POSIX program maps COM numbers only up to 20 and says no more.
TEST(DevicePath, PortNumberAboveTwentyShowsTheDevicePathOnWindows) {
    const std::string connect_refused = "\a\aError: invalid COM port number (1..20): ";
    struct Case {
        std::string line;
        std::string refused;  // both platforms
        std::string hint;     // Windows only
    } cases[] = {
        {"connect 23", connect_refused + "23\n", port_number_hint("23")},
        {"connect COM23", connect_refused + "COM23\n", port_number_hint("23")},
        {"connect com256 9600", connect_refused + "com256\n", port_number_hint("256")},
        {"firmware COM23 f.hex", connect_refused + "COM23\n", port_number_hint("23")},
        {"connect 257", connect_refused + "257\n", ""},
        {"connect 0", connect_refused + "0\n", ""},
        {"connect \\\\.\\", connect_refused + "\\\\.\\\n", ""},
    };
    for (const Case& c : cases) {
        RunResult run = run_console(c.line + "\n");
        std::string printed = c.refused + (program_runs_under_wine() ? c.hint : "");
        EXPECT_OUTPUT(session(printed), run.out) << c.line;
    }
}

TEST(DevicePath, MessagesNameThePathWholeAndALongerLineIsRefused) {
    const std::string missing = "/no-such-vestrimond-dir/ttyUSB0";
    const std::string relative = "./no-such-vestrimond-ttyV0";
    // As long as a connect line can carry: the path is named whole.
    const std::string longest = "/no-such-vestrimond-dir/" + std::string(255 - 8 - 24, 'x');
    const std::string too_long = "/no-such-vestrimond-dir/" + std::string(300, 'x');
    auto not_opened = [](const std::string& path) {
        return "\a\aError: cannot open COM port " + path +
               ": No such file or directory\n\a\aError: could not open COM port " + path + "\n";
    };
    const std::string connecting = "Connecting at 19200...\n";
    struct Case {
        std::string line;
        std::string posix;  // what the POSIX program prints
        std::string windows;
    } cases[] = {
        {"connect " + missing, connecting + not_opened(missing), refused_as_number(missing)},
        {"connect " + relative, connecting + not_opened(relative), refused_as_number(relative)},
        {"connect " + longest, connecting + not_opened(longest), refused_as_number(longest)},
        {"firmware " + missing + " examples/firmware.hex\ny",
         firmware_question + not_opened(missing) + "Error: Firmware update failed!\n\tTry again!\n",
         refused_as_number(missing) + prompt + "\a\aError: unknown command: y\n"},
        {"connect " + too_long, "\a\aError: command line too long (max 255 characters)\n",
         "\a\aError: command line too long (max 255 characters)\n"},
    };
    for (const Case& c : cases) {
        RunResult run = run_console(c.line + "\n");
        const std::string& printed = program_runs_under_wine() ? c.windows : c.posix;
        EXPECT_OUTPUT(start_text() + prompt + printed + prompt + "\n", run.out) << c.line;
    }
}

// scripts/test-windows.sh registers COM3, COM7 and COM23 in the Wine prefix;
// Wine's SetupAPI knows none of them, so each shows the device behind its
// name, and COM23 how to type it.
TEST(ListPorts, WindowsProgramListsTheComPortsThatExist) {
    if (!program_runs_under_wine()) {
        GTEST_SKIP() << "the Linux lister is tested against a made-up device tree (PortList.*): "
                        "a test never lists the machine's own ports";
    }
    RunOptions options;
    options.args = {"--list-ports"};
    RunResult run = run_console("", options);
    const std::string listed = "\n" + run.out;
    const std::size_t com3 = listed.find("\nCOM3  \\Device\\Serial");
    const std::size_t com7 = listed.find("\nCOM7  \\Device\\Serial");
    const std::size_t com23 = listed.find("\nCOM23  \\Device\\Serial");
    ASSERT_NE(com3, std::string::npos) << run.out;
    ASSERT_NE(com7, std::string::npos) << run.out;
    ASSERT_NE(com23, std::string::npos) << run.out;
    EXPECT_LT(com3, com7) << "by number: " << run.out;
    EXPECT_LT(com7, com23) << "by number: " << run.out;
    EXPECT_EQ(listed.find("  type \\\\.\\COM"), listed.find("  type \\\\.\\COM23\n", com23))
        << "only the port above COM20 shows the form to type: " << run.out;
    EXPECT_EQ(run.status, 0);
}

TEST(DevicePath, PermissionDeniedSaysHowToGetAccess) {
    if (program_runs_under_wine()) GTEST_SKIP() << "Windows has no device permissions to tell of";
    // As root the program runs as "nobody", and from a copy in a folder of the
    // test's own: the checkout may lie where nobody cannot go (/root).
    const bool root = geteuid() == 0;
    uid_t uid = geteuid();
    gid_t gid = getegid();
    if (root) {
        const passwd* nobody = getpwnam("nobody");
        if (nobody == nullptr) GTEST_SKIP() << "no user \"nobody\" to drop the privileges to";
        uid = nobody->pw_uid;
        gid = nobody->pw_gid;
    }
    // The group that serial devices are given to, which "nobody" is not in.
    const group* dialout = getgrnam("dialout");
    if (root && dialout == nullptr) GTEST_SKIP() << "no group \"dialout\" to give the device to";
    char folder[] = "/tmp/vestrimond-denied-XXXXXX";
    ASSERT_NE(mkdtemp(folder), nullptr);
    chmod(folder, 0755);
    const char* exe = std::getenv("VESTRIMOND_EXE");
    const std::string program = std::string(folder) + "/vestrimond";
    std::error_code copy_error;
    std::filesystem::copy_file(exe != nullptr ? exe : VESTRIMOND_EXE, program, copy_error);
    ASSERT_FALSE(copy_error) << copy_error.message();
    const std::string device = std::string(folder) + "/ttyUSB0";
    const passwd* owner = getpwuid(geteuid());
    const std::string owner_name = owner != nullptr ? owner->pw_name : std::to_string(geteuid());
    const gid_t serial_group = root ? dialout->gr_gid : getegid();
    const group* serial = getgrgid(serial_group);
    const std::string serial_name =
        serial != nullptr ? serial->gr_name : std::to_string(serial_group);
    const std::string join_group = device + " belongs to the group " + serial_name +
                                   ": to use it, run \"sudo adduser $USER " + serial_name +
                                   "\" and log in again\n";
    auto ask_owner = [&](const char* mode) {
        return device + " may be opened by its owner " + owner_name + " (mode " + mode +
               "), not by a group of users: ask the administrator for access\n";
    };
    struct Case {
        gid_t group;
        mode_t mode;
        std::string hint;
    };
    // A user other than the owner is refused by the group's bits; the owner,
    // when not root, by the owner's.
    std::vector<Case> cases;
    if (root) {
        cases = {{serial_group, 0660, join_group},
                 {0, 0660, ask_owner("0660")},
                 {serial_group, 0600, ask_owner("0600")}};
    } else {
        cases = {{serial_group, 0060, join_group}, {serial_group, 0, ask_owner("0000")}};
    }
    for (const Case& c : cases) {
        FILE* made = std::fopen(device.c_str(), "w");
        ASSERT_NE(made, nullptr);
        std::fclose(made);
        ASSERT_EQ(chown(device.c_str(), geteuid(), c.group), 0);
        chmod(device.c_str(), c.mode);

        RunOptions options;
        options.uid = root ? static_cast<int>(uid) : -1;
        options.gid = static_cast<int>(gid);
        options.program = program;
        RunResult run = run_console("connect " + device + "\n", options);
        unlink(device.c_str());
        if (run.status == 125) {
            std::filesystem::remove_all(folder);
            GTEST_SKIP() << "could not drop the privileges to user " << uid;
        }
        EXPECT_OUTPUT(session("Connecting at 19200...\n\a\aError: cannot open COM port " + device +
                              ": Permission denied\n\a\aError: could not open COM port " +
                              device + "\n" + c.hint),
                      run.out)
            << std::oct << c.mode;
    }
    std::filesystem::remove_all(folder);
}

}  // namespace
