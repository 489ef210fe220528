#include "sim/stop_signal.h"

#include <signal.h>

namespace sim {

namespace {

volatile sig_atomic_t stop_flag = 0;

void on_stop_signal(int) {
    stop_flag = 1;
}

}  // namespace

void catch_stop_signals() {
    struct sigaction action {};
    action.sa_handler = on_stop_signal;
    sigemptyset(&action.sa_mask);
    sigaction(SIGTERM, &action, nullptr);
    sigaction(SIGINT, &action, nullptr);
    signal(SIGPIPE, SIG_IGN);
}

bool stop_requested() {
    return stop_flag != 0;
}

}  // namespace sim
