#pragma once

// The console: banner, command summary, then one command line at a time until
// an exit command (result 0) or the end of input (result 1).
int console_main();

extern char cmd_line[256];      // the current command line, cut into tokens in place
extern char prev_line[256];     // the last line not beginning with ".", as typed
extern char fw_file_name[256];  // the file name argument of "firmware"
