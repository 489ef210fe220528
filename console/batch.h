#pragma once

// Scripted use: console commands from a file or from the command line, run
// without a prompt to wait at, that stop at the first command that fails.

struct BatchCommands {
    const char* file = nullptr;  // -b FILE, "-" for standard input; or
    char** commands = nullptr;   // the commands of -c, in order
    int command_count = 0;
    bool yes = false;  // -y: every question is answered yes, else no
};

// The banner, then for each command "Command> ", the command as read and a
// line end, then what the console prints for it. Blank lines and lines that
// begin with '#' are skipped; a line that begins with '-' may fail without
// ending the run. Returns 0 at the end of the commands or at an exit command,
// 3 after the first failed command (named on standard error), 1 when FILE
// cannot be opened or read (a line cut short by a failed read is not run).
int run_batch(const BatchCommands& batch);
