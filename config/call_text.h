#pragma once

#include <cstddef>

// Call signs, digi path entries and control calls are stored with their
// letters in upper case (only a-z change; other bytes stay as written).
inline char upper_case(char c) { return (c >= 'a' && c <= 'z') ? static_cast<char>(c - 'a' + 'A') : c; }

// Copies `text` in upper case with its terminator over the start of `field`,
// which the caller has checked is large enough.
inline void copy_upper_case(char* field, const char* text) {
    std::size_t i = 0;
    for (; text[i] != '\0'; ++i) field[i] = upper_case(text[i]);
    field[i] = '\0';
}
