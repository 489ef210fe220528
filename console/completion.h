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
// `word`, relative to the working folder unless the word begins with "/".
std::vector<std::string> file_words(const char* word);
