#include "console/options.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "common/version.h"
#include "console/batch.h"
#include "console/command_loop.h"
#include "console/file_check.h"
#include "console/manual_name.h"
#include "serial/doctor.h"
#include "serial/port_list.h"
#include "serial/trace.h"

namespace {

constexpr char usage[] =
    "Usage: vestrimond [--help | --version | --list-ports]\n"
    "       vestrimond [--trace FILE]\n"
    "       vestrimond [--trace FILE] [-y] -b FILE\n"
    "       vestrimond [--trace FILE] [-y] -c COMMAND [-c COMMAND]...\n"
    "       vestrimond [-q] {--check-config FILE | --check-rules FILE}...\n"
    "       vestrimond [--trace FILE] --doctor [PORT]\n";

int print_help() {
    std::printf(
        "%s"
        "\n"
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
        "\n"
        "%s\n",
        usage, manual_pointer);
    return 0;
}

// "vestrimond 2.83b": the program's name and its version number.
int print_version() {
    const char* number = std::strchr(program_version, ' ');
    std::printf("vestrimond %s\n", number != nullptr ? number + 1 : program_version);
    return 0;
}

int print_ports() {
    std::vector<std::string> lines = list_ports(system_port_roots());
    if (lines.empty()) std::printf("No serial ports found\n");
    for (const std::string& line : lines) std::printf("%s\n", line.c_str());
    return 0;
}

struct info_option {
    const char* name;
    int (*run)();
};

constexpr info_option info_options[] = {
    {"--help", print_help},
    {"--version", print_version},
    {"--list-ports", print_ports},
};

const info_option* find_info_option(const char* argument) {
    for (const info_option& known : info_options) {
        if (std::strcmp(argument, known.name) == 0) return &known;
    }
    return nullptr;
}

int usage_error(const char* what, const char* argument) {
    if (argument != nullptr) {
        std::fprintf(stderr, "vestrimond: %s: %s\n%s", what, argument, usage);
    } else {
        std::fprintf(stderr, "vestrimond: %s\n%s", what, usage);
    }
    return 2;
}

// The options of a batch or a file check, in any order.
struct Choices {
    BatchCommands batch;
    std::vector<char*> commands;
    std::vector<FileToCheck> checks;
    bool quiet = false;
    const char* trace = nullptr;
    bool doctor = false;
    const char* doctor_port = nullptr;
};

// An optional value follows as the next argument unless that begins with '-'.
enum class Takes { nothing, value, optional_value };

struct run_option {
    const char* short_name;  // nullptr: none
    const char* long_name;
    Takes takes;
    // Records the option: nullptr, or what makes it a usage error.
    const char* (*record)(Choices& choices, char* value);
};

constexpr run_option run_options_table[] = {
    {"-b", "--batch", Takes::value,
     [](Choices& c, char* value) -> const char* {
         if (c.batch.file != nullptr) return "-b given twice";
         c.batch.file = value;
         return nullptr;
     }},
    {"-c", "--command", Takes::value,
     [](Choices& c, char* value) -> const char* {
         c.commands.push_back(value);
         return nullptr;
     }},
    {"-y", "--yes", Takes::nothing,
     [](Choices& c, char*) -> const char* {
         c.batch.yes = true;
         return nullptr;
     }},
    {nullptr, "--check-config", Takes::value,
     [](Choices& c, char* value) -> const char* {
         c.checks.push_back({false, value});
         return nullptr;
     }},
    {nullptr, "--check-rules", Takes::value,
     [](Choices& c, char* value) -> const char* {
         c.checks.push_back({true, value});
         return nullptr;
     }},
    {"-q", "--quiet", Takes::nothing,
     [](Choices& c, char*) -> const char* {
         c.quiet = true;
         return nullptr;
     }},
    {nullptr, "--doctor", Takes::optional_value,
     [](Choices& c, char* value) -> const char* {
         if (c.doctor) return "--doctor given twice";
         c.doctor = true;
         c.doctor_port = value;
         return nullptr;
     }},
    {nullptr, "--trace", Takes::value,
     [](Choices& c, char* value) -> const char* {
         if (c.trace != nullptr) return "--trace given twice";
         c.trace = value;
         return nullptr;
     }},
};

// The option an argument names and the value attached to it: "-bFILE" and
// "--batch=FILE" carry theirs, "-b FILE" leaves it to the next argument.
const run_option* find_run_option(char* argument, char** attached) {
    *attached = nullptr;
    for (const run_option& known : run_options_table) {
        std::size_t length = std::strlen(known.long_name);
        if (std::strncmp(argument, known.long_name, length) == 0) {
            if (argument[length] == '\0') return &known;
            if (argument[length] == '=' && known.takes != Takes::nothing) {
                *attached = argument + length + 1;
                return &known;
            }
        }
        if (known.short_name != nullptr && std::strncmp(argument, known.short_name, 2) == 0) {
            if (argument[2] == '\0') return &known;
            if (known.takes == Takes::value) {
                *attached = argument + 2;
                return &known;
            }
        }
    }
    return nullptr;
}

int run_choices(Choices& choices) {
    bool batch = choices.batch.file != nullptr || !choices.commands.empty();
    if (choices.batch.file != nullptr && !choices.commands.empty()) {
        return usage_error("-b and -c cannot be used together", nullptr);
    }
    if (batch && !choices.checks.empty()) {
        return usage_error("a file check cannot be used with -b or -c", nullptr);
    }
    if (choices.batch.yes && !batch) return usage_error("-y needs -b or -c", nullptr);
    if (choices.quiet && choices.checks.empty()) {
        return usage_error("-q needs --check-config or --check-rules", nullptr);
    }
    if (choices.trace != nullptr && !choices.checks.empty()) {
        return usage_error("a file check cannot be used with --trace", nullptr);
    }
    if (choices.doctor && (batch || !choices.checks.empty())) {
        return usage_error("--doctor cannot be used with -b, -c or a file check", nullptr);
    }
    char doctor_port[256];
    if (choices.doctor_port != nullptr && !parse_port(choices.doctor_port, doctor_port)) {
        return usage_error("--doctor needs a port such as 1, COM1 or a device path",
                           choices.doctor_port);
    }
    if (choices.trace != nullptr && !start_trace(choices.trace)) {
        std::fprintf(stderr, "vestrimond: cannot write the trace %s: %s\n", choices.trace,
                     std::strerror(errno));
        return 2;
    }
    if (choices.doctor) return run_doctor(choices.doctor_port != nullptr ? doctor_port : nullptr);
    if (choices.trace != nullptr && !batch) return console_main();
    if (!batch) {
        return check_files(choices.checks.data(), static_cast<int>(choices.checks.size()),
                           choices.quiet);
    }
    choices.batch.commands = choices.commands.data();
    choices.batch.command_count = static_cast<int>(choices.commands.size());
    return run_batch(choices.batch);
}

}  // namespace

// An information option stands alone; the others may be mixed in any order.
int run_options(int argc, char** argv) {
    const info_option* info = find_info_option(argv[1]);
    if (info != nullptr) {
        if (argc == 2) return info->run();
        return usage_error("unexpected argument", argv[2]);
    }
    Choices choices;
    for (int i = 1; i < argc; ++i) {
        char* argument = argv[i];
        char* value;
        const run_option* option = find_run_option(argument, &value);
        if (option == nullptr) {
            if (find_info_option(argument) != nullptr || argument[0] != '-') {
                return usage_error("unexpected argument", argument);
            }
            return usage_error("unknown option", argument);
        }
        if (option->takes == Takes::optional_value && value == nullptr && i + 1 < argc &&
            argv[i + 1][0] != '-') {
            value = argv[++i];
        }
        if (option->takes == Takes::value && value == nullptr) {
            if (i + 1 == argc) return usage_error("option needs an argument", argument);
            value = argv[++i];
        }
        if (const char* wrong = option->record(choices, value)) return usage_error(wrong, nullptr);
    }
    return run_choices(choices);
}
