#include "diagnostics/hexdump.h"

#include <cinttypes>
#include <cstdint>

namespace {

constexpr char column_header[] =
    "Dec  Hex |  0  1  2  3  4  5  6  7    8  9  a  b  c  d  e  f | 0123456789abcdef\n";

constexpr int hex_area_width = 16 * 3 + 2;  // "xx " per byte, two more blanks after the 8th

void print_heading(std::FILE* stream, int flags, const char* title, const void* bytes,
                   int length) {
    bool titled = (title != nullptr && title[0] != '\0');
    const char* separator = titled ? ": " : "";
    if (flags == 0) {
        auto address = reinterpret_cast<uintptr_t>(bytes);
        if (titled) {
            std::fprintf(stream, "hexdump: %s%sbuffer addr 0x%" PRIxPTR ", length %d (0x%x):\n",
                         title, separator, address, length, static_cast<unsigned>(length));
        } else {
            std::fprintf(stream, "hexdump: buffer addr 0x%" PRIxPTR ", length %d (0x%x):\n",
                         address, length, static_cast<unsigned>(length));
        }
    } else if (flags & 1) {
        if (titled) {
            std::fprintf(stream, "%s%slength %d (0x%x):\n", title, separator, length,
                         static_cast<unsigned>(length));
        } else {
            std::fprintf(stream, "hexdump: length %d (0x%x):\n", length,
                         static_cast<unsigned>(length));
        }
    } else if (flags & 2) {
        std::fprintf(stream, "length %d (0x%x):\n", length, static_cast<unsigned>(length));
    }
}

// Formats the line of up to 16 bytes that starts at `offset`; returns its length.
int format_line(char* text, int capacity, const unsigned char* bytes, int offset, int count) {
    int n = std::snprintf(text, static_cast<size_t>(capacity), "%4d %04x| ", offset,
                          static_cast<unsigned>(offset));
    int hex_start = n;
    for (int i = 0; i < count; ++i) {
        n += std::snprintf(text + n, static_cast<size_t>(capacity - n), "%02x ", bytes[i]);
        if (i == 7) n += std::snprintf(text + n, static_cast<size_t>(capacity - n), "  ");
    }
    while (n < hex_start + hex_area_width) text[n++] = ' ';
    text[n++] = '|';
    text[n++] = ' ';
    for (int i = 0; i < count; ++i) {
        text[n++] = (bytes[i] >= 0x20 && bytes[i] <= 0x7E) ? static_cast<char>(bytes[i]) : '.';
    }
    text[n++] = '\n';
    return n;
}

}  // namespace

void hexdump(std::FILE* stream, int flags, const char* title, const void* bytes, int length,
             int header_every) {
    if (bytes == nullptr) {
        std::fprintf(stream, "hexdump: invalid param buf ptr\n");
        return;
    }
    if (length < 0) {
        std::fprintf(stream, "hexdump: invalid param len %d\n", length);
        return;
    }
    print_heading(stream, flags, title, bytes, length);

    const auto* data = static_cast<const unsigned char*>(bytes);
    int lines = 0;
    for (int offset = 0; offset < length; offset += 16, ++lines) {
        if (header_every != 0 && lines % header_every == 0) {
            if (lines > 0) std::fputc('\n', stream);
            std::fputs(column_header, stream);
        }
        char text[128];
        int count = length - offset < 16 ? length - offset : 16;
        int n = format_line(text, sizeof text, data + offset, offset, count);
        std::fwrite(text, 1, static_cast<size_t>(n), stream);
    }
}
