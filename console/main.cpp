#include "console/command_loop.h"
#include "console/options.h"
#include "serial/console_window.h"

int main(int argc, char** argv) {
    set_up_console_window();
    if (argc > 1) return run_options(argc, argv);
    return console_main();
}
