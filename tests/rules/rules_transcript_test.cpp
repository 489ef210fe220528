#include <gtest/gtest.h>

#include <fstream>
#include <iterator>
#include <string>

#include "tests/support/transcript.h"

namespace {

std::string file_text(const std::string& path) {
    std::ifstream in(std::string(TEST_SOURCE_DIR) + "/" + path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

TEST(RulesTranscript, RulesThenDrulesShowEveryRuleType) {
    std::string display = file_text("tests/rules/files/every_type_display.txt");
    ASSERT_FALSE(display.empty());
    RunResult run = run_console(
        "drules\n"
        "rules tests/rules/files/every_type.rul\n"
        "dr\n"
        "exit\n");
    EXPECT_OUTPUT(start_text() + "Command> " +
                      "No Rules are configured!  Implicit Rule Action is ?\n" + "Command> " +
                      "Rules processed 12, implicit 1\n" + "Command> " + display + "Command> ",
                  run.out);
    EXPECT_EQ("", run.err);
    EXPECT_EQ(0, run.status);
}

TEST(RulesTranscript, FailedRulesLeaveOnlyTheImplicitRule) {
    RunResult run = run_console(
        "rules tests/rules/files/every_type.rul\n"
        "rules tests/rules/files/bad_latitude.rul\n"
        "drules\n"
        "r tests/rules/files/no-such-file.rul\n"
        "rules\n"
        "x\n");
    EXPECT_OUTPUT(start_text() + "Command> " + "Rules processed 12, implicit 1\n" + "Command> " +
                      "\a\aError: Dotted format: must have 2 periods: [s][D]DD.MM.[F*]\n"
                      "\tor DMC format must have at least one of [DdMmCc] identifiers\n"
                      "\a\aError: tests/rules/files/bad_latitude.rul[3]: invalid Latitude range "
                      "[-90..90]: 340282346638528859811704183484516925440.000000:\n"
                      "pass circle 5 45.5 -105d\n"
                      "\a\aError: Rule processing failed\n" +
                      "Command> " + "No Rules are configured!  Implicit Rule Action is Drop\n" +
                      "Command> " + "\a\aError: cannot open tests/rules/files/no-such-file.rul\n" +
                      "\a\aError: Rule processing failed\n" + "Command> " +
                      "\a\aError: missing argument: file_name\n" + "Command> ",
                  run.out);
    EXPECT_EQ(0, run.status);
}

}  // namespace
