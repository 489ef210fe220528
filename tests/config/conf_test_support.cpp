#include "tests/config/conf_test_support.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>

#include "config/conf_parser.h"
#include "config/conf_record.h"

namespace {

std::string scratch_path() {
    const testing::TestInfo* test = testing::UnitTest::GetInstance()->current_test_info();
    std::string name = std::string("vestrimond-") + test->test_suite_name() + "-" + test->name() + ".cfg";
    return (std::filesystem::temp_directory_path() / name).string();
}

std::string replaced(std::string text, const std::string& from, const std::string& to) {
    for (std::size_t at = text.find(from); at != std::string::npos; at = text.find(from, at + to.size())) {
        text.replace(at, from.size(), to);
    }
    return text;
}

void fresh_start() {
    conf_reset();
    conf_processed = 0;
    digipath_count = 0;
}

Outcome run_conf_process(const std::string& path) {
    testing::internal::CaptureStdout();
    int code = conf_process(path.c_str());
    std::fflush(stdout);
    return Outcome{code, testing::internal::GetCapturedStdout()};
}

}  // namespace

Outcome configure_file(const std::string& path) {
    fresh_start();
    return run_conf_process(path);
}

Outcome configure_file_again(const std::string& path) { return run_conf_process(path); }

Outcome configure_text_again(const std::string& text) {
    std::string path = scratch_path();
    {
        std::ofstream file(path, std::ios::binary);
        file << text;
    }
    Outcome outcome = run_conf_process(path);
    std::filesystem::remove(path);
    outcome.out = replaced(outcome.out, path, "t.cfg");
    return outcome;
}

Outcome configure_text(const std::string& text) {
    fresh_start();
    return configure_text_again(text);
}

uint32_t record_field(std::size_t offset, std::size_t width) {
    const auto* bytes = reinterpret_cast<const unsigned char*>(&conf_record);
    uint32_t value = 0;
    for (std::size_t i = width; i > 0; --i) value = (value << 8) | bytes[offset + i - 1];
    return value;
}

std::string source_path(const char* relative) { return std::string(TEST_SOURCE_DIR) + "/" + relative; }
