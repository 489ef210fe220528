#include "console/line_editor.h"

// Where no line editor is built in, the console reads its input directly (on
// Windows the console window itself gives every line editing and a history).
bool line_editor_available() { return false; }

long line_editor_read(const char*, char*, std::size_t) { return -1; }

void line_editor_remember(const char*) {}
