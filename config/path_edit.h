#pragma once

#include "config/conf_record.h"

// Adds one "deletepath" (command '/') or "substitutepath" (command '.') line
// to the path-edit tables of conf_record. `args` is the rest of the line after
// the keyword; it lies in conf_line_buf (comment_pos refers to it) and is cut
// in place. 0, or a negative code after a message naming the file and line.
int path_edit_add(int command, const char* cmd_name, char* args);

// 0 when no entry in use equals `poe` (bytes 0..9 and 11), else the 1-based
// number of the first equal entry; -1 for a null entry.
int check_path_edit_dupe(const path_edit_entry* poe);
