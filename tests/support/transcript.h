#pragma once

#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

// Runs the console program with `script` as its standard input and returns
// what it wrote. The program is VESTRIMOND_EXE of the build, or the one named
// by the environment variable VESTRIMOND_EXE, started through the command in
// VESTRIMOND_EXE_WRAPPER when that is set (for example "wine"). Under Wine a
// port given as VESTRIMOND_COM<n> in `env` is mapped through the Wine prefix
// (tests/windows/wine_ports.h).

struct RunOptions {
    std::vector<std::string> args;                         // the program's command line
    std::vector<std::pair<std::string, std::string>> env;  // added to the environment
    std::string cwd = TEST_SOURCE_DIR;                     // working directory of the program
    std::string program;  // a copy of the program to run instead, empty: the one above
    int timeout_seconds = 60;
    int interrupt_after_ms = -1;  // sends SIGINT (Ctrl+C) after this time, -1: never
    int uid = -1;  // the user and group to run as (a root test dropping
    int gid = -1;  // its privileges), -1: the test's own
};

struct RunResult {
    std::string out;  // standard output, CR LF read as LF
    std::string err;  // standard error, CR LF read as LF
    int status = -1;  // exit status, or -1 when it did not exit normally
    int signal = 0;   // the signal that ended it, if any
};

RunResult run_console(const std::string& script, const RunOptions& options = {});

// A temporary directory for one run of the program, removed with the object.
// No test may reach a serial device of the machine: a port that the run does
// not map itself is mapped to a path inside this directory, where nothing is,
// never to the machine's /dev/ttyS<n-1>.
class RunDirectory {
  public:
    RunDirectory();
    ~RunDirectory();
    RunDirectory(const RunDirectory&) = delete;
    RunDirectory& operator=(const RunDirectory&) = delete;

    // VESTRIMOND_COM1..VESTRIMOND_COM20 naming paths inside the directory,
    // followed by `env`, whose ports take precedence when set in this order.
    std::vector<std::pair<std::string, std::string>> environment(
        const std::vector<std::pair<std::string, std::string>>& env) const;

  private:
    std::string path_;
};

// Compares whole outputs; on a mismatch shows the first differing line of
// each with control characters made visible, and a few lines around it.
::testing::AssertionResult same_output(const std::string& expected, const std::string& actual);

#define EXPECT_OUTPUT(expected, actual) EXPECT_TRUE(same_output((expected), (actual)))

// The command summary as "help" prints it, with its line of valid rates.
std::string help_text(const char* baud_line = "4800 9600 [19200] 38400 57600 ");

// What every run prints before its first prompt: banner, summary, one "\n".
std::string start_text(const char* baud_line = "4800 9600 [19200] 38400 57600 ");
