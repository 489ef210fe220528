#include "tests/windows/wine.h"

bool running_under_wine() { return false; }
