// Scripted runs: batches (-b, -c, -y) and file checks, against the simulator
// where a command needs the device.
#include <fcntl.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include <future>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "tests/serial/device_transcript.h"
#include "tests/transfer/console_texts.h"
#include "tests/transfer/progress_lines.h"
#include "tests/windows/wine.h"

namespace {

// A batch prints the banner line and then, for each command, "Command> ",
// the line and what the console prints for it.
std::string batch(const std::string& commands) {
    return "Vestrimond PC Host Digi Utility Version 2.83b\n" + commands;
}

std::string failed(const std::string& where, const std::string& line) {
    return "vestrimond: " + where + ": command failed: " + line + "\n";
}

// The options of a simulator wired to COM1, or none.
using Device = std::optional<std::vector<std::string>>;
const Device none = std::nullopt;
Device sim(std::vector<std::string> options = {}) {
    return options;
}

struct Case {
    std::vector<std::string> args;  // "{port}" stands for the simulator's pty
    std::string out;
    std::string err;
    int status;
    Device device = none;            // the options of COM1's simulator
    bool released = false;           // the batch ends connected: the port must be free after it
    std::string input = "y\ny\n\n";  // what a batch must not read, unless FILE is "-"
};

RunResult run_case(const Case& c, const SimProcess* device) {
    RunOptions options;
    for (std::string arg : c.args) {
        if (arg.find("{port}") != std::string::npos)
            arg.replace(arg.find("{port}"), 6, device->path());
        options.args.push_back(arg);
    }
    if (device != nullptr) options.env = {{"VESTRIMOND_COM1", device->path()}};
    return run_console(c.input, options);
}

TEST(ScriptedUse, BatchesStopAtTheFirstFailureAndChecksNameTheLine) {
    const bool wine = program_runs_under_wine();
    const std::string connected = "Command> connect 1\n" + connected_at("19200");
    const std::string bad_cfg = "tests/config/files/bad/bad_angle.cfg";
    const std::string bad_rul = "tests/rules/files/bad_latitude.rul";
    const std::string warned_cfg = "tests/config/files/bad/long_bcomment.cfg";
    const std::string missing_cfg = "tests/console/files/no-such.cfg";
    const std::string faults =
        bad_cfg + ":1: error: invalid Station Latitude argument: 45d30: position 45d30 -73d\n" +
        bad_rul + ":3: error: invalid Latitude range [-90..90]: " +
        "340282346638528859811704183484516925440.000000:\npass circle 5 45.5 -105d\n" +
        missing_cfg + ": error: cannot open: No such file or directory\n" + warned_cfg +
        ":1: warning: Truncating Beacon Comment to 43 chars\n";
    const std::vector<std::string> several = {
        "--check-config", bad_cfg,          "--check-rules", "examples/site.rul", "--check-rules",
        bad_rul,          "--check-config", missing_cfg,     "--check-config",    warned_cfg};
    std::vector<std::string> several_quiet = several;
    several_quiet.push_back("-q");

    std::vector<Case> cases = {
        // A batch that passes, from standard input.
        {{"-b", "-"},
         batch("Command> configure examples/site.cfg\nConfiguration items processed 24\n"
               "Command> rules examples/site.rul\nRules processed 12, implicit 1\n" +
               connected + "Command> download\n" + downloaded),
         "",
         0,
         sim(),
         false,
         "# provisioning\n\nconfigure examples/site.cfg\nrules examples/site.rul\n"
         "connect 1\ndownload\n"},
        // Each kind of failure; "." with nothing to repeat does nothing.
        {{"-c", ".", "-c", "frob"},
         batch("Command> .\nCommand> frob\n\a\aError: unknown command: frob\n"),
         failed("-c:2", "frob"),
         3},
        {{"-c", "d"},
         batch("Command> d\n\a\aError: ambiguous command: d\n"),
         failed("-c:1", "d"),
         3},
        {{"--command", "configure"},
         batch("Command> configure\n\a\aError: missing argument: file_name\n"),
         failed("-c:1", "configure"),
         3},
        {{"-c", "connect com21"},
         batch("Command> connect com21\n\a\aError: invalid COM port number (1..20): com21\n"),
         failed("-c:1", "connect com21"),
         3},
        {{"-c", "baud 9600"},
         batch("Command> baud 9600\n\a\aError: must be Connected before changing the Baud!\n"),
         failed("-c:1", "baud 9600"),
         3},
        {{"-c", "configure " + bad_cfg},
         batch("Command> configure " + bad_cfg + "\n\a\aInternal Error: pointer mismatch\n" +
               "\a\aError: " + bad_cfg +
               "[1]: invalid Station Latitude argument: 45d30: position 45d30 -73d\n" +
               "\a\aError: Configuration processing failed\n"),
         failed("-c:1", "configure " + bad_cfg),
         3},
        {{"-c", "connect 2"},
         batch(
             "Command> connect 2\nConnecting at 19200...\n\a\aError: cannot open COM port COM2: " +
             std::string(wine ? "File not found." : "No such file or directory") +
             "\n\a\aError: could not open COM port COM2\n"),
         failed("-c:1", "connect 2"),
         3},
        {{"-c", "connect 1", "-c", "baud 38400"},
         batch(connected + "Command> baud 38400\nConnecting at 38400...\n" +
               "\a\aError: did not receive the Vestrimond prompt!\n"),
         failed("-c:2", "baud 38400"),
         3,
         sim({"--no-baud-prompt"})},
        {{"-c", "connect 1", "-c", "serialtest 1"},
         batch(connected + "Command> serialtest 1\n" +
               "\n\a\aError: serialtest mismatch character 0x41, got 0xc1\n"),
         failed("-c:2", "serialtest 1"),
         3,
         sim({"--echo-corrupt", "2"})},
        {{"-y", "-c", "connect 1", "-c", "download"},
         batch(connected + "Command> download\n" + conf_question + "y\n" + rules_question +
               "y\n\a\aError: writing Configuration command failed: -6\n" +
               "\a\aError: Download failed: -1\nDisconnected\n"),
         failed("-c:2", "download"),
         3,
         sim({"--nak", "1:5"})},
        {{"-c", "disconnect"},
         batch("Command> disconnect\n\a\aError: not Connected!\n"),
         failed("-c:1", "disconnect"),
         3},
        {{"-c", " ."},
         batch("Command>  .\n\a\aInternal Error: command 33 is invalid!\n"),
         failed("-c:1", " ."),
         3},
        // Questions: yes with -y, else no; standard input is never read.
        {{"-y", "-c", "connect 1", "-c", "download"},
         batch(connected + "Command> download\n" + conf_question + "y\n" + rules_question + "y\n" +
               downloaded),
         "",
         0,
         sim()},
        {{"-c", "connect 1", "-c", "download"},
         batch(connected + "Command> download\n" + conf_question + "n\n" + download_aborted),
         failed("-c:2", "download"),
         3,
         sim()},
        {{"-c", "configure examples/site.cfg", "-c", "connect 1", "-c", "download"},
         batch("Command> configure examples/site.cfg\nConfiguration items processed 24\n" +
               connected + "Command> download\n" + rules_question + "n\n" + download_aborted),
         failed("-c:3", "download"),
         3,
         sim()},
        {{"-y", "-c", "firmware 1 examples/firmware.hex"},
         batch("Command> firmware 1 examples/firmware.hex\n" + firmware_question + "y\n" +
               firmware_warning + "\n" + loader_connected + "\n\n\nDisconnected\n" + updated),
         "",
         0,
         sim()},
        {{"-c", "firmware 1 examples/firmware.hex"},
         batch("Command> firmware 1 examples/firmware.hex\n" + firmware_question + "n\n" +
               firmware_kept),
         failed("-c:1", "firmware 1 examples/firmware.hex"),
         3},
        {{"-y", "-c", "firmware 1 tests/console/files/no-such.hex"},
         batch("Command> firmware 1 tests/console/files/no-such.hex\n" + firmware_question +
               "y\n\a\aError: cannot open tests/console/files/no-such.hex\n" + not_updated),
         failed("-c:1", "firmware 1 tests/console/files/no-such.hex"),
         3},
        // The end: an exit command, or the last command; the port is let go.
        {{"-c", "connect 1", "-c", "x", "-c", "frob"},
         batch(connected + "Command> x\n"),
         "",
         0,
         sim(),
         true},
        {{"-c", "connect {port}"},
         batch("Command> connect {port}\n" +
               (wine ? "\a\aError: invalid COM port number (1..20): {port}\n"
                     : connected_at("19200"))),
         wine ? failed("-c:1", "connect {port}") : "",
         wine ? 3 : 0,
         sim(),
         !wine},
        // A "-" line may fail; the lines skipped count in FILE:LINE.
        {{"-b", "tests/console/files/stops.batch"},
         batch("Command> -rules tests/console/files/no-such.rul\n"
               "\a\aError: cannot open tests/console/files/no-such.rul\n"
               "\a\aError: Rule processing failed\n"
               "Command>   disconnect\n\a\aError: not Connected!\n"),
         failed("tests/console/files/stops.batch:4", "  disconnect"),
         3},
        {{"-b", "tests/console/files/no-such.batch"},
         "",
         "vestrimond: tests/console/files/no-such.batch: cannot open: No such file or directory\n",
         2},
        // File checks: no banner, every file checked, -q keeps the faults only.
        {{"--check-config", "examples/site.cfg"},
         "examples/site.cfg: Configuration items processed 24\n",
         "",
         0},
        {several,
         "examples/site.rul: Rules processed 12, implicit 1\n" + warned_cfg +
             ": Configuration items processed 1\n",
         faults, 1},
        {several_quiet, "", faults, 1},
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
        std::string port = sims[i] ? sims[i]->path() : "";
        auto with_port = [&](std::string text) {
            for (size_t at; (at = text.find("{port}")) != std::string::npos;)
                text.replace(at, 6, port);
            return text;
        };
        std::string what;
        for (const std::string& arg : c.args) what += arg + " ";
        EXPECT_OUTPUT(with_port(c.out), without_progress(run.out)) << what;
        EXPECT_EQ(run.err, with_port(c.err)) << what;
        EXPECT_EQ(run.status, c.status) << what;
        if (!c.released) continue;
        int fd = open(port.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK);
        ASSERT_GE(fd, 0) << what << ": the port stayed exclusive";
        int exclusive = -1;
        EXPECT_EQ(ioctl(fd, TIOCGEXCL, &exclusive), 0);
        EXPECT_EQ(exclusive, 0) << what;
        close(fd);
    }
}

}  // namespace
