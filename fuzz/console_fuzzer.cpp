// Console scripts through the command loop, with no device on any port.
//
// Commands may name files: they are read from examples/ (site.cfg, site.rul,
// firmware.hex), and every '/' of the script becomes '_', so that no script
// reaches another directory or a device file such as /dev/zero.

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <vector>

#include "config/conf_record.h"
#include "console/command_loop.h"
#include "console/console_input.h"
#include "fuzz/fuzz_port.h"
#include "fuzz/fuzz_support.h"
#include "rules/rule_record.h"
#include "serial/connection.h"

namespace {

int examples_dir = -1;
int start_dir = -1;

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    discard_program_output();
    examples_dir = open(FUZZ_EXAMPLES_DIR, O_RDONLY | O_DIRECTORY);
    start_dir = open(".", O_RDONLY | O_DIRECTORY);
    if (examples_dir < 0 || start_dir < 0) {
        std::perror("fuzz_console: " FUZZ_EXAMPLES_DIR);
        return 1;
    }
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    std::vector<char> script(data, data + size);
    std::replace(script.begin(), script.end(), '/', '_');
    script.push_back('\0');  // an empty script still has a buffer
    std::FILE* in = fmemopen(script.data(), size, "r");
    expect(in != nullptr, "script not opened");

    reset_program_state();
    fuzz_port::unplug();
    set_console_input(in);
    expect(fchdir(examples_dir) == 0, "cannot enter examples/");
    int status = console_main();
    expect(fchdir(start_dir) == 0, "cannot return from examples/");
    set_console_input(nullptr);
    std::fclose(in);

    expect(status == 0 || status == 1, "console ended with a status other than 0 or 1");
    expect(connected == 0 && !fuzz_port::is_open(), "connected although no device answered");
    expect(conf_record.rule_count <= rule_table_size, "more rules than the table holds");
    return 0;
}
