#pragma once

#include <cstddef>
#include <string>

// The firmware update draws its progress line over itself with a leading CR.
// Tests compare the rest of the output exactly and count the progress lines.

// The output with every progress line (from a CR up to the next CR or line
// feed) taken out.
inline std::string without_progress(const std::string& out) {
    std::string text;
    for (size_t i = 0; i < out.size();) {
        if (out[i] != '\r') {
            text += out[i++];
            continue;
        }
        i = out.find_first_of("\r\n", i + 1);
        if (i == std::string::npos) break;
    }
    return text;
}

inline size_t progress_lines(const std::string& out) {
    size_t count = 0;
    for (char c : out) count += c == '\r';
    return count;
}
