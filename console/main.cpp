#include "console/command_loop.h"

int main() { return console_main(); }
