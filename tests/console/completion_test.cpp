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

TEST(TabCompletion, CandidatesAreTheNamesThatBeginWithTheWord) {
    // File names are looked for in the folder the word names, however deep.
    const std::string files = std::string(TEST_SOURCE_DIR) + "/tests/console/files/";
    struct Case {
        Completion kind;
        std::string word;
        std::vector<std::string> names;
        const char* before = "";  // the line before the word
    } cases[] = {
        {Completion::command, "dco", {"dconfigure"}},
        {Completion::command, "DI", {"disconnect"}},
        {Completion::command, "d", {"dconfigure", "drules", "deditpath", "disconnect", "download"}},
        {Completion::command, "?", {}},
        {Completion::command, "z", {}},
        {Completion::file, files + "gps", {files + "gps4800.cfg"}},
        {Completion::file, files + "nothing-begins-so", {}},
        // The console reads the blanks after the command's delimiter as part
        // of the file name: no file of that name begins with a blank.
        {Completion::file, files + "gps", {files + "gps4800.cfg"}, "configure "},
        {Completion::file, files + "gps", {}, "configure  "},
        {Completion::file, files + "gps", {}, "firmware 3  "},
        {Completion::file, files + "gps", {files + "gps4800.cfg"}, "firmware 3,\t"},
    };
    for (const Case& c : cases) {
        const char* word = c.word.c_str();
        EXPECT_EQ(c.kind == Completion::file ? file_words(word, c.before) : command_words(word),
                  c.names)
            << c.before << c.word;
    }
}
