#include "config/path_edit.h"

int path_edit_add(int, const char*, char*) { return -1; }

int check_path_edit_dupe(const path_edit_entry*) { return 0; }
