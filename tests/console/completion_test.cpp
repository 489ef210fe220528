#include "console/completion.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

TEST(TabCompletion, TextBeforeTheWordDecidesWhatIsCompleted) {
    struct Case {
        const char* before;
        Completion completion;
    } cases[] = {
        {"", Completion::command},
        {"  ", Completion::command},
        {"configure ", Completion::file},
        {"CONF ", Completion::file},
        {"rules ", Completion::file},
        {"connect ", Completion::port},
        {"connect 3 ", Completion::none},
        {"firmware ", Completion::port},
        {"firmware /dev/ttyUSB0 ", Completion::file},
        {"firmware 3,", Completion::file},
        {"firmware 3 fw.hex ", Completion::none},
        {"con ", Completion::none},  // ambiguous: configure or connect
        {"help ", Completion::none},
    };
    for (const Case& c : cases) EXPECT_EQ(completion_at(c.before), c.completion) << c.before;
}

TEST(TabCompletion, CommandWordsAreTheNamesThatBeginWithTheWord) {
    struct Case {
        const char* word;
        std::vector<std::string> names;
    } cases[] = {
        {"dco", {"dconfigure"}},
        {"DI", {"disconnect"}},
        {"d", {"dconfigure", "drules", "deditpath", "disconnect", "download"}},
        {"?", {}},
        {"z", {}},
    };
    for (const Case& c : cases) EXPECT_EQ(command_words(c.word), c.names) << c.word;
}
