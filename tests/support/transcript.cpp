#include "tests/support/transcript.h"

#include <fcntl.h>
#include <grp.h>
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <sstream>

#include "tests/windows/wine_ports.h"

namespace {

std::string program_path() {
    const char* override_path = std::getenv("VESTRIMOND_EXE");
    return override_path != nullptr ? override_path : VESTRIMOND_EXE;
}

std::string without_cr_before_lf(const std::string& text) {
    std::string result;
    result.reserve(text.size());
    for (size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '\r' && i + 1 < text.size() && text[i + 1] == '\n') continue;
        result += text[i];
    }
    return result;
}

// qemu-user, which runs the ARM builds' tests, reports a signal that ends the
// program as a line of its own on the program's standard error: the last
// line, "qemu: uncaught target signal 6 (Aborted) - core dumped". It is not
// the program's output.
std::string without_emulator_report(const std::string& err, int signal) {
    const std::string report = "qemu: uncaught target signal " + std::to_string(signal) + " (";
    size_t start = err.rfind('\n', err.size() >= 2 ? err.size() - 2 : 0);
    start = start == std::string::npos ? 0 : start + 1;
    if (signal == 0 || err.compare(start, report.size(), report) != 0) return err;
    return err.substr(0, start);
}

// The script goes through a file so that a long script never blocks against
// the program's output.
int script_file(const std::string& script) {
    char path[] = "/tmp/vestrimond-script-XXXXXX";
    int fd = mkstemp(path);
    if (fd < 0) return -1;
    unlink(path);
    if (write(fd, script.data(), script.size()) != static_cast<ssize_t>(script.size())) {
        close(fd);
        return -1;
    }
    lseek(fd, 0, SEEK_SET);
    return fd;
}

std::string visible(const std::string& line) {
    std::string shown;
    for (unsigned char c : line) {
        switch (c) {
            case '\a': shown += "\\a"; break;
            case '\t': shown += "\\t"; break;
            case '\r': shown += "\\r"; break;
            case '\\': shown += "\\\\"; break;
            default:
                if (c < 0x20 || c > 0x7E) {
                    char hex[8];
                    std::snprintf(hex, sizeof hex, "\\x%02x", c);
                    shown += hex;
                } else {
                    shown += static_cast<char>(c);
                }
        }
    }
    return shown;
}

std::vector<std::string> split_lines(const std::string& text) {
    std::vector<std::string> lines;
    std::string line;
    for (char c : text) {
        if (c == '\n') {
            lines.push_back(line + "\\n");
            line.clear();
        } else {
            line += c;
        }
    }
    if (!line.empty()) lines.push_back(line);
    return lines;
}

}  // namespace

RunDirectory::RunDirectory() {
    char path[] = "/tmp/vestrimond-run-XXXXXX";
    if (mkdtemp(path) != nullptr) path_ = path;
}

RunDirectory::~RunDirectory() {
    std::error_code ignored;
    if (!path_.empty()) std::filesystem::remove_all(path_, ignored);
}

std::vector<std::pair<std::string, std::string>> RunDirectory::environment(
    const std::vector<std::pair<std::string, std::string>>& env) const {
    // Without a directory the ports still lead nowhere.
    const std::string base = path_.empty() ? "/nonexistent/vestrimond-run" : path_;
    std::vector<std::pair<std::string, std::string>> all;
    for (int n = 1; n <= 20; ++n) {
        all.emplace_back("VESTRIMOND_COM" + std::to_string(n), base + "/COM" + std::to_string(n));
    }
    all.insert(all.end(), env.begin(), env.end());
    return all;
}

RunResult run_console(const std::string& script, const RunOptions& options) {
    RunResult result;
    WinePorts ports(options.env);
    RunDirectory directory;
    const auto env = directory.environment(options.env);
    int input = script_file(script);
    int out_pipe[2], err_pipe[2];
    if (input < 0 || pipe(out_pipe) != 0 || pipe(err_pipe) != 0) return result;

    std::string program = options.program.empty() ? program_path() : options.program;
    const char* wrapper = std::getenv("VESTRIMOND_EXE_WRAPPER");
    pid_t pid = fork();
    if (pid == 0) {
        dup2(input, 0);
        dup2(out_pipe[1], 1);
        dup2(err_pipe[1], 2);
        close(out_pipe[0]);
        close(err_pipe[0]);
        if (!options.cwd.empty() && chdir(options.cwd.c_str()) != 0) _exit(126);
        for (const auto& [name, value] : env) setenv(name.c_str(), value.c_str(), 1);
        if (options.uid >= 0 && (setgroups(0, nullptr) != 0 || setgid(options.gid) != 0 ||
                                 setuid(options.uid) != 0)) {
            _exit(125);
        }
        std::vector<char*> argv;
        bool wrapped = wrapper != nullptr && wrapper[0] != '\0';
        if (wrapped) argv.push_back(const_cast<char*>(wrapper));
        argv.push_back(program.data());
        for (const std::string& arg : options.args) argv.push_back(const_cast<char*>(arg.c_str()));
        argv.push_back(nullptr);
        if (wrapped) {
            execvp(wrapper, argv.data());
        } else {
            execv(program.c_str(), argv.data());
        }
        _exit(127);
    }
    close(input);
    close(out_pipe[1]);
    close(err_pipe[1]);

    auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(options.timeout_seconds);
    pollfd fds[2] = {{out_pipe[0], POLLIN, 0}, {err_pipe[0], POLLIN, 0}};
    std::string* sinks[2] = {&result.out, &result.err};
    int open_streams = 2;
    const auto interrupt_at =
        std::chrono::steady_clock::now() + std::chrono::milliseconds(options.interrupt_after_ms);
    bool interrupt_pending = options.interrupt_after_ms >= 0;
    while (open_streams > 0) {
        auto now = std::chrono::steady_clock::now();
        if (interrupt_pending && now >= interrupt_at) {
            kill(pid, SIGINT);
            interrupt_pending = false;
        }
        auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - now);
        if (left.count() <= 0) {
            kill(pid, SIGKILL);
            break;
        }
        if (interrupt_pending) {
            left = std::min(left, std::chrono::duration_cast<std::chrono::milliseconds>(
                                      interrupt_at - now));
        }
        if (poll(fds, 2, static_cast<int>(left.count())) < 0) continue;
        for (int i = 0; i < 2; ++i) {
            if (fds[i].fd < 0 || fds[i].revents == 0) continue;
            char buffer[4096];
            ssize_t n = read(fds[i].fd, buffer, sizeof buffer);
            if (n > 0) {
                sinks[i]->append(buffer, static_cast<size_t>(n));
            } else {
                close(fds[i].fd);
                fds[i].fd = -1;
                --open_streams;
            }
        }
    }
    for (pollfd& fd : fds) {
        if (fd.fd >= 0) close(fd.fd);
    }
    int status = 0;
    waitpid(pid, &status, 0);
    if (WIFEXITED(status)) result.status = WEXITSTATUS(status);
    if (WIFSIGNALED(status)) result.signal = WTERMSIG(status);
    result.out = without_cr_before_lf(result.out);
    result.err = without_cr_before_lf(without_emulator_report(result.err, result.signal));
    return result;
}

::testing::AssertionResult same_output(const std::string& expected, const std::string& actual) {
    if (expected == actual) return ::testing::AssertionSuccess();
    std::vector<std::string> want = split_lines(expected);
    std::vector<std::string> got = split_lines(actual);
    size_t first = 0;
    while (first < want.size() && first < got.size() && want[first] == got[first]) ++first;
    std::ostringstream report;
    report << "output differs at line " << first + 1 << "\n";
    size_t from = first >= 3 ? first - 3 : 0;
    for (size_t i = from; i < first; ++i) report << "    " << visible(want[i]) << "\n";
    for (size_t i = first; i < want.size() && i < first + 6; ++i) {
        report << "  - " << visible(want[i]) << "\n";
    }
    for (size_t i = first; i < got.size() && i < first + 6; ++i) {
        report << "  + " << visible(got[i]) << "\n";
    }
    return ::testing::AssertionFailure() << report.str();
}

std::string start_text(const char* baud_line) {
    return "Vestrimond PC Host Digi Utility Version 2.83b\n" + help_text(baud_line) + "\n";
}

std::string help_text(const char* baud_line) {
    std::string text =
        "\n\t\tCommand Summary:\n"
        "Command    Arguments            Comments\n"
        "help                            Displays this summary (alias ?)\n"
        ".                               Repeats the previous command\n"
        "angles                          Displays the Angles format used for Lat and Lon\n"
        "baud       baud                 Changes the baud rates on host and Vestrimond\n"
        "\t\t\t\tonce connected. Default [ ]\n"
        "           Valid Baud Rates:\t";
    text += baud_line;
    text +=
        "\n"
        "configure  file_name            Reads a Configuration file\n"
        "dconfigure                      Displays the Configuration\n"
        "rules      file_name            Reads a Rules file\n"
        "drules                          Displays the Rules\n"
        "deditpath                       Displays the all the Path Edits\n"
        "connect    com_port [baud]      Connect to Vestrimond at optional baud\n"
        "\t\t\t\t(8 bits No Parity 1 Stop)\n"
        "disconnect                      Disconnect from the Vestrimond\n"
        "download                        Download Configuration and Rules to Vestrimond\n"
        "firmware   com_port file_name   Update Vestrimond firmware from firmware file\n"
        "serialtest iterations           Serial data test for the specified iterations\n"
        "exit                            Exits this program (aliases quit, x)\n";
    return text;
}
