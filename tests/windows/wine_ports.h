#pragma once

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <cstdlib>
#include <map>
#include <string>
#include <utility>
#include <vector>

#include "tests/windows/wine.h"

// The console program run through Wine (VESTRIMOND_EXE_WRAPPER names wine)
// opens \\.\COM<n>, which Wine finds as the link $WINEPREFIX/dosdevices/com<n>.
// A run that gives the Linux program its port as VESTRIMOND_COM<n> gets that
// link instead, for the time of the run; the link that was there before comes
// back afterwards. The prefix is shared by all runs: runs that use the same
// port wait for each other.

class WinePorts {
  public:
    explicit WinePorts(const std::vector<std::pair<std::string, std::string>>& env) {
        if (!program_runs_under_wine()) return;
        std::string prefix = wine_prefix();
        // In port order, so that two runs never wait for each other crosswise.
        std::map<int, std::string> devices;
        for (const auto& [name, value] : env) {
            int number = com_number(name);
            if (number > 0) devices[number] = value;
        }
        for (const auto& [number, device] : devices) {
            std::string com = "com" + std::to_string(number);
            int lock = open((prefix + "/vestrimond-" + com + ".lock").c_str(),
                            O_RDWR | O_CREAT | O_CLOEXEC, 0644);
            if (lock >= 0) flock(lock, LOCK_EX);
            locks_.push_back(lock);
            Link link{prefix + "/dosdevices/" + com, ""};
            char before[4096];
            ssize_t length = readlink(link.path.c_str(), before, sizeof before - 1);
            if (length > 0) link.before.assign(before, static_cast<size_t>(length));
            unlink(link.path.c_str());
            if (symlink(device.c_str(), link.path.c_str()) == 0) links_.push_back(link);
        }
    }

    ~WinePorts() {
        for (const Link& link : links_) {
            unlink(link.path.c_str());
            if (link.before.empty()) continue;
            [[maybe_unused]] int restored = symlink(link.before.c_str(), link.path.c_str());
        }
        for (int lock : locks_) {
            if (lock >= 0) close(lock);
        }
    }

    WinePorts(const WinePorts&) = delete;
    WinePorts& operator=(const WinePorts&) = delete;

  private:
    static std::string wine_prefix() {
        const char* prefix = std::getenv("WINEPREFIX");
        if (prefix != nullptr && prefix[0] != '\0') return prefix;
        const char* home = std::getenv("HOME");
        return std::string(home != nullptr ? home : "") + "/.wine";
    }

    // n of "VESTRIMOND_COM<n>", else 0.
    static int com_number(const std::string& name) {
        const std::string stem = "VESTRIMOND_COM";
        if (name.compare(0, stem.size(), stem) != 0 || name.size() == stem.size()) return 0;
        int number = 0;
        for (size_t i = stem.size(); i < name.size(); ++i) {
            if (name[i] < '0' || name[i] > '9' || number > 1000) return 0;
            number = number * 10 + (name[i] - '0');
        }
        return number;
    }

    struct Link {
        std::string path;
        std::string before;  // where it led before the run, or empty
    };

    std::vector<Link> links_;
    std::vector<int> locks_;
};
