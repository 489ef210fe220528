#include "common/tokenizer.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

struct Cut {
    std::string token;
    char cut;
};

std::vector<Cut> all_tokens(std::string text, const char* delims) {
    std::vector<Cut> cuts;
    char* rest = text.data();
    char cut;
    while (char* token = next_token(rest, delims, &rest, &cut)) cuts.push_back({token, cut});
    EXPECT_EQ(rest, nullptr);
    EXPECT_EQ(cut, '\0');
    return cuts;
}

TEST(Tokenizer, CutsAtAnyDelimiterAndReportsWhichOne) {
    std::vector<Cut> cuts = all_tokens(" ,a,bc\t d ", " ,\t");
    ASSERT_EQ(cuts.size(), 3u);
    EXPECT_EQ(cuts[0].token, "a");
    EXPECT_EQ(cuts[0].cut, ',');
    EXPECT_EQ(cuts[1].token, "bc");
    EXPECT_EQ(cuts[1].cut, '\t');
    EXPECT_EQ(cuts[2].token, "d");
    EXPECT_EQ(cuts[2].cut, ' ');
}

TEST(Tokenizer, TokenAtTheEndLeavesRestAtTheEmptyEnd) {
    std::string text = "word";
    char* rest;
    char cut = 'x';
    EXPECT_STREQ(next_token(text.data(), " ", &rest, &cut), "word");
    EXPECT_EQ(cut, '\0');
    ASSERT_NE(rest, nullptr);
    EXPECT_EQ(*rest, '\0');
}

TEST(Tokenizer, OnlyTheFirstDelimiterAfterATokenIsConsumed) {
    // A file name cut at comma or tab keeps its blanks, a second blank included.
    std::string text = "configure  my file.cfg,x";
    char* rest;
    EXPECT_STREQ(next_token(text.data(), " ,\t", &rest), "configure");
    EXPECT_STREQ(next_token(rest, ",\t", &rest), " my file.cfg");
    EXPECT_STREQ(rest, "x");
}

TEST(Tokenizer, NothingButDelimitersOrNoTextGivesNoToken) {
    EXPECT_TRUE(all_tokens("", " ").empty());
    EXPECT_TRUE(all_tokens(" ,, ", " ,").empty());
    char* rest = reinterpret_cast<char*>(1);
    EXPECT_EQ(next_token(nullptr, " ", &rest), nullptr);
    EXPECT_EQ(rest, nullptr);
}

}  // namespace
