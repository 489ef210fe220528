#pragma once

// The console: banner, command summary, then one command line at a time until
// an exit command (result 0) or the end of input (result 1).
int console_main();

// What every run of commands begins with: unbuffered output, the banner, the
// default configuration.
void console_start();

enum class CommandResult {
    done,    // the command ran (a line that holds no command too)
    failed,  // the console reported a failure for it
    exit,    // "exit", "quit" or "x": nothing was printed
};

// Runs the command line in cmd_line as the console does: "." repeats
// prev_line, any other line becomes prev_line.
CommandResult run_command_line();

// Prints the refusal of a command line longer than cmd_line holds.
CommandResult refuse_long_line();

// Answers every later question of "download" and "firmware" with `answer`
// ("y" or "n"), shown after the question, and skips the firmware update's
// wait for Enter; nullptr asks at the console again.
void answer_questions(const char* answer);

// The port argument of "connect" and "firmware" ("3", "COM3", a device path)
// made into the port name that the port layer opens; false after the
// message when it names no port.
bool parse_port(const char* token, char (&name)[256]);

extern char cmd_line[256];      // the current command line, cut into tokens in place
extern char prev_line[256];     // the last line not beginning with ".", as typed
extern char fw_file_name[256];  // the file name argument of "firmware"
