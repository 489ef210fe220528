#include "sim/device_console.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <string_view>

#include "sim/log.h"
#include "sim/port_link.h"
#include "sim/stop_signal.h"
#include "sim/tty_settings.h"

namespace sim {

namespace {

constexpr unsigned char interrupt_char = 0x03;
constexpr std::string_view prompt = "Vestro> ";
constexpr std::string_view serialtest_answer = "\r\nBegin serial test: end with <ctrl>-c\r\n";
constexpr int32_t loader_rate = 19200;

class DeviceConsole {
  public:
    DeviceConsole(PtyLine& line, const Options& options) : line_(line), options_(options) {}

    void run() {
        while (!stop_requested() && !line_.cut()) {
            int byte = line_.read_byte(-1);
            if (byte == Line::hung_up) {
                line_.wait_for_host();
            } else if (byte >= 0 && !options_.silent) {
                if (echoing_) {
                    echo(static_cast<unsigned char>(byte));
                } else {
                    take(static_cast<unsigned char>(byte));
                }
            }
        }
    }

  private:
    struct Command {
        const char* word;
        void (DeviceConsole::*run)(const char* argument);
    };
    static const Command commands[5];

    void take(unsigned char byte) {
        if (byte == interrupt_char) {
            if (length_ > 0) log_line("interrupt: line dropped");
            length_ = 0;
            line_had_cr_ = false;
        } else if (byte == '\n') {
            command_line_[length_] = '\0';
            length_ = 0;
            run_line();
            line_had_cr_ = false;
            exchange_ended();
        } else if (byte == '\r') {
            line_had_cr_ = true;
        } else if (length_ + 1 < sizeof command_line_) {
            command_line_[length_++] = static_cast<char>(byte);
        }
    }

    void run_line() {
        // The firmware update's reset is the one line whose bytes the host
        // must send exactly.
        if (std::strstr(command_line_, "reset") != nullptr &&
            (std::strcmp(command_line_, "reset") != 0 || line_had_cr_)) {
            violation("console: reset line \"%.40s%s\" where \"reset\\n\" belongs",
                      command_line_, line_had_cr_ ? "\\r" : "");
        }
        char* word = command_line_ + std::strspn(command_line_, " \t");
        char* argument = word + std::strcspn(word, " \t");
        if (*argument != '\0') *argument++ = '\0';
        argument += std::strspn(argument, " \t");
        log_line("command line \"%s%s%s\"", word, *argument ? " " : "", argument);
        if (*word == '\0') {
            show_prompt();
            return;
        }
        if (options_.ignored_command == word) {
            log_line("command ignored");
            return;
        }
        for (const Command& command : commands) {
            if (std::strcmp(word, command.word) == 0) {
                (this->*command.run)(argument);
                return;
            }
        }
        line_.write("Unknown command: ");
        line_.write(word);
        line_.write("\r\n");
        show_prompt();
    }

    void show_prompt() {
        if (skip_prompt_) {
            log_line("prompt left out");
            skip_prompt_ = false;
            return;
        }
        line_.write(prompt);
    }

    void show_version(const char*) {
        if (!options_.banner.empty()) {
            line_.write(options_.banner);
        } else {
            line_.write("\r\nVestrimond APRS digipeater\r\nVersion ");
            line_.write(options_.version);
            line_.write("\r\n");
        }
        show_prompt();
    }

    // "host N": the host port moves to N at once; the host reopens at N and
    // sends a line feed, which the prompt answers.
    void change_rate(const char* argument) {
        long rate = std::strtol(argument, nullptr, 10);
        if (!device_rate(static_cast<int32_t>(rate)) || rate != static_cast<int32_t>(rate)) {
            line_.write("Invalid baud rate\r\n");
            show_prompt();
            return;
        }
        line_.set_rate(static_cast<int32_t>(rate));
        skip_prompt_ = options_.no_baud_prompt;
    }

    void start_serial_test(const char*) {
        line_.write(serialtest_answer);
        echoing_ = true;
        echoed_ = 0;
        log_line("loop test started");
    }

    void echo(unsigned char byte) {
        if (byte == interrupt_char) {
            echoing_ = false;
            log_line("loop test ended after %d bytes", echoed_);
            return;
        }
        ++echoed_;
        if (options_.echo_stop_after > 0 && echoed_ > options_.echo_stop_after) return;
        if (echoed_ == options_.echo_corrupt) byte |= 0x80;
        line_.write(&byte, 1);
    }

    void download(const char*) {
        log_line("download receiver started");
        bool finished = run_download_receiver(line_, options_.download);
        log_line("download receiver %s", finished ? "finished" : "gave up");
    }

    // The loader runs at its own fixed rate; afterwards the device starts
    // again at its configured rate.
    // With --vanish-on-reset the port is unplugged as the device resets: its
    // name is gone before the host opens it again.
    void reset(const char*) {
        if (options_.vanish_on_reset) {
            remove_link(options_.link, line_.slave_path());
            log_line("reset: %s removed", options_.link.c_str());
        }
        log_line("reset: firmware loader started");
        line_.set_rate(loader_rate);
        run_firmware_loader(line_, options_.loader);
        line_.set_rate(options_.baud);
        log_line("firmware loader ended, console restarted");
    }

    PtyLine& line_;
    const Options& options_;
    char command_line_[256] = "";
    std::size_t length_ = 0;
    bool line_had_cr_ = false;
    bool skip_prompt_ = false;
    bool echoing_ = false;
    int echoed_ = 0;
};

const DeviceConsole::Command DeviceConsole::commands[5] = {
    {"version", &DeviceConsole::show_version},
    {"host", &DeviceConsole::change_rate},
    {"serialtest", &DeviceConsole::start_serial_test},
    {"download", &DeviceConsole::download},
    {"reset", &DeviceConsole::reset},
};

}  // namespace

void run_device_console(PtyLine& line, const Options& options) {
    DeviceConsole(line, options).run();
}

}  // namespace sim
