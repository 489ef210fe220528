#include "angles/angles_help.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <sstream>
#include <string>
#include <vector>

#include "angles/dmctodeg.h"

namespace {

std::string help_output() {
    testing::internal::CaptureStdout();
    angles_help();
    std::fflush(stdout);
    return testing::internal::GetCapturedStdout();
}

// The words of the tab-indented lines after each "Examples:" line, up to a
// '#' comment.
std::vector<std::string> example_words(const std::string& help) {
    std::vector<std::string> words;
    std::istringstream lines(help);
    std::string line;
    bool in_examples = false;
    while (std::getline(lines, line)) {
        if (line == "Examples:") {
            in_examples = true;
            continue;
        }
        if (!in_examples || line.empty() || line[0] != '\t') {
            in_examples = false;
            continue;
        }
        std::istringstream fields(line.substr(0, line.find('#')));
        std::string word;
        while (fields >> word) words.push_back(word);
    }
    return words;
}

TEST(AnglesHelp, EveryExampleIsAValidAngle) {
    std::vector<std::string> words = example_words(help_output());
    ASSERT_EQ(words.size(), 19u);
    for (const std::string& word : words) {
        testing::internal::CaptureStdout();
        float value = dmctodeg(word.c_str());
        std::fflush(stdout);
        EXPECT_EQ(testing::internal::GetCapturedStdout(), "") << word;
        EXPECT_NE(value, dmctodeg_error) << word;
    }
}

TEST(AnglesHelp, ClosingExamplesShowOneLongitudeInTwoOrders) {
    std::vector<std::string> words = example_words(help_output());
    ASSERT_EQ(words.size(), 19u);
    testing::internal::CaptureStdout();
    float leading_w = dmctodeg(words[17].c_str());
    float degrees_last = dmctodeg(words[18].c_str());
    testing::internal::GetCapturedStdout();
    EXPECT_EQ(words[16][0], 'N');
    EXPECT_EQ(words[17][0], 'W');
    EXPECT_LT(leading_w, 0.0f);
    EXPECT_EQ(leading_w, degrees_last);
}

}  // namespace
