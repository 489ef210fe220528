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
// program of the convention writes it. -1 when the file holds none (or a
// number no process can have), 0 when there is no file. Only calls that are
// safe in a signal handler, and no number beyond what a 32-bit long holds.
pid_t read_holder(const char* name) {
    int fd = open(name, O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) return errno == ENOENT || errno == ENOTDIR ? 0 : -1;
    char text[32];
    ssize_t got = read(fd, text, sizeof text);
    close(fd);
    return uucp_lock_pid(text, got > 0 ? static_cast<std::size_t>(got) : 0);
}

bool alive(pid_t pid) {
    return kill(pid, 0) == 0 || errno != ESRCH;
}

// A lock whose process has gone.
bool stale(pid_t holder) {
    return holder > 0 && holder != getpid() && !alive(holder);
}

// A folder that this program may not write (or that the system lacks): the
// device goes without a lock, as with other programs.
bool no_lock_folder(int error) {
    return error == EACCES || error == EPERM || error == EROFS || error == ENOENT;
}

// Writes this process's lock, whole, under a name of its own beside `name`
// that nobody can guess, then links it to `name`: a program that finds the
// lock finds the process id in it. 0 linked, 1 no lock folder, -1 with errno.
int write_lock(const char* name) {
    char written[PATH_MAX + 32];
    std::snprintf(written, sizeof written, "%s.XXXXXX", name);
    int fd = mkostemp(written, O_CLOEXEC | O_NOFOLLOW | O_NONBLOCK);
    if (fd < 0) return no_lock_folder(errno) ? 1 : -1;
    char text[16];
    int length = std::snprintf(text, sizeof text, "%10ld\n", static_cast<long>(getpid()));
    bool whole = write(fd, text, static_cast<std::size_t>(length)) == length &&
                 fchmod(fd, 0644) == 0;  // whatever the program's umask
    int error = errno;
    close(fd);
    int linked = whole ? link(written, name) : -1;
    if (whole) error = errno;
    unlink(written);
    errno = error;
    return linked == 0 ? 0 : -1;
}

}  // namespace

const char* uucp_lock_folder_where(bool run_lock_is_folder) {
    return run_lock_is_folder ? "/run/lock" : "/var/lock";
}

const char* uucp_lock_folder() {
    struct stat folder;
    return uucp_lock_folder_where(stat("/run/lock", &folder) == 0 && S_ISDIR(folder.st_mode));
}

pid_t uucp_lock_pid(const char* text, std::size_t length) {
    std::size_t at = 0;
    while (at < length && text[at] == ' ') ++at;
    // A ten-digit number must not overflow a 32-bit long while it is read.
    long pid = 0;
    for (; at < length && text[at] >= '0' && text[at] <= '9'; ++at) {
        const int digit = text[at] - '0';
        if (pid > (INT_MAX - digit) / 10) return -1;
        pid = pid * 10 + digit;
    }
    return pid > 0 ? static_cast<pid_t>(pid) : -1;
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
    return pid == getpid() || stale(pid) ? 0 : pid;
}

int uucp_lock_take(const char* name) {
    pid_t holder = read_holder(name);
    if (stale(holder)) {
        // Another program may have found it stale too, removed it and taken
        // the lock since: only the lock of the process found gone is removed.
        if (read_holder(name) == holder) unlink(name);
        holder = read_holder(name);
    }
    if (holder != 0 && holder != getpid()) {
        errno = EBUSY;
        return -1;
    }
    int written = write_lock(name);
    if (written == 1) return 0;
    if (written != 0 && errno != EEXIST) return -1;
    // Whoever linked it first holds it.
    if (read_holder(name) != getpid()) {
        errno = EBUSY;
        return -1;
    }
    return 0;
}

void uucp_lock_release(const char* name) {
    if (name[0] != '\0' && read_holder(name) == getpid()) unlink(name);
}
