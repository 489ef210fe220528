#include "common/line_reader.h"

#include <sys/stat.h>

#include <cerrno>
#include <cstring>
#include <limits>

LineRead read_text_line(std::FILE* fp, char* buf, std::size_t size) {
    std::size_t n = 0;
    while (n + 1 < size) {
        int c = std::getc(fp);
        if (c == EOF) break;
        if (c == '\r') {
            int next = std::getc(fp);
            if (next == '\n') {
                c = '\n';
            } else if (next != EOF) {
                std::ungetc(next, fp);
            }
        }
        buf[n++] = static_cast<char>(c);
        if (c == '\n') break;
    }
    if (size > 0) buf[n] = '\0';
    if (std::ferror(fp)) return LineRead::error;
    return n == 0 ? LineRead::end : LineRead::line;
}

std::FILE* open_text_file(const char* path) {
    std::FILE* fp = std::fopen(path, "r");
    if (fp == nullptr) return nullptr;
    struct stat st;
    if (fstat(fileno(fp), &st) == 0 && S_ISDIR(st.st_mode)) {
        std::fclose(fp);
        errno = EISDIR;
        return nullptr;
    }
    return fp;
}

std::size_t strip_line_feed(char* line) {
    std::size_t length = std::strlen(line);
    if (length > 0 && line[length - 1] == '\n') line[--length] = '\0';
    return length;
}

void count_line(int32_t* line_no) {
    if (*line_no < std::numeric_limits<int32_t>::max()) ++*line_no;
}
