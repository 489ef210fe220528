#include "console/command_loop.h"
#include "console/options.h"

int main(int argc, char** argv) {
    if (argc > 1) return run_options(argc, argv);
    return console_main();
}
