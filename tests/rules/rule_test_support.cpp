#include "tests/rules/rule_test_support.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>
#include <iterator>
#include <random>

#include "config/conf_record.h"
#include "rules/rule_parser.h"

std::string rules_file(const char* name) {
    return std::string(TEST_SOURCE_DIR) + "/tests/rules/files/" + name;
}

std::string rules_file_text(const char* name) {
    std::ifstream in(rules_file(name), std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

ParseRun parse_rules_file(const std::string& path) {
    testing::internal::CaptureStdout();
    int code = rules_process(path.c_str());
    std::fflush(stdout);
    return ParseRun{code, testing::internal::GetCapturedStdout()};
}

ParseRun parse_rules_text(const std::string& text) {
    // Unique to the test and the run: tests run in parallel processes.
    const std::string path = testing::TempDir() + "rules-" +
                             testing::UnitTest::GetInstance()->current_test_info()->name() + "-" +
                             std::to_string(std::random_device{}()) + ".rul";
    {
        std::ofstream file(path, std::ios::binary | std::ios::trunc);
        file << text;
    }
    ParseRun run = parse_rules_file(path);
    for (size_t at = run.out.find(path); at != std::string::npos; at = run.out.find(path, at)) {
        run.out.replace(at, path.size(), "case.rul");
    }
    std::remove(path.c_str());
    return run;
}

std::string record_hex(const rule_record& r) {
    const auto* bytes = reinterpret_cast<const unsigned char*>(&r);
    std::string text;
    for (size_t i = 0; i < sizeof r; ++i) {
        char pair[4];
        std::snprintf(pair, sizeof pair, i == 0 ? "%02X" : " %02X", bytes[i]);
        text += pair;
    }
    return text;
}

void reset_rule_state() {
    conf_reset();
    conf_record.implicit_action = 0;
    conf_record.rule_count = 0;
    rule_table = {};
    rules_processed = 0;
}
