#include "sim/port_link.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>

namespace sim {

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

void remove_link(const std::string& link, const char* target) {
    char points_to[256];
    ssize_t length = readlink(link.c_str(), points_to, sizeof points_to - 1);
    if (length < 0) return;
    points_to[length] = '\0';
    if (std::strcmp(points_to, target) == 0) unlink(link.c_str());
}

}  // namespace sim
