// Typing at a terminal: the console is run on a pty, as an operator's shell
// would run it, and keys are sent as a terminal sends them.
#include <poll.h>
#include <pty.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <string>
#include <thread>

#include "tests/support/transcript.h"
#include "tests/windows/wine.h"

namespace {

class TerminalSession {
  public:
    TerminalSession() {
        const char* exe = std::getenv("VESTRIMOND_EXE");
        std::string program = exe != nullptr ? exe : VESTRIMOND_EXE;
        const auto env = directory_.environment({{"TERM", "xterm"}});
        pid_ = forkpty(&master_, nullptr, nullptr, nullptr);
        if (pid_ == 0) {
            for (const auto& [name, value] : env) setenv(name.c_str(), value.c_str(), 1);
            if (chdir(TEST_SOURCE_DIR) != 0) _exit(126);
            execl(program.c_str(), program.c_str(), static_cast<char*>(nullptr));
            _exit(127);
        }
    }
    ~TerminalSession() {
        if (pid_ > 0) {
            kill(pid_, SIGKILL);
            waitpid(pid_, nullptr, 0);
        }
        if (master_ >= 0) close(master_);
    }

    void type(const std::string& keys) {
        ASSERT_EQ(write(master_, keys.data(), keys.size()), static_cast<ssize_t>(keys.size()));
    }

    // Reads the terminal until `text` has appeared `count` times in all.
    bool wait_for(const std::string& text, int count,
                  std::chrono::milliseconds limit = std::chrono::seconds(10)) {
        auto deadline = std::chrono::steady_clock::now() + limit;
        while (occurrences(text) < count) {
            auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
                deadline - std::chrono::steady_clock::now());
            if (left.count() <= 0) return false;
            if (!read_output(left)) return occurrences(text) >= count;
        }
        return true;
    }

    // Waits until the editor has put the terminal in its own mode, which it
    // does only after it has shown the prompt. A control key typed before
    // that is taken by the terminal itself: end of input (Ctrl-D) would reach
    // the editor as a NUL byte, and the program would go on waiting.
    bool wait_for_editor() {
        auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
        termios mode{};
        while (tcgetattr(master_, &mode) == 0 && (mode.c_lflag & ICANON) != 0) {
            if (std::chrono::steady_clock::now() >= deadline) return false;
            read_output(std::chrono::milliseconds(10));
        }
        return true;
    }

    // The program's exit status (128 + the signal when a signal ended it), or
    // -1 when it has not ended within 10 s. Its output is read meanwhile so
    // that it never waits on a full terminal; once it has closed the terminal,
    // which comes a moment before its end can be collected, this only waits.
    int exit_status() {
        auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
        while (std::chrono::steady_clock::now() < deadline) {
            int status = 0;
            if (waitpid(pid_, &status, WNOHANG) == pid_) {
                pid_ = -1;
                if (WIFSIGNALED(status)) return 128 + WTERMSIG(status);
                return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
            }
            if (!read_output(std::chrono::milliseconds(10))) {
                std::this_thread::sleep_for(std::chrono::milliseconds(10));
            }
        }
        return -1;
    }

    const std::string& screen() const { return screen_; }

  private:
    // Adds what the program shows within `limit` to the screen; false once
    // the program has closed the terminal.
    bool read_output(std::chrono::milliseconds limit) {
        pollfd fd = {master_, POLLIN, 0};
        if (poll(&fd, 1, static_cast<int>(limit.count())) <= 0) return true;
        char buffer[4096];
        ssize_t n = read(master_, buffer, sizeof buffer);
        if (n <= 0) return false;
        screen_.append(buffer, static_cast<size_t>(n));
        return true;
    }

    int occurrences(const std::string& text) const {
        int count = 0;
        for (size_t at = screen_.find(text); at != std::string::npos;
             at = screen_.find(text, at + 1)) {
            ++count;
        }
        return count;
    }

    RunDirectory directory_;
    int master_ = -1;
    pid_t pid_ = -1;
    std::string screen_;
};

// Wine shows a console program on a terminal as screen updates, a blank as a
// cursor move: the session cannot be read back as text there.
const char* const wine_terminal =
    "Wine draws the console on a terminal with cursor moves for blanks";

// Built without libedit, the program reads plain lines, and the terminal
// leaves the arrow keys in them.
const char* const no_line_editing = "the program was built without line editing (no libedit)";

const std::string left_arrow = "\x1b[D";
const std::string up_arrow = "\x1b[A";

TEST(LineEditing, LeftArrowEditsAndUpArrowRecallsThePreviousCommand) {
    if (program_runs_under_wine()) GTEST_SKIP() << wine_terminal;
    if (!VESTRIMOND_LINE_EDITING) GTEST_SKIP() << no_line_editing;
    TerminalSession terminal;
    ASSERT_TRUE(terminal.wait_for("Command> ", 1)) << terminal.screen();
    // "hep", back one, insert "l": the line reads "help".
    terminal.type("hep" + left_arrow + "l\r");
    ASSERT_TRUE(terminal.wait_for("Command Summary", 2)) << terminal.screen();
    ASSERT_TRUE(terminal.wait_for("Command> ", 2)) << terminal.screen();
    terminal.type(up_arrow + "\r");
    ASSERT_TRUE(terminal.wait_for("Command Summary", 3)) << terminal.screen();
    ASSERT_TRUE(terminal.wait_for("Command> ", 3)) << terminal.screen();
    // A line longer than the console takes is refused whole, here too.
    terminal.type(std::string(256, 'h') + "\r");
    ASSERT_TRUE(terminal.wait_for("command line too long (max 255 characters)", 1))
        << terminal.screen();
    ASSERT_TRUE(terminal.wait_for("Command> ", 4)) << terminal.screen();
    // An empty line is a line, not the end of input.
    terminal.type("\r");
    ASSERT_TRUE(terminal.wait_for("Command> ", 5)) << terminal.screen();
    terminal.type("x\r");
    EXPECT_EQ(terminal.exit_status(), 0);
}

TEST(LineEditing, TabCompletesTheCommandWordAndFileNames) {
    if (program_runs_under_wine()) GTEST_SKIP() << wine_terminal;
    if (!VESTRIMOND_LINE_EDITING) GTEST_SKIP() << no_line_editing;
    TerminalSession terminal;
    ASSERT_TRUE(terminal.wait_for("Command> ", 1)) << terminal.screen();
    // The editor redraws the line, so the screen shows what Tab added; the
    // command that runs shows the whole line: "dconfigure x", not "dcox".
    terminal.type("dco\t");
    ASSERT_TRUE(terminal.wait_for("nfigure ", 1)) << terminal.screen();
    terminal.type("x\r");
    ASSERT_TRUE(terminal.wait_for("Configuration Version", 1)) << terminal.screen();
    ASSERT_TRUE(terminal.wait_for("Command> ", 2)) << terminal.screen();
    // "configure examples/", then the file inside it.
    terminal.type("configure exa\t");
    ASSERT_TRUE(terminal.wait_for("mples/", 1)) << terminal.screen();
    terminal.type("site.cfg\r");
    ASSERT_TRUE(terminal.wait_for("Configuration items processed", 1)) << terminal.screen();
    ASSERT_TRUE(terminal.wait_for("Command> ", 3)) << terminal.screen();
    terminal.type("x\r");
    EXPECT_EQ(terminal.exit_status(), 0) << terminal.screen();
}

TEST(LineEditing, ConfirmationQuestionsAreAnsweredAtTheTerminalToo) {
    if (program_runs_under_wine()) GTEST_SKIP() << wine_terminal;
    TerminalSession terminal;
    ASSERT_TRUE(terminal.wait_for("Command> ", 1));
    terminal.type("firmware 3 fw.hex\r");
    ASSERT_TRUE(terminal.wait_for("[n]: ", 1)) << terminal.screen();
    terminal.type("nope" + left_arrow + left_arrow + "\r");
    ASSERT_TRUE(terminal.wait_for("Vestrimond Firmware will NOT be updated!", 1))
        << terminal.screen();
    // Typed ahead of the prompt: the terminal keeps it for the next read.
    terminal.type("x\r");
    EXPECT_EQ(terminal.exit_status(), 0) << terminal.screen();

    // The end of input at a question aborts it; the next prompt ends the program.
    TerminalSession ended;
    ASSERT_TRUE(ended.wait_for("Command> ", 1));
    ended.type("firmware 3 fw.hex\r");
    ASSERT_TRUE(ended.wait_for("[n]: ", 1)) << ended.screen();
    if (VESTRIMOND_LINE_EDITING) {
        ASSERT_TRUE(ended.wait_for_editor()) << ended.screen();
    }
    ended.type("\x04");
    EXPECT_EQ(ended.exit_status(), 1) << ended.screen();
}

}  // namespace
