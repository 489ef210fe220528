#pragma once

// Wine runs the Windows program in the Windows test runs. In a few places it
// does not do what Windows does; the tests of those places skip under Wine
// and name the difference.

// True when this test program is a Windows program running under Wine.
bool running_under_wine();
