#pragma once

// Prints the path-edit tables of conf_record ("deditpath").
void path_edit_display();
