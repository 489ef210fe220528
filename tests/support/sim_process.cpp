#include "tests/support/sim_process.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <thread>

namespace {

constexpr int start_timeout_ms = 5000;
constexpr int stop_timeout_ms = 2000;
constexpr int strict_status = 3;  // the simulator saw protocol violations

std::string simulator_program() {
    const char* chosen = std::getenv("VESTRIMOND_SIM");
    return chosen != nullptr && chosen[0] != '\0' ? chosen : VESTRIMOND_SIM;
}

// The first line the simulator prints, without its line feed; empty when none
// comes in time.
std::string read_first_line(int fd) {
    std::string line;
    auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(start_timeout_ms);
    for (;;) {
        auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
            deadline - std::chrono::steady_clock::now());
        pollfd watch{fd, POLLIN, 0};
        if (left.count() <= 0 || poll(&watch, 1, static_cast<int>(left.count())) <= 0) return "";
        char c;
        if (read(fd, &c, 1) != 1) return "";
        if (c == '\n') return line;
        line += c;
    }
}

bool wait_for_exit(pid_t pid, int* status, int timeout_ms) {
    auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeout_ms);
    while (std::chrono::steady_clock::now() < deadline) {
        if (waitpid(pid, status, WNOHANG) == pid) return true;
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    return false;
}

}  // namespace

SimProcess::SimProcess(const std::vector<std::string>& options) {
    char log_name[] = "/tmp/vestrimond-sim-log-XXXXXX";
    int log_fd = mkstemp(log_name);
    int out_pipe[2];
    if (log_fd < 0 || pipe(out_pipe) != 0) return;
    log_file_ = log_name;

    std::string program = simulator_program();
    std::vector<char*> argv;
    argv.push_back(program.data());
    std::vector<std::string> arguments = options;
    arguments.insert(arguments.begin(), "--strict");
    for (std::string& argument : arguments) argv.push_back(argument.data());
    argv.push_back(nullptr);

    pid_ = fork();
    if (pid_ == 0) {
        dup2(out_pipe[1], 1);
        dup2(log_fd, 2);
        close(out_pipe[0]);
        close(out_pipe[1]);
        close(log_fd);
        execv(program.c_str(), argv.data());
        _exit(127);
    }
    close(out_pipe[1]);
    close(log_fd);
    output_ = out_pipe[0];
    if (pid_ > 0) path_ = read_first_line(output_);
}

SimProcess::~SimProcess() {
    stop();
    if (output_ >= 0) close(output_);
    if (!log_file_.empty()) unlink(log_file_.c_str());
}

std::string SimProcess::log() const {
    std::ifstream file(log_file_);
    std::ostringstream text;
    text << file.rdbuf();
    return text.str();
}

int SimProcess::stop() {
    if (pid_ <= 0) return status_;
    int status = 0;
    kill(pid_, SIGTERM);
    if (!wait_for_exit(pid_, &status, stop_timeout_ms)) {
        kill(pid_, SIGKILL);
        waitpid(pid_, &status, 0);
    }
    pid_ = -1;
    status_ = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    if (status_ == strict_status && !violations_expected_) {
        ADD_FAILURE() << "the host broke the wire grammar:\n" << log();
    }
    return status_;
}
