#include "fuzz/fuzz_support.h"

#include <sys/mman.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "config/conf_record.h"
#include "console/command_loop.h"
#include "console/console_input.h"
#include "rules/rule_record.h"
#include "serial/connection.h"

void discard_program_output() {
    if (std::getenv("FUZZ_SHOW_OUTPUT") != nullptr) return;
    if (std::freopen("/dev/null", "w", stdout) == nullptr) {
        std::perror("fuzz: /dev/null");
        std::exit(1);
    }
}

InputFile::InputFile() : fd_(memfd_create("fuzz-input", 0)) {
    if (fd_ < 0) {
        std::perror("fuzz: memfd_create");
        std::exit(1);
    }
    std::snprintf(path_, sizeof path_, "/proc/self/fd/%d", fd_);
}

const char* InputFile::hold(const uint8_t* data, std::size_t size) {
    if (ftruncate(fd_, 0) != 0 ||
        (size > 0 && pwrite(fd_, data, size, 0) != static_cast<ssize_t>(size))) {
        std::perror("fuzz: input file");
        std::exit(1);
    }
    return path_;
}

void reset_program_state() {
    conf_reset();
    conf_file_name = nullptr;
    conf_line_no = 0;
    std::memset(conf_line_buf, 0, sizeof conf_line_buf);
    std::memset(conf_line_copy, 0, sizeof conf_line_copy);
    comment_pos = -1;
    digipath_count = 0;
    conf_processed = 0;
    rule_table = {};
    rules_processed = 0;
    connected = 0;
    std::memset(port_name, 0, sizeof port_name);
    current_baud = 19200;
    std::memset(rx_buf, 0, sizeof rx_buf);
    std::memset(cmd_line, 0, sizeof cmd_line);
    std::memset(prev_line, 0, sizeof prev_line);
    std::memset(fw_file_name, 0, sizeof fw_file_name);
    set_console_input(nullptr);
}

void expect(bool condition, const char* what) {
    if (condition) return;
    std::fprintf(stderr, "fuzz: %s\n", what);
    std::abort();
}
