#include <gtest/gtest.h>

#include <fstream>
#include <sstream>
#include <string>

#include "tests/support/transcript.h"

namespace {

std::string file_text(const std::string& path) {
    std::ifstream in(std::string(TEST_SOURCE_DIR) + "/" + path, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

TEST(AnglesTranscript, AnglesPrintsTheHelpTextAndABlankLine) {
    std::string help = file_text("tests/angles/files/angles.txt");
    ASSERT_FALSE(help.empty());
    RunResult run = run_console("angles\nANG\n");
    EXPECT_OUTPUT(start_text() + "Command> " + help + "\n" + "Command> " + help + "\n" + "Command> \n",
                  run.out);
    EXPECT_EQ(run.status, 1);
}

}  // namespace
