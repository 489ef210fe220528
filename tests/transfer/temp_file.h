#pragma once

#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>
#include <iterator>
#include <random>
#include <string>

// A file in the temporary directory, named after the running test and this
// process, and removed when the object goes away: ctest runs the tests in
// parallel processes, and several builds may run the same tests at once.
class TempFile {
  public:
    explicit TempFile(const std::string& name) {
        static const std::string process = std::to_string(std::random_device{}());
        const testing::TestInfo* test = testing::UnitTest::GetInstance()->current_test_info();
        path_ = testing::TempDir() + test->test_suite_name() + "." + test->name() + "." + process +
                "." + name;
        std::remove(path_.c_str());
    }
    ~TempFile() { std::remove(path_.c_str()); }
    TempFile(const TempFile&) = delete;
    TempFile& operator=(const TempFile&) = delete;

    const std::string& path() const { return path_; }
    const char* c_str() const { return path_.c_str(); }

    void write(const std::string& contents) const {
        std::ofstream out(path_, std::ios::binary | std::ios::trunc);
        out << contents;
    }

    std::string read() const {
        std::ifstream in(path_, std::ios::binary);
        return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    }

  private:
    std::string path_;
};
