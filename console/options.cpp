#include "console/options.h"

#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "common/version.h"
#include "serial/port_list.h"

namespace {

constexpr char usage[] = "Usage: vestrimond [--help | --version | --list-ports]\n";

int print_help() {
    std::printf(
        "%s"
        "\n"
        "Without an option, starts the interactive console of the Vestrimond: type\n"
        "\"help\" at its \"Command> \" prompt for the commands.\n"
        "\n"
        "  --help        show this help and exit\n"
        "  --version     show the version and exit\n"
        "  --list-ports  list the serial ports of this machine and exit\n"
        "\n"
        "The manual page tells more: man vestrimond\n",
        usage);
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

struct option {
    const char* name;
    int (*run)();
};

constexpr option options[] = {
    {"--help", print_help},
    {"--version", print_version},
    {"--list-ports", print_ports},
};

const option* find_option(const char* argument) {
    for (const option& known : options) {
        if (std::strcmp(argument, known.name) == 0) return &known;
    }
    return nullptr;
}

}  // namespace

// One option alone; a second argument is not taken, whatever it is.
int run_options(int argc, char** argv) {
    const option* chosen = find_option(argv[1]);
    if (chosen != nullptr && argc == 2) return chosen->run();
    const char* wrong = chosen != nullptr ? argv[2] : argv[1];
    std::fprintf(stderr, "vestrimond: %s: %s\n%s",
                 chosen == nullptr && wrong[0] == '-' ? "unknown option" : "unexpected argument",
                 wrong, usage);
    return 2;
}
