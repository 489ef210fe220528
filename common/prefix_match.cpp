#include "common/prefix_match.h"

#include <cstring>

namespace {

char ascii_lower(char c) {
    return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
}

}  // namespace

bool is_prefix_nocase(const char* word, const char* name) {
    for (; *word != '\0'; ++word, ++name) {
        if (*name == '\0' || ascii_lower(*word) != ascii_lower(*name)) return false;
    }
    return true;
}

bool same_nocase(const char* word, const char* name) {
    return std::strlen(word) == std::strlen(name) && is_prefix_nocase(word, name);
}
