#include <editline/readline.h>
#include <unistd.h>

#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "console/completion.h"
#include "console/line_editor.h"

namespace {

// The candidates of the Tab being served, handed out one by one, and what
// follows the word when it is completed whole.
std::vector<std::string> candidates;
std::size_t next_candidate = 0;
bool completes_file = false;

std::vector<std::string> candidates_for(const char* word) {
    std::size_t typed = std::strlen(word);
    std::size_t start = static_cast<std::size_t>(rl_point) >= typed ? rl_point - typed : 0;
    std::string before(rl_line_buffer, start);
    completes_file = false;
    switch (completion_at(before.c_str())) {
        case Completion::command:
            return command_words(word);
        case Completion::file:
            completes_file = true;
            return file_words(word, before.c_str());
        case Completion::port:
            return port_words(word, system_port_roots());
        case Completion::none:
            break;
    }
    return {};
}

// Tab: the editor asks for the candidates of the word before the cursor one
// by one. A command word or a port gets a blank after it. A file name gets
// none: the console takes blanks as part of a file name, and a folder's "/"
// lets Tab go on into it.
char* hand_out(const char* word, int state) {
    if (state == 0) {
        candidates = candidates_for(word);
        next_candidate = 0;
        rl_completion_append_character = completes_file ? '\0' : ' ';
    }
    if (next_candidate >= candidates.size()) return nullptr;
    return strdup(candidates[next_candidate++].c_str());
}

// The candidates go in as they are, a blank in a file name too: the console
// reads no backslash escapes, so the editor's own quoting of file names would
// name another file.
char** complete_word(const char* word, int, int) {
    rl_attempted_completion_over = 1;
    return rl_completion_matches(word, hand_out);
}

void set_up_completion() {
    static bool done = false;
    if (done) return;
    done = true;
    rl_attempted_completion_function = complete_word;
    rl_completion_entry_function = hand_out;
    rl_basic_word_break_characters = " \t,";
}

}  // namespace

bool line_editor_available() {
    return isatty(STDIN_FILENO) != 0;
}

long line_editor_read(const char* prompt, char* buf, std::size_t size) {
    set_up_completion();
    char* line = readline(prompt);
    if (line == nullptr) return -1;
    std::size_t length = std::strlen(line);
    std::size_t kept = length < size ? length : size - 1;
    std::memcpy(buf, line, kept);
    buf[kept] = '\0';
    std::free(line);
    return static_cast<long>(length);
}

void line_editor_remember(const char* line) {
    add_history(line);
}
