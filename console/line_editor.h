#pragma once

#include <cstddef>

// Line editing and a history of this run for lines typed at a terminal. When
// standard input is not a terminal (scripts, tests) the console reads it
// directly, byte for byte, and the editor is not used.

// True when standard input is a terminal that the editor can serve.
bool line_editor_available();

// Reads one line with editing after showing `prompt` (a single line of text).
// Returns the number of characters typed (the whole line, which may exceed
// size - 1; buf then holds its start), or -1 at the end of input.
long line_editor_read(const char* prompt, char* buf, std::size_t size);

// Adds a line to the history that the arrow keys walk through.
void line_editor_remember(const char* line);
