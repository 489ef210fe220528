#pragma once

#include <sys/types.h>

#include <string>
#include <vector>

// Runs the device simulator (vestrimond-sim) as a child process for tests
// over a pty: start it with its command-line options, give the host program
// path() as its port (for example VESTRIMOND_COM1=path()), and it is stopped
// when the object goes away. The program is the simulator of the build, or
// the one named by the environment variable VESTRIMOND_SIM.
//
// The simulator runs with --strict: when it is stopped, a host that broke the
// wire grammar fails the test, with the simulator's list of violations,
// unless the test expects violations.
class SimProcess {
  public:
    explicit SimProcess(const std::vector<std::string>& options = {});
    ~SimProcess();
    SimProcess(const SimProcess&) = delete;
    SimProcess& operator=(const SimProcess&) = delete;

    // The pty path the simulator printed; empty when it did not start.
    const std::string& path() const { return path_; }

    // What the simulator wrote on standard error so far: its log with
    // --verbose, or why it did not start.
    std::string log() const;

    // Stops the simulator (SIGTERM, SIGKILL after 2 s) and returns its exit
    // status (3: the host broke the wire grammar), or -1 when it did not exit
    // by itself. Called by the destructor.
    int stop();

    // The host is meant to break the grammar: stop() does not fail the test.
    void expect_violations() { violations_expected_ = true; }

  private:
    pid_t pid_ = -1;
    int output_ = -1;
    std::string path_;
    std::string log_file_;
    int status_ = -1;
    bool violations_expected_ = false;
};
