#pragma once

// The command line. Without arguments the program is the console; these are
// the few things it does without one.

// Runs the options of a command line that has some: --help, --version and
// --list-ports print to standard output and give 0; anything else prints the
// usage to standard error and gives 2. Returns the exit status.
int run_options(int argc, char** argv);
