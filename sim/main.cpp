// vestrimond-sim: a simulated Vestrimond on a pty, for trying the host
// program without a device and for testing it over a real serial line.

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <string>

#include "sim/device_console.h"
#include "sim/log.h"
#include "sim/options.h"
#include "sim/pty_line.h"
#include "sim/stop_signal.h"

namespace {

// Points `link` at `target`, replacing an earlier symlink but never any other
// file.
bool make_link(const std::string& link, const char* target) {
    struct stat existing;
    if (lstat(link.c_str(), &existing) == 0 && !S_ISLNK(existing.st_mode)) {
        errno = EEXIST;
        return false;
    }
    std::string temporary = link + ".new";
    unlink(temporary.c_str());
    if (symlink(target, temporary.c_str()) != 0) return false;
    if (rename(temporary.c_str(), link.c_str()) != 0) {
        unlink(temporary.c_str());
        return false;
    }
    return true;
}

// Removes the link unless it now points elsewhere (another simulator took it).
void remove_link(const std::string& link, const char* target) {
    char points_to[256];
    ssize_t length = readlink(link.c_str(), points_to, sizeof points_to - 1);
    if (length < 0) return;
    points_to[length] = '\0';
    if (std::strcmp(points_to, target) == 0) unlink(link.c_str());
}

}  // namespace

int main(int argc, char** argv) {
    sim::Options options;
    switch (sim::parse_options(argc, argv, options)) {
        case sim::ParseResult::help:
            sim::print_help(stdout);
            return 0;
        case sim::ParseResult::error:
            return 2;
        case sim::ParseResult::run:
            break;
    }
    sim::set_logging(options.verbose);
    sim::catch_stop_signals();

    sim::PtyLine line;
    if (!line.open(options.baud)) {
        std::fprintf(stderr, "vestrimond-sim: cannot open a pty: %s\n", std::strerror(errno));
        return 1;
    }
    if (!options.link.empty() && !make_link(options.link, line.slave_path())) {
        std::fprintf(stderr, "vestrimond-sim: cannot make the link %s: %s\n", options.link.c_str(),
                     std::strerror(errno));
        return 1;
    }
    std::printf("%s\n", line.slave_path());
    std::fflush(stdout);
    sim::log_line("device on %s at %ld baud", line.slave_path(), static_cast<long>(options.baud));

    sim::run_device_console(line, options);

    if (!options.link.empty()) remove_link(options.link, line.slave_path());
    sim::log_line("stopped");
    return 0;
}
