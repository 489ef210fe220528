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

}  // namespace

// The port of "connect" and "firmware", made into the port name that the
// port layer opens and messages show: "3", "COM3" and "com3" all name COM3
// (anything outside 1..20 is refused), and a device path ("/dev/ttyUSB0" on
// POSIX, "\\.\COM23" on Windows) names the device itself. A path is never cut to fit.
bool parse_port(const char* token, char (&name)[sizeof port_name]) {
    if (port_argument_is_path(token)) {
        if (!port_name_fits(token)) {
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
        print_port_number_hint(number);
        return false;
    }
    std::snprintf(name, sizeof name, "COM%d", static_cast<int>(number));
    return true;
}

namespace {

bool check_host_baud(int32_t baud) {
    if (is_host_baud(baud)) return true;
    std::printf("\a\aError: invalid baud rate: %d\n", static_cast<int>(baud));
    return false;
}

// The answer of a batch to every question, shown after the question as if
// typed; none: the questions are asked at the console.
const char* batch_answer = nullptr;

bool is_yes(const char* answer) { return answer[0] == 'y' || answer[0] == 'Y'; }

// Asks `question` and puts the answer into buf. False at the end of input,
// after a line end.
bool ask(const char* question, char* buf, std::size_t size) {
    if (batch_answer != nullptr) {
        std::printf("%s%s\n", question, batch_answer);
        std::snprintf(buf, size, "%s", batch_answer);
        return true;
    }
    ConsoleRead read = read_console_line(question, buf, size);
    if (read == ConsoleRead::line || read == ConsoleRead::too_long) return true;
    std::printf("\n");
    return false;
}

// One download confirmation; the answer is read into cmd_line.
bool confirm_download(const char* question) {
    if (ask(question, cmd_line, sizeof cmd_line) && is_yes(cmd_line)) return true;
    std::printf("\a\aDownload Aborted!\n");
    return false;
}

bool confirm_firmware() {
    constexpr char question[] =
        "\a\aWARNING! This will alter the Vestrimond firmware!\n"
        "Do you want to continue (n or y)? [n]: ";
    char answer[40];
    if (ask(question, answer, sizeof answer) && is_yes(answer)) return true;
    std::printf("Vestrimond Firmware will NOT be updated!\n");
    return false;
}

// The firmware update's pause at its warning: any line, even an empty one.
// A batch does not wait: it ends the warning's line itself.
void wait_for_enter() {
    if (batch_answer != nullptr) {
        std::printf("\n");
        return;
    }
    read_console_line("", reinterpret_cast<char*>(rx_buf), sizeof rx_buf);
}

bool run_help(Arguments&) {
    help_summary();
    return true;
}

bool run_angles(Arguments&) {
    angles_help();
    std::printf("\n");
    return true;
}

bool run_configure(Arguments& args) {
    const char* file_name = args.next_file_name();
    if (file_name == nullptr) {
        std::printf("\a\aError: missing argument: file_name\n");
        return false;
    }
    if (conf_process(file_name) == 0) return true;
    std::printf("\a\aError: Configuration processing failed\n");
    return false;
}

bool run_rules(Arguments& args) {
    const char* file_name = args.next_file_name();
    if (file_name == nullptr) {
        std::printf("\a\aError: missing argument: file_name\n");
        return false;
    }
    if (rules_process(file_name) == 0) return true;
    std::printf("\a\aError: Rule processing failed\n");
    return false;
}

bool run_dconfigure(Arguments&) {
    conf_display();
    return true;
}

bool run_drules(Arguments&) {
    rules_display();
    return true;
}

bool run_deditpath(Arguments&) {
    path_edit_display();
    return true;
}

// The connection reports its own outcome; the command fails when it leaves
// the program not connected.
bool run_connect(Arguments& args) {
    if (connected) {
        std::printf("\a\aError: already Connected!\n");
        return false;
    }
    const char* port_token = args.next_number();
    if (port_token == nullptr) {
        std::printf("\a\aError: missing argument: com_port\n");
        return false;
    }
    char port[sizeof port_name];
    if (!parse_port(port_token, port)) return false;
    const char* baud_token = args.next_number();
    int32_t baud = baud_token != nullptr ? leading_decimal(baud_token) : default_baud();
    if (!check_host_baud(baud)) return false;
    current_baud = baud;
    std::memcpy(port_name, port, sizeof port_name);
    connect_device(current_baud, false);
    return connected != 0;
}

bool run_disconnect(Arguments&) {
    if (!connected) {
        std::printf("\a\aError: not Connected!\n");
        return false;
    }
    end_connection();
    std::printf("Disconnected\n");
    return true;
}

bool run_baud(Arguments& args) {
    if (!connected) {
        std::printf("\a\aError: must be Connected before changing the Baud!\n");
        return false;
    }
    const char* baud_token = args.next_number();
    if (baud_token == nullptr) {
        std::printf("\a\aError: missing argument: baud\n");
        return false;
    }
    int32_t baud = leading_decimal(baud_token);
    if (!check_host_baud(baud)) return false;
    current_baud = baud;
    char command[32];
    int length = std::snprintf(command, sizeof command, "host %ld\n", static_cast<long>(baud));
    if (write_port(port_name, command, length) <= 0) {
        std::printf("\a\aError: wrote Host Baud command, got error on port %s\n", port_name);
        end_connection();
        return false;
    }
    connect_device(current_baud, true);
    return connected != 0;
}

bool run_download(Arguments&) {
    if (!connected) {
        std::printf("\a\aError: not Connected!\n");
        return false;
    }
    if (!conf_processed &&
        !confirm_download("\a\aWarning: Configuration file has not yet been processed!\n"
                          "Do you want to use the Default Configuration? (yes|no) [no]: ")) {
        return false;
    }
    if (!rules_processed &&
        !confirm_download("\n\a\aWarning: Rules file has not yet been processed!\n"
                          "Do you  want to use the Implicit Rule only without specific rules?\n"
                          "(yes|no) [no]: ")) {
        return false;
    }
    if (write_port(port_name, "download\n", 9) <= 0) {
        std::printf("\a\aError: wrote Download command, got error on port %s\n", port_name);
        return false;
    }
    int result = dwn_download();
    if (result != 0) std::printf("\a\aError: Download failed: %d\n", result);
    end_connection();
    std::printf("Disconnected\n");
    return result == 0;
}

bool run_firmware(Arguments& args) {
    if (connected) {
        std::printf("\a\aError: already Connected, Disconnect first!\n");
        return false;
    }
    const char* port_token = args.next_number();
    if (port_token == nullptr) {
        std::printf("\a\aError: missing arguments: com_port file_name\n");
        return false;
    }
    char port[sizeof port_name];
    if (!parse_port(port_token, port)) return false;
    const char* file_name = args.next_file_name();
    if (file_name == nullptr) {
        std::printf("\a\aError: missing argument: file_name\n");
        return false;
    }
    std::snprintf(fw_file_name, sizeof fw_file_name, "%s", file_name);
    if (!confirm_firmware()) return false;
    if (firmware(port, fw_file_name, wait_for_enter) != 0) {
        std::printf("Error: Firmware update failed!\n\tTry again!\n");
        return false;
    }
    std::printf(
        "\a\aFirmware update succeeded!\n\n"
        "Don't forget to Configure Operating Parameters, Process Rules\n"
        "and Download these to the Vestrimond!\n");
    return true;
}

bool run_serialtest(Arguments& args) {
    if (!connected) {
        std::printf("\a\aError: not Connected!\n");
        return false;
    }
    const char* iterations = args.next_number();
    if (iterations == nullptr) {
        std::printf("\a\aError: missing argument: iteration\n");
        return false;
    }
    return serial_test(cmd_serialtest, iterations) == 0;
}

struct command_action {
    int code;
    bool (*run)(Arguments&);
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

bool run_command(int code, Arguments& args) {
    for (const command_action& action : actions) {
        if (action.code == code) return action.run(args);
    }
    std::printf("\a\aInternal Error: command %d is invalid!\n", code);
    return false;
}

}  // namespace

void console_start() {
    std::setvbuf(stdout, nullptr, _IONBF, 0);
    std::setvbuf(stderr, nullptr, _IONBF, 0);
    std::printf("Vestrimond PC Host Digi Utility %s\n", program_version);
    conf_reset();
}

void answer_questions(const char* answer) {
    batch_answer = answer;
}

// Never run a piece of a long line: its tail could be any command.
CommandResult refuse_long_line() {
    std::printf("\a\aError: command line too long (max %d characters)\n",
                static_cast<int>(sizeof cmd_line - 1));
    return CommandResult::failed;
}

CommandResult run_command_line() {
    if (cmd_line[0] == '\0') return CommandResult::done;
    if (cmd_line[0] == '.') {
        std::memcpy(cmd_line, prev_line, sizeof cmd_line);
    } else {
        std::memcpy(prev_line, cmd_line, sizeof prev_line);
    }

    char* rest;
    const char* word = next_token(cmd_line, " ,\t", &rest);
    if (word == nullptr) return CommandResult::done;
    PrefixMatch match = match_prefix(word, command_table);
    if (match.result == Match::none) {
        std::printf("\a\aError: unknown command: %s\n", word);
        return CommandResult::failed;
    }
    if (match.result == Match::several) {
        std::printf("\a\aError: ambiguous command: %s\n", word);
        return CommandResult::failed;
    }
    int code = command_table[static_cast<size_t>(match.index)].code;
    if (code == cmd_exit) return CommandResult::exit;
    Arguments args(rest);
    return run_command(code, args) ? CommandResult::done : CommandResult::failed;
}

int console_main() {
    console_start();
    help_summary();
    std::printf("\n");

    for (;;) {
        ConsoleRead read = read_console_line("Command> ", cmd_line, sizeof cmd_line, true);
        if (read == ConsoleRead::end || read == ConsoleRead::error) {
            std::printf("\n");
            return 1;
        }
        if (read == ConsoleRead::too_long) {
            refuse_long_line();
            continue;
        }
        if (run_command_line() == CommandResult::exit) return 0;
    }
}
