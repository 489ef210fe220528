#pragma once

// --check-config and --check-rules: the program's own parsers read each file,
// with no device and no banner, and every message of theirs becomes a line
// that editors and CI read:
//   FILE: Configuration items processed 24      (standard output, not with quiet)
//   FILE:LINE: error: REASON                     (standard error)
//   FILE:LINE: warning: TEXT
//   FILE: error: cannot open: REASON OF THE SYSTEM

struct FileToCheck {
    bool rules;  // a Rules file, else a Configuration file
    const char* path;
};

// Checks every file, also after one failed. 0 when all are good, else 1.
int check_files(const FileToCheck* files, int count, bool quiet);
