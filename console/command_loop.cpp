#include "console/command_loop.h"

#include <cstdio>
#include <cstring>

#include "angles/angles_help.h"
#include "common/numbers.h"
#include "common/prefix_match.h"
#include "common/tokenizer.h"
#include "common/version.h"
#include "config/conf_display.h"
#include "config/conf_parser.h"
#include "config/conf_record.h"
#include "config/path_edit_display.h"
#include "console/command_table.h"
#include "console/console_input.h"
#include "rules/rule_display.h"
#include "rules/rule_parser.h"
#include "rules/rule_record.h"
#include "serial/connection.h"
#include "serial/port.h"
#include "serial/port_path.h"
#include "serial/serial_test.h"
#include "transfer/download.h"
#include "transfer/firmware.h"

char cmd_line[256];
char prev_line[256];
char fw_file_name[256];

namespace {

// The arguments after the command word. Numbers are split at comma, blank or
// tab; a file name only at comma or tab, so it may hold blanks.
class Arguments {
public:
    explicit Arguments(char* rest) : rest_(rest) {}
    char* next_number() { return next_token(rest_, " ,\t", &rest_); }
    char* next_file_name() { return next_token(rest_, ",\t", &rest_); }

private:
    char* rest_;
};

// The port of "connect" and "firmware", made into the port name that the
// port layer opens and messages show: "3", "COM3" and "com3" all name COM3
// (anything outside 1..20 is refused), and where the build takes device paths
// a path names the device itself. A path is never cut to fit.
bool parse_port(const char* token, char (&name)[sizeof port_name]) {
    if (port_argument_is_path(token)) {
        if (std::strlen(token) >= sizeof name) {
            std::printf("\a\aError: device path too long (max %d characters)\n",
                        static_cast<int>(sizeof name - 1));
            return false;
        }
        std::snprintf(name, sizeof name, "%s", token);
        return true;
    }
    int32_t number = leading_decimal(token);
    if (number == 0 && is_prefix_nocase("com", token)) {
        number = leading_decimal(token + 3);
    }
    if (number < 1 || number > 20) {
        std::printf("\a\aError: invalid COM port number (1..20): %s\n", token);
        return false;
    }
    std::snprintf(name, sizeof name, "COM%d", static_cast<int>(number));
    return true;
}

bool check_host_baud(int32_t baud) {
    if (is_host_baud(baud)) return true;
    std::printf("\a\aError: invalid baud rate: %d\n", static_cast<int>(baud));
    return false;
}

bool is_yes(const char* answer) { return answer[0] == 'y' || answer[0] == 'Y'; }

// One download confirmation; the answer is read into cmd_line.
bool confirm_download(const char* question) {
    ConsoleRead read = read_console_line(question, cmd_line, sizeof cmd_line);
    if (read == ConsoleRead::end) std::printf("\n");
    if (read != ConsoleRead::end && is_yes(cmd_line)) return true;
    std::printf("\a\aDownload Aborted!\n");
    return false;
}

bool confirm_firmware() {
    char answer[40];
    ConsoleRead read = read_console_line(
        "\a\aWARNING! This will alter the Vestrimond firmware!\n"
        "Do you want to continue (n or y)? [n]: ",
        answer, sizeof answer);
    if (read == ConsoleRead::end) std::printf("\n");
    if (read != ConsoleRead::end && is_yes(answer)) return true;
    std::printf("Vestrimond Firmware will NOT be updated!\n");
    return false;
}

// The firmware update's pause at its warning: any line, even an empty one.
void wait_for_enter() { read_console_line("", reinterpret_cast<char*>(rx_buf), sizeof rx_buf); }

void run_help(Arguments&) { help_summary(); }

void run_angles(Arguments&) {
    angles_help();
    std::printf("\n");
}

void run_configure(Arguments& args) {
    const char* file_name = args.next_file_name();
    if (file_name == nullptr) {
        std::printf("\a\aError: missing argument: file_name\n");
        return;
    }
    if (conf_process(file_name) != 0) std::printf("\a\aError: Configuration processing failed\n");
}

void run_rules(Arguments& args) {
    const char* file_name = args.next_file_name();
    if (file_name == nullptr) {
        std::printf("\a\aError: missing argument: file_name\n");
        return;
    }
    if (rules_process(file_name) != 0) std::printf("\a\aError: Rule processing failed\n");
}

void run_dconfigure(Arguments&) { conf_display(); }
void run_drules(Arguments&) { rules_display(); }
void run_deditpath(Arguments&) { path_edit_display(); }

void run_connect(Arguments& args) {
    if (connected) {
        std::printf("\a\aError: already Connected!\n");
        return;
    }
    const char* port_token = args.next_number();
    if (port_token == nullptr) {
        std::printf("\a\aError: missing argument: com_port\n");
        return;
    }
    char port[sizeof port_name];
    if (!parse_port(port_token, port)) return;
    const char* baud_token = args.next_number();
    int32_t baud = baud_token != nullptr ? leading_decimal(baud_token) : default_baud();
    if (!check_host_baud(baud)) return;
    current_baud = baud;
    std::memcpy(port_name, port, sizeof port_name);
    connect_device(current_baud, false);
}

void run_disconnect(Arguments&) {
    if (!connected) {
        std::printf("\a\aError: not Connected!\n");
        return;
    }
    end_connection();
    std::printf("Disconnected\n");
}

void run_baud(Arguments& args) {
    if (!connected) {
        std::printf("\a\aError: must be Connected before changing the Baud!\n");
        return;
    }
    const char* baud_token = args.next_number();
    if (baud_token == nullptr) {
        std::printf("\a\aError: missing argument: baud\n");
        return;
    }
    int32_t baud = leading_decimal(baud_token);
    if (!check_host_baud(baud)) return;
    current_baud = baud;
    char command[32];
    int length = std::snprintf(command, sizeof command, "host %ld\n", static_cast<long>(baud));
    if (write_port(port_name, command, length) <= 0) {
        std::printf("\a\aError: wrote Host Baud command, got error on port %s\n", port_name);
        end_connection();
        return;
    }
    connect_device(current_baud, true);
}

void run_download(Arguments&) {
    if (!connected) {
        std::printf("\a\aError: not Connected!\n");
        return;
    }
    if (!conf_processed &&
        !confirm_download("\a\aWarning: Configuration file has not yet been processed!\n"
                          "Do you want to use the Default Configuration? (yes|no) [no]: ")) {
        return;
    }
    if (!rules_processed &&
        !confirm_download("\n\a\aWarning: Rules file has not yet been processed!\n"
                          "Do you  want to use the Implicit Rule only without specific rules?\n"
                          "(yes|no) [no]: ")) {
        return;
    }
    if (write_port(port_name, "download\n", 9) <= 0) {
        std::printf("\a\aError: wrote Download command, got error on port %s\n", port_name);
        return;
    }
    int result = dwn_download();
    if (result != 0) std::printf("\a\aError: Download failed: %d\n", result);
    end_connection();
    std::printf("Disconnected\n");
}

void run_firmware(Arguments& args) {
    if (connected) {
        std::printf("\a\aError: already Connected, Disconnect first!\n");
        return;
    }
    const char* port_token = args.next_number();
    if (port_token == nullptr) {
        std::printf("\a\aError: missing arguments: com_port file_name\n");
        return;
    }
    char port[sizeof port_name];
    if (!parse_port(port_token, port)) return;
    const char* file_name = args.next_file_name();
    if (file_name == nullptr) {
        std::printf("\a\aError: missing argument: file_name\n");
        return;
    }
    std::snprintf(fw_file_name, sizeof fw_file_name, "%s", file_name);
    if (!confirm_firmware()) return;
    if (firmware(port, fw_file_name, wait_for_enter) != 0) {
        std::printf("Error: Firmware update failed!\n\tTry again!\n");
    } else {
        std::printf(
            "\a\aFirmware update succeeded!\n\n"
            "Don't forget to Configure Operating Parameters, Process Rules\n"
            "and Download these to the Vestrimond!\n");
    }
}

void run_serialtest(Arguments& args) {
    if (!connected) {
        std::printf("\a\aError: not Connected!\n");
        return;
    }
    const char* iterations = args.next_number();
    if (iterations == nullptr) {
        std::printf("\a\aError: missing argument: iteration\n");
        return;
    }
    serial_test(cmd_serialtest, iterations);
}

struct command_action {
    int code;
    void (*run)(Arguments&);
};

// The "." entry (33) has no action: its line is replaced before matching, so
// it is only reached when "." is not the first character of the line.
constexpr command_action actions[] = {
    {cmd_help, run_help},
    {cmd_angles, run_angles},
    {cmd_configure, run_configure},
    {cmd_rules, run_rules},
    {cmd_dconfigure, run_dconfigure},
    {cmd_drules, run_drules},
    {cmd_deditpath, run_deditpath},
    {cmd_connect, run_connect},
    {cmd_disconnect, run_disconnect},
    {cmd_baud, run_baud},
    {cmd_download, run_download},
    {cmd_firmware, run_firmware},
    {cmd_serialtest, run_serialtest},
};

void run_command(int code, Arguments& args) {
    for (const command_action& action : actions) {
        if (action.code == code) {
            action.run(args);
            return;
        }
    }
    std::printf("\a\aInternal Error: command %d is invalid!\n", code);
}

}  // namespace

int console_main() {
    std::setvbuf(stdout, nullptr, _IONBF, 0);
    std::setvbuf(stderr, nullptr, _IONBF, 0);
    std::printf("Vestrimond PC Host Digi Utility %s\n", program_version);
    conf_reset();
    help_summary();
    std::printf("\n");

    for (;;) {
        ConsoleRead read = read_console_line("Command> ", cmd_line, sizeof cmd_line, true);
        if (read == ConsoleRead::end) {
            std::printf("\n");
            return 1;
        }
        if (read == ConsoleRead::too_long) {
            // Never run a piece of a long line: its tail could be any command.
            std::printf("\a\aError: command line too long (max %d characters)\n",
                        static_cast<int>(sizeof cmd_line - 1));
            continue;
        }
        if (cmd_line[0] == '\0') continue;
        if (cmd_line[0] == '.') {
            std::memcpy(cmd_line, prev_line, sizeof cmd_line);
        } else {
            std::memcpy(prev_line, cmd_line, sizeof prev_line);
        }

        char* rest;
        const char* word = next_token(cmd_line, " ,\t", &rest);
        if (word == nullptr) continue;
        PrefixMatch match = match_prefix(word, command_table);
        if (match.result == Match::none) {
            std::printf("\a\aError: unknown command: %s\n", word);
            continue;
        }
        if (match.result == Match::several) {
            std::printf("\a\aError: ambiguous command: %s\n", word);
            continue;
        }
        int code = command_table[static_cast<size_t>(match.index)].code;
        if (code == cmd_exit) return 0;
        Arguments args(rest);
        run_command(code, args);
    }
}
