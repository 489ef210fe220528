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

bool unquoted_file_name(const char* name, char* inner, std::size_t size) {
    std::size_t length = std::strlen(name);
    while (length > 0 && (name[length - 1] == ' ' || name[length - 1] == '\t')) --length;
    if (length < 3) return false;
    const char quote = name[0];
    if ((quote != '"' && quote != '\'') || name[length - 1] != quote) return false;
    if (std::memchr(name + 1, quote, length - 2) != nullptr || length - 2 >= size) return false;
    std::memcpy(inner, name + 1, length - 2);
    inner[length - 2] = '\0';
    return true;
}

std::FILE* open_text_file(const char* path) {
    std::FILE* fp = std::fopen(path, "r");
    if (fp == nullptr) {
        const int as_written = errno;
        char inner[1024];
        if (unquoted_file_name(path, inner, sizeof inner)) fp = std::fopen(inner, "r");
        if (fp == nullptr) {
            errno = as_written;
            return nullptr;
        }
    }
    struct stat st;
    if (fstat(fileno(fp), &st) == 0 && S_ISDIR(st.st_mode)) {
        std::fclose(fp);
        errno = EISDIR;
        return nullptr;
    }
    if (read_text_start(fp) == TextStart::utf16) {
        std::fclose(fp);
        errno = utf16_text_error;
        return nullptr;
    }
    return fp;
}

namespace {

// Puts back what read_text_start read that was not a mark: by seeking where
// the file can, else through the stream's push-back (a pipe).
void unread(std::FILE* fp, const int* bytes, int count) {
    if (std::fseek(fp, 0, SEEK_SET) == 0) return;
    std::clearerr(fp);
    while (count > 0) std::ungetc(bytes[--count], fp);
}

}  // namespace

TextStart read_text_start(std::FILE* fp) {
    int read[3];
    int count = 0;
    auto next = [&] { return read[count++] = std::getc(fp); };
    const int first = next();
    if (first == 0xFF || first == 0xFE) {
        if (next() == (first ^ 0x01)) return TextStart::utf16;
    } else if (first == 0xEF && next() == 0xBB && next() == 0xBF) {
        return TextStart::text;
    }
    if (read[count - 1] == EOF) --count;
    if (count > 0) unread(fp, read, count);
    return TextStart::text;
}

void rewind_text_file(std::FILE* fp) {
    std::rewind(fp);
    read_text_start(fp);
}

const char* text_file_error_text(int error) {
    return error == utf16_text_error ? "the file is UTF-16 text: save it as UTF-8 or ANSI text"
                                     : std::strerror(error);
}

const char* text_file_error_note(int error) {
    return error == utf16_text_error ? " (UTF-16 text: save it as UTF-8 or ANSI text)" : "";
}

std::size_t strip_line_feed(char* line) {
    std::size_t length = std::strlen(line);
    if (length > 0 && line[length - 1] == '\n') line[--length] = '\0';
    return length;
}

void count_line(int32_t* line_no) {
    if (*line_no < std::numeric_limits<int32_t>::max()) ++*line_no;
}
