#include "tests/support/port_script.h"

#include <algorithm>
#include <cstdio>
#include <cstring>

#include "serial/port.h"
#include "diagnostics/system.h"

namespace port_script {

State state;

void reset() { state = State{}; }

void feed(const std::string& bytes) { state.chunks.push_back(bytes); }

std::string all_written() {
    std::string joined;
    for (const std::string& w : state.writes) joined += w;
    return joined;
}

}  // namespace port_script

using port_script::state;

int open_port(const char* name, int32_t baud) {
    if (name == nullptr) return -1;
    ++state.opens;
    if (state.open_result != 0) return state.open_result;
    state.is_open = true;
    state.baud = baud;
    return 0;
}

int set_comm_prop(const char* name, int32_t baud) {
    if (name == nullptr) return -1;
    state.baud = baud;
    return 0;
}

int write_port(const char* name, const void* bytes, int count) {
    if (name == nullptr || count == 0) return -1;
    if (bytes == nullptr) return -2;
    int index = static_cast<int>(state.writes.size());
    if (index == state.fail_write_at) {
        state.writes.emplace_back();
        std::printf("\a\aError: wrote 0 of %d, got error on port %s: scripted failure\n", count,
                    name);
        return -3;
    }
    std::string data(static_cast<const char*>(bytes), static_cast<size_t>(count));
    state.writes.push_back(data);
    if (state.on_write) state.on_write(data);
    return count;
}

int read_port(const char*, void* buffer, int size, int timeout_ms) {
    int got = 0;
    if (!state.chunks.empty()) {
        std::string& chunk = state.chunks.front();
        auto* out = static_cast<char*>(buffer);
        size_t taken = 0;
        // Received NUL bytes never reach the caller.
        while (taken < chunk.size() && got < size) {
            char c = chunk[taken++];
            if (c != '\0') out[got++] = c;
        }
        chunk.erase(0, taken);
        if (chunk.empty()) state.chunks.pop_front();
    }
    state.reads.push_back({size, timeout_ms, got});
    return got;
}

void purge_port() { ++state.purges; }

void close_port() {
    if (state.is_open) ++state.closes;
    state.is_open = false;
}

void print_open_hint() {}

int last_system_error() { return 0; }
const char* system_error_text() { return "scripted"; }
void sleep_ms(unsigned milliseconds) { state.slept_ms += milliseconds; }
