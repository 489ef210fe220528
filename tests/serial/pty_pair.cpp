#include "tests/serial/pty_pair.h"

#include <poll.h>

std::string PtyPair::received(size_t count, int wait_ms) const {
    std::string bytes;
    while (bytes.size() < count) {
        pollfd watch{master_, POLLIN, 0};
        if (poll(&watch, 1, wait_ms) <= 0 || !(watch.revents & POLLIN)) break;
        char buffer[256];
        ssize_t got = read(master_, buffer, sizeof buffer);
        if (got <= 0) break;
        bytes.append(buffer, static_cast<size_t>(got));
    }
    return bytes;
}
