#include "tests/support/port_script.h"

#include <algorithm>
#include <cstdio>
#include <cstring>

#include "serial/port.h"
#include "diagnostics/system.h"

namespace port_script {

State state;

void reset() { state = State{}; }

void feed(const std::string& bytes) { feed_at(0, bytes); }

void feed_at(unsigned delay_ms, const std::string& bytes) {
    Chunk chunk{bytes, state.now_ms + delay_ms};
    auto later = std::find_if(state.chunks.begin(), state.chunks.end(),
                              [&](const Chunk& c) { return c.at_ms > chunk.at_ms; });
    state.chunks.insert(later, chunk);
}

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

// A failed change leaves no port open, as the real ones do.
int change_port_rate(const char* name, int32_t baud) {
    if (name == nullptr) return -1;
    if (!state.is_open) return open_port(name, baud);
    ++state.rate_changes;
    if (state.open_result != 0) {
        close_port();
        return state.open_result;
    }
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
    state.write_ms.push_back(state.now_ms);
    if (state.on_write) state.on_write(data);
    return count;
}

int read_port(const char*, void* buffer, int size, int timeout_ms) {
    const unsigned began = state.now_ms;
    const unsigned deadline = began + static_cast<unsigned>(std::max(timeout_ms, 0));
    int got = 0;
    if (!state.chunks.empty() && state.chunks.front().bytes.empty()) {
        state.chunks.pop_front();
        state.now_ms = deadline;
    } else if (!state.chunks.empty() && state.chunks.front().at_ms <= deadline) {
        port_script::Chunk& chunk = state.chunks.front();
        state.now_ms = std::max(state.now_ms, chunk.at_ms);
        auto* out = static_cast<char*>(buffer);
        size_t taken = 0;
        // Received NUL bytes never reach the caller.
        while (taken < chunk.bytes.size() && got < size) {
            char c = chunk.bytes[taken++];
            if (c != '\0') out[got++] = c;
        }
        chunk.bytes.erase(0, taken);
        if (chunk.bytes.empty()) state.chunks.pop_front();
    } else {
        state.now_ms = deadline;
    }
    state.reads.push_back({size, timeout_ms, got, began});
    return got;
}

void purge_port() { ++state.purges; }

void close_port() {
    if (state.is_open) ++state.closes;
    state.is_open = false;
}

void print_open_hint() {}

int adapter_latency_timer_ms(const char*) { return state.latency_timer_ms; }

int last_system_error() { return 0; }
const char* system_error_text() { return "scripted"; }
void sleep_ms(unsigned milliseconds) {
    state.slept_ms += milliseconds;
    state.now_ms += milliseconds;
}
// The scripted port has nothing to release: the end is the abort a death test sees.
void end_abnormally() { std::abort(); }
