#include "serial/trace.h"

#include <cstdio>

#include "serial/timeouts.h"

namespace {

std::FILE* trace_file = nullptr;
port_clock::time_point trace_start;
bool port_open = false;

constexpr int bytes_per_line = 16;

double elapsed_ms() {
    return std::chrono::duration<double, std::milli>(port_clock::now() - trace_start).count();
}

// Every line goes out whole and at once, stamped `ms`.
template <typename... Args>
void trace_line_at(double ms, const char* format, Args... args) {
    if (trace_file == nullptr) return;
    std::fprintf(trace_file, "%10.3f ", ms);
    std::fprintf(trace_file, format, args...);
    std::fputc('\n', trace_file);
    std::fflush(trace_file);
}

template <typename... Args>
void trace_line(const char* format, Args... args) {
    trace_line_at(elapsed_ms(), format, args...);
}

}  // namespace

bool start_trace(const char* path) {
    // Lines end in a line feed alone on every system: a script reads them alike.
    std::FILE* file = std::fopen(path, "wb");
    if (file == nullptr) return false;
    if (trace_file != nullptr) std::fclose(trace_file);
    trace_file = file;
    trace_start = port_clock::now();
    port_open = false;
    std::fprintf(trace_file, "# vestrimond trace: milliseconds since the start, then the event\n");
    std::fflush(trace_file);
    return true;
}

bool tracing() {
    return trace_file != nullptr;
}

void trace_bytes(trace_direction direction, const void* bytes, int count) {
    if (trace_file == nullptr) return;
    const auto* next = static_cast<const unsigned char*>(bytes);
    const char* label = direction == trace_direction::out ? "out" : "in ";
    // The lines of one transfer carry its one time.
    const double ms = elapsed_ms();
    for (int at = 0; at < count; at += bytes_per_line) {
        const int length = count - at < bytes_per_line ? count - at : bytes_per_line;
        char hex[bytes_per_line * 3 + 1];
        char text[bytes_per_line + 1];
        for (int i = 0; i < length; ++i) {
            const unsigned char byte = next[at + i];
            std::snprintf(hex + i * 3, 4, "%02x ", byte);
            text[i] = byte >= 0x20 && byte < 0x7F ? static_cast<char>(byte) : '.';
        }
        text[length] = '\0';
        trace_line_at(ms, "%s %-48s|%s|", label, hex, text);
    }
}

void trace_open(const char* name, int32_t baud, const char* failure) {
    if (failure != nullptr) {
        trace_line("open %s %ld failed: %s", name, static_cast<long>(baud), failure);
    } else {
        trace_line("open %s %ld", name, static_cast<long>(baud));
    }
    port_open = failure == nullptr;
}

void trace_rate(int32_t baud) {
    if (port_open) trace_line("rate %ld", static_cast<long>(baud));
}

void trace_purge(long discarded) {
    if (discarded < 0) {
        trace_line("%s", "purge");
    } else {
        trace_line("purge discarded %ld", discarded);
    }
}

void trace_timeout(const char* operation, uint64_t limit_ms, int done, int size) {
    trace_line("timeout %s %llu ms got %d of %d", operation,
               static_cast<unsigned long long>(limit_ms), done, size);
}

void trace_error(const char* operation, const char* text) {
    trace_line("error %s: %s", operation, text);
}

void trace_close() {
    if (port_open) trace_line("%s", "close");
    port_open = false;
}

void trace_note(const char* text) {
    trace_line("note %s", text);
}
