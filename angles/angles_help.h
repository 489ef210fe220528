#pragma once

// Prints the help text of the angle notations ("angles").
void angles_help();
