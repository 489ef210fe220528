#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

// What a call printed and returned.
struct Outcome {
    int code;
    std::string out;
};

// Runs conf_process on `path` from a fresh start-up state (defaults, nothing
// parsed), capturing what it prints.
Outcome configure_file(const std::string& path);

// The same without the fresh start: the record and the flags stay as earlier
// calls left them.
Outcome configure_file_again(const std::string& path);

// Writes `text` to a scratch file and runs conf_process on it like
// configure_file. The scratch file's name is shown as "t.cfg" in the output.
Outcome configure_text(const std::string& text);

// The same without the fresh start.
Outcome configure_text_again(const std::string& text);

// The unsigned little-endian value of `width` bytes of conf_record at `offset`.
uint32_t record_field(std::size_t offset, std::size_t width);

// A file of the source tree.
std::string source_path(const char* relative);
