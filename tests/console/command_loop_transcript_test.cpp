#include <stdlib.h>

#include <filesystem>
#include <string>
#include <vector>

#include "tests/support/console_texts.h"
#include "tests/support/transcript.h"
#include "tests/windows/wine.h"

namespace {

// The output of a run that starts, prints `between` after the first prompt
// and then meets the end of its input.
std::string ends_after(const std::string& between) {
    return start_text() + prompt + between + prompt + "\n";
}

// A port that a test does not map leads nowhere, never to a serial device of
// the machine (COM1 would be its console, /dev/ttyS0).
TEST(ConsoleStart, PortsThatATestDoesNotMapCannotBeOpened) {
    // Under Wine the prefix has no link for these ports, and the test run's
    // /dev holds no serial device for Wine to fall back on.
    const std::string not_found =
        program_runs_under_wine() ? "File not found." : "No such file or directory";
    std::string refusals;
    for (const char* port : {"1", "20"}) {
        refusals += std::string("Connecting at 19200...\n\a\aError: cannot open COM port COM") +
                    port + ": " + not_found + "\n\a\aError: could not open COM port COM" +
                    port + "\n" +
                    (program_runs_under_wine() ? absent_port_hint(std::string("COM") + port) : "") +
                    prompt;
    }
    RunResult run = run_console("connect 1\nconnect 20\n");
    EXPECT_OUTPUT(start_text() + prompt + refusals + "\n", run.out);
}

TEST(ConsoleStart, EmptyInputPrintsBannerSummaryPromptAndEndsWithStatus1) {
    RunResult run = run_console("");
    EXPECT_OUTPUT(start_text() + prompt + "\n", run.out);
    EXPECT_EQ(run.status, 1);
    EXPECT_EQ(run.err, "");
}

TEST(ConsoleStart, ExitCommandsEndWithStatus0AndPrintNothing) {
    for (const char* word : {"exit", "quit", "x", "EXIT", "q", "e", "exit now"}) {
        RunResult run = run_console(std::string(word) + "\nhelp\n");
        EXPECT_OUTPUT(start_text() + prompt, run.out) << word;
        EXPECT_EQ(run.status, 0) << word;
    }
}

TEST(ConsoleStart, OptionsAnswerAndEndWithoutTheConsole) {
    const std::string usage =
        "Usage: vestrimond [--help | --version | --list-ports]\n"
        "       vestrimond [--trace FILE]\n"
        "       vestrimond [--trace FILE] [-y] -b FILE\n"
        "       vestrimond [--trace FILE] [-y] -c COMMAND [-c COMMAND]...\n"
        "       vestrimond [-q] {--check-config FILE | --check-rules FILE}...\n"
        "       vestrimond [--trace FILE] --doctor [PORT]\n";
    // The Windows program points to the manual of its release.
    const std::string manual = program_runs_under_wine()
                                   ? "The manual tells more: Manual.txt in the program's folder\n"
                                   : "The manual page tells more: man vestrimond\n";
    struct Case {
        std::vector<std::string> args;
        std::string out;
        std::string err;
        int status;
    } cases[] = {
        {{"--help"},
         usage + "\n"
                 "Without an option, starts the interactive console of the Vestrimond: type\n"
                 "\"help\" at its \"Command> \" prompt for the commands.\n"
                 "\n"
                 "  -b, --batch FILE     run the console commands of FILE, one a line (\"-\":\n"
                 "                       standard input), and stop at the first that fails;\n"
                 "                       a line that begins with \"-\" may fail, \"#\" begins a\n"
                 "                       comment line\n"
                 "  -c, --command COMMAND  run COMMAND the same way; several run in order\n"
                 "  -y, --yes            answer yes to the questions of download and firmware\n"
                 "                       (a batch answers no without it)\n"
                 "  --check-config FILE  check a Configuration file, with no device\n"
                 "  --check-rules FILE   check a Rules file, with no device\n"
                 "  -q, --quiet          print only the faults of the files checked\n"
                 "  --doctor [PORT]      check what stands between this program and the device:\n"
                 "                       the ports, access to them, other programs that hold\n"
                 "                       them; with PORT, ask the device at each console rate\n"
                 "  --trace FILE         write every byte to and from the device, and what\n"
                 "                       happens to the port, to FILE as it happens\n"
                 "  --help               show this help and exit\n"
                 "  --version            show the version and exit\n"
                 "  --list-ports         list the serial ports of this machine and exit\n"
                 "\n"
                 "Exit status: 0 success; 1 the end of standard input in the console, a file\n"
                 "check that failed, a batch file that cannot be read, or a doctor that found\n"
                 "something in the way; 2 a usage error; 3 a batch command that failed.\n"
                 "\n" + manual,
         "",
         0},
        {{"--version"}, "vestrimond 2.83b\n", "", 0},
        {{"--frobnicate"}, "", "vestrimond: unknown option: --frobnicate\n" + usage, 2},
        {{"-h"}, "", "vestrimond: unknown option: -h\n" + usage, 2},
        {{"site.cfg"}, "", "vestrimond: unexpected argument: site.cfg\n" + usage, 2},
        {{"--version", "--help"}, "", "vestrimond: unexpected argument: --help\n" + usage, 2},
        {{"-c", "x", "--help"}, "", "vestrimond: unexpected argument: --help\n" + usage, 2},
        {{"-b", "-", "-c", "x"}, "", "vestrimond: -b and -c cannot be used together\n" + usage, 2},
        {{"-c", "x", "--check-rules", "a.rul"},
         "",
         "vestrimond: a file check cannot be used with -b or -c\n" + usage,
         2},
        {{"-y"}, "", "vestrimond: -y needs -b or -c\n" + usage, 2},
        {{"-q"}, "", "vestrimond: -q needs --check-config or --check-rules\n" + usage, 2},
        {{"-c"}, "", "vestrimond: option needs an argument: -c\n" + usage, 2},
        {{"--trace"}, "", "vestrimond: option needs an argument: --trace\n" + usage, 2},
        {{"--trace", "a", "--trace=b"}, "", "vestrimond: --trace given twice\n" + usage, 2},
        {{"--trace", "t.txt", "--check-rules", "a.rul"},
         "",
         "vestrimond: a file check cannot be used with --trace\n" + usage,
         2},
        {{"--trace", "no/such/folder/t.txt"},
         "",
         "vestrimond: cannot write the trace no/such/folder/t.txt: No such file or directory\n",
         2},
        {{"--doctor", "-c", "x"},
         "",
         "vestrimond: --doctor cannot be used with -b, -c or a file check\n" + usage,
         2},
        {{"--doctor", "1", "--doctor"}, "", "vestrimond: --doctor given twice\n" + usage, 2},
        {{"--doctor=21"},
         "\a\aError: invalid COM port number (1..20): 21\n" +
             std::string(program_runs_under_wine()
                             ? "A port above COM20 is typed as its device path: \\\\.\\COM21\n"
                             : ""),
         "vestrimond: --doctor needs a port such as 1, COM1 or a device path: 21\n" + usage,
         2},
        {{"--doctor", "1", "2"}, "", "vestrimond: unexpected argument: 2\n" + usage, 2},
    };
    for (const Case& c : cases) {
        RunOptions options;
        options.args = c.args;
        RunResult run = run_console("help\n", options);
        EXPECT_OUTPUT(c.out, run.out) << c.args[0];
        EXPECT_EQ(run.err, c.err) << c.args[0];
        EXPECT_EQ(run.status, c.status) << c.args[0];
    }

    // The list reads this machine, so only the part a test sets is checked:
    // the COM ports that every console of a test has mapped (Linux).
    if (!program_runs_under_wine()) {
        RunOptions options;
        options.args = {"--list-ports"};
        RunResult run = run_console("", options);
        EXPECT_NE(run.out.find("COM1  VESTRIMOND_COM1="), std::string::npos) << run.out;
        EXPECT_EQ(run.status, 0);
    }
}

TEST(ConsoleStart, LastLineWithoutLineFeedStillRuns) {
    RunResult run = run_console("x");
    EXPECT_EQ(run.status, 0);
}

TEST(CommandMatching, HelpWordsInAnyCasePrintTheSummary) {
    for (const char* word : {"HELP", "Help", "h", "?", "he"}) {
        RunResult run = run_console(std::string(word) + "\n");
        EXPECT_OUTPUT(ends_after(help_text()), run.out) << word;
    }
}

TEST(CommandMatching, UnknownAndAmbiguousWordsAreReportedAsTyped) {
    struct Case {
        const char* line;
        const char* message;
    } cases[] = {
        {"d", "\a\aError: ambiguous command: d\n"},
        {"c", "\a\aError: ambiguous command: c\n"},
        {"con", "\a\aError: ambiguous command: con\n"},
        {"CON", "\a\aError: ambiguous command: CON\n"},
        {"frobnicate", "\a\aError: unknown command: frobnicate\n"},
        {"helpme", "\a\aError: unknown command: helpme\n"},
        {"exitx", "\a\aError: unknown command: exitx\n"},
        {"configurations", "\a\aError: unknown command: configurations\n"},
        {"abcdefghijklmnopqrstuvwxyz0123456789",
         "\a\aError: unknown command: abcdefghijklmnopqrstuvwxyz0123456789\n"},
    };
    for (const Case& c : cases) {
        RunResult run = run_console(std::string(c.line) + "\n");
        EXPECT_OUTPUT(ends_after(c.message), run.out) << c.line;
        EXPECT_EQ(run.status, 1);
    }
}

TEST(CommandMatching, UniquePrefixesSelectTheirCommand) {
    // Each of these reaches its command's own argument or state check.
    struct Case {
        const char* line;
        const char* message;
    } cases[] = {
        {"conf", "\a\aError: missing argument: file_name\n"},
        {"conn", "\a\aError: missing argument: com_port\n"},
        {"dI", "\a\aError: not Connected!\n"},
        {"DO", "\a\aError: not Connected!\n"},
        {"r", "\a\aError: missing argument: file_name\n"},
        {"b", "\a\aError: must be Connected before changing the Baud!\n"},
        {"f", "\a\aError: missing arguments: com_port file_name\n"},
        {"s", "\a\aError: not Connected!\n"},
    };
    for (const Case& c : cases) {
        RunResult run = run_console(std::string(c.line) + "\n");
        EXPECT_OUTPUT(ends_after(c.message), run.out) << c.line;
    }
}

TEST(CommandLine, SeparatorsBeforeTheCommandWordAreSkipped) {
    RunResult run = run_console(" \t,help\n");
    EXPECT_OUTPUT(ends_after(help_text()), run.out);
}

TEST(CommandLine, EmptyAndBlankLinesDoNothing) {
    RunResult run = run_console("\n   \n\t,\n");
    EXPECT_OUTPUT(start_text() + prompt + prompt + prompt + prompt + "\n", run.out);
}

TEST(CommandLine, CrLfLineEndsReadLikeLineFeeds) {
    RunResult run = run_console("h\r\nfrob\r\n\r\nx\r\n");
    EXPECT_OUTPUT(start_text() + prompt + help_text() + prompt +
                      "\a\aError: unknown command: frob\n" + prompt + prompt,
                  run.out);
    EXPECT_EQ(run.status, 0);
}

TEST(CommandLine, LineOfMoreThan255CharactersRunsNothingAndIsNotStored) {
    // The tail of the long line would be "x" if it were cut into pieces.
    std::string long_line = "configure " + std::string(245, 'a') + "x";
    ASSERT_EQ(long_line.size(), 256u);
    RunResult run = run_console("help\n" + long_line + "\n.\n");
    EXPECT_OUTPUT(start_text() + prompt + help_text() + prompt +
                      "\a\aError: command line too long (max 255 characters)\n" + prompt +
                      help_text() + prompt + "\n",
                  run.out);
    EXPECT_EQ(run.status, 1);
}

TEST(CommandLine, LineOfExactly255CharactersIsOneCommand) {
    std::string line = "frob" + std::string(251, 'b');
    RunResult run = run_console(line + "\n");
    EXPECT_OUTPUT(ends_after("\a\aError: unknown command: " + line + "\n"), run.out);
}

TEST(Repeat, DotAsFirstCommandDoesNothing) {
    RunResult run = run_console(".\n. help\n");
    EXPECT_OUTPUT(start_text() + prompt + prompt + prompt + "\n", run.out);
}

TEST(Repeat, DotRepeatsThePreviousLineWithItsArgumentsAndIsNeverStored) {
    RunResult run = run_console("connect com21\n.\n. anything\n");
    const std::string error = "\a\aError: invalid COM port number (1..20): com21\n" +
                              (program_runs_under_wine() ? port_number_hint("21") : "");
    EXPECT_OUTPUT(start_text() + prompt + error + prompt + error + prompt + error + prompt + "\n",
                  run.out);
}

TEST(Repeat, DotAfterBlankOrCommaIsTheDotCommandWithoutAction) {
    RunResult run = run_console(" .\n.\n,.\n");
    const std::string error = "\a\aInternal Error: command 33 is invalid!\n";
    EXPECT_OUTPUT(start_text() + prompt + error + prompt + error + prompt + error + prompt + "\n",
                  run.out);
}

TEST(Repeat, LineOfBlanksIsStoredSoTheNextDotDoesNothing) {
    RunResult run = run_console("help\n   \n.\n");
    EXPECT_OUTPUT(start_text() + prompt + help_text() + prompt + prompt + prompt + "\n",
                  run.out);
}

TEST(Repeat, EmptyLineIsNotStored) {
    RunResult run = run_console("help\n\n.\n");
    EXPECT_OUTPUT(
        start_text() + prompt + help_text() + prompt + prompt + help_text() + prompt + "\n",
        run.out);
}

TEST(Arguments, ComPortMustBeANumberOrComNumberFrom1To20) {
    struct Case {
        const char* line;
        const char* message;
        const char* windows_hint = "";  // the Windows program's line after it
    } cases[] = {
        {"connect com21", "\a\aError: invalid COM port number (1..20): com21\n",
         "A port above COM20 is typed as its device path: \\\\.\\COM21\n"},
        {"connect 0", "\a\aError: invalid COM port number (1..20): 0\n"},
        // Only a token that begins with "com" is read past its third character.
        {"connect 0,a7", "\a\aError: invalid COM port number (1..20): 0\n"},
        {"connect abc", "\a\aError: invalid COM port number (1..20): abc\n"},
        {"connect COM", "\a\aError: invalid COM port number (1..20): COM\n"},
        {"connect -3", "\a\aError: invalid COM port number (1..20): -3\n"},
        {"connect 4294967299", "\a\aError: invalid COM port number (1..20): 4294967299\n"},
        {"connect com4294967299", "\a\aError: invalid COM port number (1..20): com4294967299\n"},
        {"firmware 21 fw.hex", "\a\aError: invalid COM port number (1..20): 21\n",
         "A port above COM20 is typed as its device path: \\\\.\\COM21\n"},
        {"firmware coma fw.hex", "\a\aError: invalid COM port number (1..20): coma\n"},
        // Only "/" and "./" begin a device path.
        {"connect dev/ttyUSB0", "\a\aError: invalid COM port number (1..20): dev/ttyUSB0\n"},
        {"connect ../ttyUSB0", "\a\aError: invalid COM port number (1..20): ../ttyUSB0\n"},
    };
    for (const Case& c : cases) {
        RunResult run = run_console(std::string(c.line) + "\n");
        std::string hint = program_runs_under_wine() ? c.windows_hint : "";
        EXPECT_OUTPUT(ends_after(c.message + hint), run.out) << c.line;
    }
}

TEST(Arguments, ConnectBaudMustBeAConsoleRate) {
    struct Case {
        const char* line;
        const char* message;
    } cases[] = {
        {"connect 3 1200", "\a\aError: invalid baud rate: 1200\n"},
        {"connect com3,115200", "\a\aError: invalid baud rate: 115200\n"},
        {"connect 3 fast", "\a\aError: invalid baud rate: 0\n"},
        {"connect 3 4294967296", "\a\aError: invalid baud rate: 2147483647\n"},
    };
    for (const Case& c : cases) {
        RunResult run = run_console(std::string(c.line) + "\n");
        EXPECT_OUTPUT(ends_after(c.message), run.out) << c.line;
    }
}

TEST(Arguments, MissingArgumentsAreNamed) {
    struct Case {
        const char* line;
        const char* message;
    } cases[] = {
        {"connect", "\a\aError: missing argument: com_port\n"},
        {"connect ,", "\a\aError: missing argument: com_port\n"},
        {"configure", "\a\aError: missing argument: file_name\n"},
        {"configure\t", "\a\aError: missing argument: file_name\n"},
        {"rules", "\a\aError: missing argument: file_name\n"},
        {"firmware", "\a\aError: missing arguments: com_port file_name\n"},
        {"firmware 3", "\a\aError: missing argument: file_name\n"},
        {"firmware com3,", "\a\aError: missing argument: file_name\n"},
    };
    for (const Case& c : cases) {
        RunResult run = run_console(std::string(c.line) + "\n");
        EXPECT_OUTPUT(ends_after(c.message), run.out) << c.line;
    }
}

TEST(ConnectionState, CommandsThatNeedAConnectionAreRefusedWithoutOne) {
    struct Case {
        const char* line;
        const char* message;
    } cases[] = {
        {"disconnect", "\a\aError: not Connected!\n"},
        {"download", "\a\aError: not Connected!\n"},
        {"serialtest 10", "\a\aError: not Connected!\n"},
        {"serialtest", "\a\aError: not Connected!\n"},
        {"baud 9600", "\a\aError: must be Connected before changing the Baud!\n"},
        {"baud", "\a\aError: must be Connected before changing the Baud!\n"},
        {"baud 1200", "\a\aError: must be Connected before changing the Baud!\n"},
    };
    for (const Case& c : cases) {
        RunResult run = run_console(std::string(c.line) + "\n");
        EXPECT_OUTPUT(ends_after(c.message), run.out) << c.line;
    }
}

}  // namespace

namespace {

TEST(DefaultBaud, HostBaudOutsideTheConsoleRatesIsRefusedAndBracketsNone) {
    RunResult run = run_console("configure tests/console/files/host2400.cfg\nhelp\nconnect 3\n");
    EXPECT_OUTPUT(start_text() + prompt + "Configuration items processed 1\n" + prompt +
                      help_text("4800 9600 19200 38400 57600 ") + prompt +
                      "\a\aError: invalid baud rate: 2400\n" + prompt + "\n",
                  run.out);
}

TEST(DefaultBaud, GpsBaudIsTheDefaultWhenAGpsIsAttached) {
    RunResult run = run_console("configure tests/console/files/gps4800.cfg\nh\n");
    EXPECT_OUTPUT(start_text() + prompt + "Configuration items processed 2\n" + prompt +
                      help_text("[4800] 9600 19200 38400 57600 ") + prompt + "\n",
                  run.out);
}

}  // namespace

namespace {

// A folder of the test's own that holds copies of the example files under
// the names a test gives them; removed at the end.
class FileFolder {
  public:
    FileFolder() {
        path_ = testing::TempDir() + "vestrimond-names-XXXXXX";
        if (mkdtemp(path_.data()) == nullptr) path_.clear();
    }
    ~FileFolder() {
        if (!path_.empty()) std::filesystem::remove_all(path_);
    }
    void copy(const std::string& example, const std::string& name) const {
        std::filesystem::copy_file(std::string(TEST_SOURCE_DIR) + "/" + example, path_ + "/" + name);
    }
    const std::string& path() const { return path_; }

  private:
    std::string path_;
};

// As Explorer's "Copy as path" and a file dropped on a console window or a
// terminal hand a name over: in double or single quotes, a blank after it;
// and names outside ASCII, typed and given as arguments.
TEST(FileNames, QuotedAndUtf8NamesOpenTheFileTheyName) {
    const std::string utf8_cfg = "Ωμέγα 站点 Ünï.cfg";
    const std::string utf8_rul = "règles ß.rul";
    FileFolder folder;
    ASSERT_FALSE(folder.path().empty());
    folder.copy("examples/site.cfg", utf8_cfg);
    folder.copy("examples/site.rul", utf8_rul);
    folder.copy("examples/site.cfg", "site.cfg");
    folder.copy("examples/site.rul", "my site.rul");
    folder.copy("tests/console/files/stops.batch", "my batch");
    const std::string configured = "Configuration items processed 24\n";
    const std::string ruled = "Rules processed 12, implicit 1\n";
    struct Case {
        std::vector<std::string> args;
        std::string script;
        std::string out;
    } cases[] = {
        {{}, "configure \"site.cfg\" \nrules 'my site.rul' \n",
         ends_after(configured + prompt + ruled)},
        {{}, "configure 'site.cfg'\nrules \"my site.rul\"\t\n", ends_after(configured + prompt + ruled)},
        {{}, "configure " + utf8_cfg + "\nrules \"" + utf8_rul + "\" \n",
         ends_after(configured + prompt + ruled)},
        {{"--check-config", utf8_cfg, "--check-rules", "'" + utf8_rul + "' "},
         "",
         utf8_cfg + ": " + configured + "'" + utf8_rul + "' : " + ruled},
        {{"-c", "configure \"" + utf8_cfg + "\" "}, "",
         "Vestrimond PC Host Digi Utility Version 2.83b\nCommand> configure \"" + utf8_cfg +
             "\" \n" + configured},
        // Quotes that do not pair, or a quoted name that is no file, are the name as typed.
        {{}, "configure \"site.cfg'\n",
         ends_after("\a\aError: cannot open \"site.cfg'\n\a\aError: Configuration processing failed\n")},
        {{}, "configure \"no such.cfg\" \n",
         ends_after("\a\aError: cannot open \"no such.cfg\" \n"
                    "\a\aError: Configuration processing failed\n")},
    };
    for (const Case& c : cases) {
        RunOptions options;
        options.args = c.args;
        options.cwd = folder.path();
        RunResult run = run_console(c.script, options);
        EXPECT_OUTPUT(c.out, run.out) << c.script << (c.args.empty() ? "" : c.args.back());
    }
    // A quoted batch file name: it runs (and stops at its failing line).
    RunOptions options;
    options.args = {"-b", "\"my batch\" "};
    options.cwd = folder.path();
    RunResult run = run_console("", options);
    EXPECT_EQ(run.err.rfind("vestrimond: \"my batch\" :4: command failed:", 0), 0u) << run.err;
}

}  // namespace
