#include "config/path_edit_display.h"

#include <cstdio>

void path_edit_display() { std::printf("deditpath: not available yet\n"); }
