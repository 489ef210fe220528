#include "common/tokenizer.h"

#include <cstring>

char* skip_delimiters(char* text, const char* delims) {
    return text + std::strspn(text, delims);
}

char* next_token(char* text, const char* delims, char** rest, char* cut) {
    char ignored_cut;
    if (cut == nullptr) cut = &ignored_cut;
    if (text == nullptr) {
        *rest = nullptr;
        *cut = '\0';
        return nullptr;
    }
    text = skip_delimiters(text, delims);
    if (*text == '\0') {
        *rest = nullptr;
        *cut = '\0';
        return nullptr;
    }
    char* end = text + std::strcspn(text, delims);
    *cut = *end;
    if (*end != '\0') {
        *end = '\0';
        *rest = end + 1;
    } else {
        *rest = end;
    }
    return text;
}
