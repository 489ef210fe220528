#include "diagnostics/system.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>

#include "serial/system_posix.h"

namespace {

int saved_errno = 0;
char error_text[1024];

}  // namespace

void remember_system_error() { saved_errno = errno; }

int last_system_error() { return saved_errno; }

const char* system_error_text() {
    // strerror gives the C locale's text: the program never changes its locale.
    std::snprintf(error_text, sizeof error_text, "%s", std::strerror(saved_errno));
    std::size_t length = std::strlen(error_text);
    while (length > 0 && (error_text[length - 1] == '\n' || error_text[length - 1] == '\r')) {
        error_text[--length] = '\0';
    }
    return error_text;
}

// The port layer's handler of the abort signal releases the port first.
void end_abnormally() { std::abort(); }

void sleep_ms(unsigned milliseconds) {
    struct timespec pause = {static_cast<time_t>(milliseconds / 1000),
                             static_cast<long>(milliseconds % 1000) * 1000000L};
    while (nanosleep(&pause, &pause) != 0 && errno == EINTR) {
    }
}
