#include "console/completion.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <system_error>

#include "common/prefix_match.h"
#include "common/tokenizer.h"
#include "console/command_table.h"

namespace {

// The command's arguments, in order, as far as Tab knows them.
struct argument_kinds {
    int code;
    Completion first;
    Completion second;
};

constexpr argument_kinds argument_table[] = {
    {cmd_configure, Completion::file, Completion::none},
    {cmd_rules, Completion::file, Completion::none},
    {cmd_connect, Completion::port, Completion::none},
    {cmd_firmware, Completion::port, Completion::file},
};

// How many arguments of the command come before its file name.
int arguments_before_file(const char* command) {
    PrefixMatch match = match_prefix(command, command_table);
    if (match.result != Match::one) return 0;
    int code = command_table[static_cast<std::size_t>(match.index)].code;
    for (const argument_kinds& kinds : argument_table) {
        if (kinds.code == code && kinds.second == Completion::file) return 1;
    }
    return 0;
}

// What of the console's file word lies in `before_word`: the words before it
// are cut as the console cuts them (the command, and the port of "firmware"),
// and the file name runs from the delimiter after them, past commas and tabs.
std::string file_word_head(const char* before_word) {
    char line[256];
    std::snprintf(line, sizeof line, "%s", before_word);
    char* rest;
    const char* command = next_token(line, " ,\t", &rest);
    if (command == nullptr) return "";
    for (int skipped = arguments_before_file(command); skipped > 0; --skipped) {
        if (next_token(rest, " ,\t", &rest) == nullptr) return "";
    }
    if (rest == nullptr) return "";
    return skip_delimiters(rest, ",\t");
}

}  // namespace

Completion completion_at(const char* before_word) {
    char line[256];
    std::snprintf(line, sizeof line, "%s", before_word);
    char* rest;
    const char* word = next_token(line, " ,\t", &rest);
    if (word == nullptr) return Completion::command;
    PrefixMatch match = match_prefix(word, command_table);
    if (match.result != Match::one) return Completion::none;
    int arguments = 0;
    while (next_token(rest, " ,\t", &rest) != nullptr) ++arguments;
    int code = command_table[static_cast<std::size_t>(match.index)].code;
    for (const argument_kinds& kinds : argument_table) {
        if (kinds.code != code) continue;
        if (arguments == 0) return kinds.first;
        if (arguments == 1) return kinds.second;
    }
    return Completion::none;
}

// "?" and "." are not words to complete.
std::vector<std::string> command_words(const char* word) {
    std::vector<std::string> words;
    for (const command_entry& entry : command_table) {
        bool is_word = entry.name[0] >= 'a' && entry.name[0] <= 'z';
        if (is_word && is_prefix_nocase(word, entry.name)) words.push_back(entry.name);
    }
    return words;
}

std::vector<std::string> port_words(const char* word, const port_roots& roots) {
    std::vector<std::string> words;
    for (const std::string& name : port_names(roots)) {
        bool is_com = name.compare(0, 3, "COM") == 0;
        bool begins = is_com ? is_prefix_nocase(word, name.c_str())
                             : name.compare(0, std::strlen(word), word) == 0;
        if (begins) words.push_back(name);
    }
    return words;
}

// Hidden files only when the word asks for them with a leading ".".
std::vector<std::string> file_words(const char* word, const char* before_word) {
    namespace fs = std::filesystem;
    const std::string head = file_word_head(before_word);
    std::string typed = head + word;
    std::size_t slash = typed.rfind('/');
    std::string folder = slash == std::string::npos ? "" : typed.substr(0, slash + 1);
    std::string stem = typed.substr(folder.size());
    std::vector<std::string> words;
    std::error_code error;
    for (fs::directory_iterator it(folder.empty() ? "." : folder, error), end; !error && it != end;
         it.increment(error)) {
        std::string name = it->path().filename().string();
        if (name.compare(0, stem.size(), stem) != 0) continue;
        if (name[0] == '.' && stem.empty()) continue;
        std::error_code kind_error;
        words.push_back((folder + name).substr(head.size()) +
                        (it->is_directory(kind_error) ? "/" : ""));
    }
    std::sort(words.begin(), words.end());
    return words;
}
