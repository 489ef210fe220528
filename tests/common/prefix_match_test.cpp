#include "common/prefix_match.h"

#include <gtest/gtest.h>

namespace {

struct Entry {
    const char* name;
};

constexpr Entry table[] = {{"configure"}, {"connect"}, {"x"}, {"exit"}};

TEST(PrefixMatch, WordSelectsTheOneEntryItBegins) {
    struct Case {
        const char* word;
        Match result;
        int index;
    } cases[] = {
        {"conf", Match::one, 0},      {"CONN", Match::one, 1},  {"Configure", Match::one, 0},
        {"x", Match::one, 2},         {"e", Match::one, 3},     {"con", Match::several, -1},
        {"c", Match::several, -1},    {"cx", Match::none, -1},  {"configures", Match::none, -1},
        {"exit ", Match::none, -1},
    };
    for (const Case& c : cases) {
        PrefixMatch m = match_prefix(c.word, table);
        EXPECT_EQ(m.result, c.result) << c.word;
        EXPECT_EQ(m.index, c.index) << c.word;
    }
}

TEST(PrefixMatch, CaseIsIgnoredForLettersOnly) {
    EXPECT_TRUE(is_prefix_nocase("HeLp", "help"));
    EXPECT_FALSE(is_prefix_nocase("@", "`"));  // 0x40 and 0x60 differ by the case bit only
    EXPECT_FALSE(is_prefix_nocase("[", "{"));
}

}  // namespace
