// Scripted runs: batches (-b, -c, -y) and file checks, against the simulator
// where a command needs the device.
#include <fcntl.h>
#include <poll.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

#include <future>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "tests/serial/device_transcript.h"
#include "tests/serial/pty_pair.h"
#include "tests/transfer/console_texts.h"
#include "tests/transfer/progress_lines.h"
#include "tests/windows/wine.h"

namespace {

// A batch prints the banner line and then, for each command, "Command> ",
// the line and what the console prints for it.
std::string batch(const std::string& commands) {
    return "Vestrimond PC Host Digi Utility Version 2.83b\n" + commands;
}

using Device = std::optional<std::vector<std::string>>;  // the options of COM1's simulator
const Device none = std::nullopt, device = std::vector<std::string>{};
Device sim(std::vector<std::string> options) { return options; }

struct Case {
    std::vector<std::string> args;  // "{port}" stands for the simulator's pty
    std::string out;
    int status;
    Device device = none;
    std::string err = "";   // with -c and status 3: the last -c command failed
    bool released = false;  // the batch ends connected: the port must be free after it
    std::string input = "y\ny\n\n";  // what a batch must not read, unless FILE is "-"
};

std::string with_port(std::string text, const std::string& port) {
    for (size_t at; (at = text.find("{port}")) != std::string::npos;) {
        text.replace(at, 6, port);
    }
    return text;
}

RunResult run_case(const Case& c, const SimProcess* sim) {
    RunOptions options;
    for (const std::string& arg : c.args) {
        options.args.push_back(with_port(arg, sim != nullptr ? sim->path() : ""));
    }
    if (sim != nullptr) options.env = {{"VESTRIMOND_COM1", sim->path()}};
    return run_console(c.input, options);
}

// "vestrimond: -c:N: command failed: COMMAND" for the last of N -c commands.
std::string last_command_failed(const std::vector<std::string>& args) {
    int position = 0;
    for (size_t i = 0; i + 1 < args.size(); ++i) position += args[i] == "-c";
    return "vestrimond: -c:" + std::to_string(position) + ": command failed: " + args.back() +
           "\n";
}

TEST(ScriptedUse, BatchesStopAtTheFirstFailureAndChecksNameTheLine) {
    const bool wine = program_runs_under_wine();
    const std::string connected = "Command> connect 1\n" + connected_at("19200");
    const std::string bad_cfg = "tests/config/files/bad/bad_angle.cfg";
    const std::string bad_rul = "tests/rules/files/bad_latitude.rul";
    const std::string warned = "tests/config/files/bad/long_bcomment.cfg";
    const std::string missing = "tests/console/files/no-such";
    const std::string device_path = wine ? "\\\\.\\COM1" : "{port}";
    const std::vector<std::string> several = {
        "--check-config", bad_cfg, "--check-rules", "examples/site.rul", "--check-rules", bad_rul,
        "--check-config", missing + ".cfg", "--check-config", warned};
    std::vector<std::string> quiet = several;
    quiet.push_back("-q");
    // The cause that the angle parser gives follows the fault of its line as a note.
    const std::string faults =
        bad_cfg + ":1: error: invalid Station Latitude argument: 45d30: position 45d30 -73d\n" +
        bad_cfg + ":1: note: Internal Error: pointer mismatch\n" + bad_rul +
        ":3: error: invalid Latitude range [-90..90]: " +
        "340282346638528859811704183484516925440.000000:\npass circle 5 45.5 -105d\n" + bad_rul +
        ":3: note: Dotted format: must have 2 periods: [s][D]DD.MM.[F*]\n"
        "\tor DMC format must have at least one of [DdMmCc] identifiers\n" +
        missing + ".cfg: error: cannot open: No such file or directory\n" + warned +
        ":1: warning: Truncating Beacon Comment to 43 chars\n";
    const std::string wrote_download = "Command> download\n" + conf_question + "y\n" +
                                       rules_question + "y\n";

    const std::vector<Case> cases = {
        // A batch that passes, from standard input.
        {{"-b", "-"},
         batch("Command> configure examples/site.cfg\nConfiguration items processed 24\n"
               "Command> rules examples/site.rul\nRules processed 12, implicit 1\n" +
               connected + "Command> download\n" + downloaded),
         0, device, "", false,
         "# provisioning\n\nconfigure examples/site.cfg\nrules examples/site.rul\n"
         "connect 1\ndownload\n"},
        // One of each kind of failure; "." with nothing to repeat does nothing.
        {{"-c", ".", "-c", "frob"},
         batch("Command> .\nCommand> frob\n\a\aError: unknown command: frob\n"), 3},
        {{"-c", "connect com21"},
         batch("Command> connect com21\n\a\aError: invalid COM port number (1..20): com21\n" +
               (wine ? port_number_hint("21") : "")),
         3},
        {{"-c", "baud 9600"},
         batch("Command> baud 9600\n\a\aError: must be Connected before changing the Baud!\n"),
         3},
        {{"-c", "configure " + missing + ".cfg"},
         batch("Command> configure " + missing + ".cfg\n\a\aError: cannot open " + missing +
               ".cfg\n\a\aError: Configuration processing failed\n"),
         3},
        {{"-c", "connect 2"},
         batch("Command> connect 2\nConnecting at 19200...\n"
               "\a\aError: cannot open COM port COM2: " +
               std::string(wine ? "File not found." : "No such file or directory") +
               "\n\a\aError: could not open COM port COM2\n" +
               (wine ? absent_port_hint("COM2") : "")),
         3},
        {{"-c", "connect 1", "-c", "baud 38400"},
         batch(connected + "Command> baud 38400\nConnecting at 38400...\n" +
               "\a\aError: did not receive the Vestrimond prompt!\n"),
         3, sim({"--no-baud-prompt"})},
        {{"-c", "connect 1", "-c", "serialtest 1"},
         batch(connected + "Command> serialtest 1\n" +
               "\n\a\aError: serialtest mismatch character 0x41, got 0xc1\n"),
         3, sim({"--echo-corrupt", "2"})},
        {{"-y", "-c", "connect 1", "-c", "download"},
         batch(connected + wrote_download + "\a\aError: writing Configuration command failed: " +
               "-6\n\a\aError: Download failed: -1\nDisconnected\n"),
         3, sim({"--nak", "1:5"})},
        {{"-y", "-c", "firmware 1 " + missing + ".hex"},
         batch("Command> firmware 1 " + missing + ".hex\n" + firmware_question +
               "y\n\a\aError: cannot open " + missing + ".hex\n" + not_updated),
         3},
        {{"-c", " ."}, batch("Command>  .\n\a\aInternal Error: command 33 is invalid!\n"), 3},
        // Questions: yes with -y, else no; standard input is never read.
        {{"-y", "-c", "connect 1", "-c", "download"},
         batch(connected + wrote_download + downloaded), 0, device},
        {{"-c", "connect 1", "-c", "download"},
         batch(connected + "Command> download\n" + conf_question + "n\n" + download_aborted), 3,
         device},
        {{"-c", "configure examples/site.cfg", "-c", "connect 1", "-c", "download"},
         batch("Command> configure examples/site.cfg\nConfiguration items processed 24\n" +
               connected + "Command> download\n" + rules_question + "n\n" + download_aborted),
         3, device},
        {{"-y", "-c", "firmware 1 examples/firmware.hex"},
         batch("Command> firmware 1 examples/firmware.hex\n" + firmware_question + "y\n" +
               firmware_warning + "\n" + loader_connected + "\n\n\nDisconnected\n" + updated),
         0, device},
        // The firmware file as a file manager hands it over.
        {{"-y", "-c", "firmware 1 \"examples/firmware.hex\" "},
         batch("Command> firmware 1 \"examples/firmware.hex\" \n" + firmware_question + "y\n" +
               firmware_warning + "\n" + loader_connected + "\n\n\nDisconnected\n" + updated),
         0, device},
        {{"-c", "firmware 1 examples/firmware.hex"},
         batch("Command> firmware 1 examples/firmware.hex\n" + firmware_question + "n\n" +
               firmware_kept),
         3},
        // The end: an exit command, or the last command; the port is let go.
        {{"-c", "connect 1", "-c", "x", "-c", "frob"}, batch(connected + "Command> x\n"), 0,
         device, "", true},
        // A device path: the pty itself, or under Wine COM1's Windows device path.
        {{"-c", "connect " + device_path},
         batch("Command> connect " + device_path + "\n" + connected_at("19200")), 0, device, "",
         true},
        // A "-" line may fail, its "-" after blanks too; the lines skipped
        // count in FILE:LINE.
        {{"-c", " \t-frob"}, batch("Command>  \t-frob\n\a\aError: unknown command: frob\n"), 0},
        {{"-b", "tests/console/files/stops.batch"},
         batch("Command> -rules " + missing + ".rul\n\a\aError: cannot open " + missing +
               ".rul\n\a\aError: Rule processing failed\n"
               "Command>   disconnect\n\a\aError: not Connected!\n"),
         3, none, "vestrimond: tests/console/files/stops.batch:4: command failed:   disconnect\n"},
        {{"-b", missing + ".batch"}, "", 1, none,
         "vestrimond: " + missing + ".batch: cannot open: No such file or directory\n"},
        // File checks: no banner, every file checked, -q keeps the faults only.
        {{"--check-config", "examples/site.cfg"},
         "examples/site.cfg: Configuration items processed 24\n", 0},
        {several,
         "examples/site.rul: Rules processed 12, implicit 1\n" + warned +
             ": Configuration items processed 1\n",
         1, none, faults},
        {quiet, "", 1, none, faults},
    };

    // The runs with a device side by side (they wait for read time-outs),
    // the others one after the other.
    std::vector<std::unique_ptr<SimProcess>> sims;
    std::vector<std::future<RunResult>> runs;
    for (const Case& c : cases) {
        sims.push_back(c.device ? std::make_unique<SimProcess>(*c.device) : nullptr);
        runs.push_back(std::async(c.device ? std::launch::async : std::launch::deferred, run_case,
                                  std::cref(c), sims.back().get()));
    }
    for (size_t i = 0; i < cases.size(); ++i) {
        const Case& c = cases[i];
        RunResult run = runs[i].get();
        std::string port = sims[i] ? sims[i]->path() : "", what;
        for (const std::string& arg : c.args) what += arg + " ";
        bool command_failed = c.args[0] == "-c" || c.args[1] == "-c";
        std::string err = c.status == 3 && command_failed ? last_command_failed(c.args) : c.err;
        EXPECT_OUTPUT(with_port(c.out, port), without_progress(run.out)) << what;
        EXPECT_EQ(run.err, with_port(err, port)) << what;
        EXPECT_EQ(run.status, c.status) << what;
        if (!c.released) continue;
        int fd = open(port.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK);
        ASSERT_GE(fd, 0) << what << ": the port stayed exclusive";
        EXPECT_EQ(exclusive_flag(fd), 0) << what;
        close(fd);
    }
}

// A batch file on a failing device ("connect 12" read as "connect 1", then
// the read fails): the line cut short is not run, and the batch ends with the
// system's reason. The device is a terminal that hangs up in the middle of a
// line.
TEST(ScriptedUse, ReadErrorEndsTheBatchBeforeTheLineItCut) {
    if (program_runs_under_wine()) GTEST_SKIP() << "the batch file is a pty of this machine";
    PtyPair pty;
    // Only the program may hold the line open when the test hangs it up.
    ASSERT_EQ(fcntl(pty.master(), F_SETFD, FD_CLOEXEC), 0);
    int slave = open(pty.slave().c_str(), O_RDWR | O_NOCTTY | O_CLOEXEC);
    ASSERT_GE(slave, 0);
    termios raw{};
    ASSERT_EQ(tcgetattr(slave, &raw), 0);
    cfmakeraw(&raw);
    ASSERT_EQ(tcsetattr(slave, TCSANOW, &raw), 0);
    pty.send("-disconnect\nconnect 1");
    RunOptions options;
    options.args = {"-b", pty.slave()};
    auto run = std::async(std::launch::async, [&] { return run_console("", options); });
    // Once the program has taken every byte, the line hangs up.
    poll(nullptr, 0, 50);
    for (int waited = 0; waited < 5000; waited += 10) {
        int queued = 0;
        if (ioctl(slave, FIONREAD, &queued) == 0 && queued == 0) break;
        poll(nullptr, 0, 10);
    }
    poll(nullptr, 0, 100);
    pty.hang_up();
    close(slave);
    RunResult result = run.get();
    EXPECT_OUTPUT(batch("Command> -disconnect\n\a\aError: not Connected!\n"), result.out);
    EXPECT_EQ(result.err, "vestrimond: " + pty.slave() + ": cannot read: Input/output error\n");
    EXPECT_EQ(result.status, 1);
}

}  // namespace
