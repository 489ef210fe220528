#pragma once

#include <string>
#include <vector>

#include "serial/port_list.h"

// What Tab completes at a terminal, decided from the text before the word
// being typed: the command word at the start of a line, file names after
// "configure" and "rules" and as the file of "firmware", port names as the
// port of "connect" and "firmware"; nothing elsewhere.

enum class Completion { command, file, port, none };

Completion completion_at(const char* before_word);

// The candidates for `word`: the command names that begin with it, or the port
// names (COM<n> in any letter case) under `roots` that begin with it.
std::vector<std::string> command_words(const char* word);
std::vector<std::string> port_words(const char* word, const port_roots& roots);

// The files and folders (these with a "/" after them) whose path begins with
// the file word as the console reads it, relative to the working folder unless
// it begins with "/". The console cuts a file name at commas and tabs only:
// blanks between the previous word and `word` ("configure  si") belong to the
// name. `before_word` is the line before `word`; the candidates are given
// without those blanks, as replacements of `word`.
std::vector<std::string> file_words(const char* word, const char* before_word);
