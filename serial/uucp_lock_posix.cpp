#include "serial/uucp_lock.h"

#include <fcntl.h>
#include <signal.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstring>

namespace {

// Reads the process id of a lock file: ASCII digits after blanks, as every
// program of the convention writes it. -1 when the file holds none, 0 when
// there is no file. Only calls that are safe in a signal handler.
pid_t read_holder(const char* name) {
    int fd = open(name, O_RDONLY | O_NOFOLLOW | O_CLOEXEC);
    if (fd < 0) return errno == ENOENT ? 0 : -1;
    char text[32];
    ssize_t got = read(fd, text, sizeof text);
    close(fd);
    return uucp_lock_pid(text, got > 0 ? static_cast<std::size_t>(got) : 0);
}

bool alive(pid_t pid) {
    return kill(pid, 0) == 0 || errno != ESRCH;
}

}  // namespace

const char* uucp_lock_folder() {
    struct stat folder;
    return stat("/run/lock", &folder) == 0 && S_ISDIR(folder.st_mode) ? "/run/lock"
                                                                       : "/var/lock";
}

pid_t uucp_lock_pid(const char* text, std::size_t length) {
    std::size_t at = 0;
    while (at < length && text[at] == ' ') ++at;
    long pid = 0;
    for (; at < length && text[at] >= '0' && text[at] <= '9' && pid <= INT_MAX; ++at) {
        pid = pid * 10 + (text[at] - '0');
    }
    return pid > 0 && pid <= INT_MAX ? static_cast<pid_t>(pid) : -1;
}

bool uucp_lock_name(const char* path, const char* folder, char* name, std::size_t size) {
    char device[PATH_MAX];
    if (realpath(path, device) == nullptr) return false;
    return uucp_lock_file(device, folder, name, size);
}

bool uucp_lock_file(const char* device, const char* folder, char* name, std::size_t size) {
    if (std::strncmp(device, "/dev/", 5) != 0 || std::strncmp(device, "/dev/pts/", 9) == 0) {
        return false;
    }
    const char* base = std::strrchr(device, '/') + 1;
    int length = std::snprintf(name, size, "%s/LCK..%s", folder, base);
    return length > 0 && static_cast<std::size_t>(length) < size;
}

pid_t uucp_lock_holder(const char* name) {
    pid_t pid = read_holder(name);
    if (pid > 0 && (pid == getpid() || !alive(pid))) return 0;
    return pid;
}

int uucp_lock_take(const char* name) {
    pid_t holder = read_holder(name);
    if (holder > 0 && holder != getpid() && !alive(holder)) {
        unlink(name);
    } else if (holder != 0 && holder != getpid()) {
        errno = EBUSY;
        return -1;
    }
    // The lock is written whole under another name, then linked to its own:
    // a program that finds it finds the process id in it.
    char written[PATH_MAX + 32];
    std::snprintf(written, sizeof written, "%s.%ld", name, static_cast<long>(getpid()));
    int fd = open(written, O_WRONLY | O_CREAT | O_TRUNC | O_NOFOLLOW | O_CLOEXEC, 0644);
    if (fd < 0) return 0;
    char text[16];
    int length = std::snprintf(text, sizeof text, "%10ld\n", static_cast<long>(getpid()));
    bool whole = write(fd, text, static_cast<std::size_t>(length)) == length;
    fchmod(fd, 0644);  // whatever the program's umask
    close(fd);
    int linked = whole ? link(written, name) : 0;
    int link_error = errno;
    unlink(written);
    if (whole && linked != 0 && link_error == EEXIST && read_holder(name) != getpid()) {
        errno = EBUSY;
        return -1;
    }
    return 0;
}

void uucp_lock_release(const char* name) {
    if (name[0] != '\0' && read_holder(name) == getpid()) unlink(name);
}
