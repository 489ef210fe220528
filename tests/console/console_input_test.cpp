#include "console/console_input.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <string>

namespace {

// Feeds `text` to the console reader for the life of the object.
class ConsoleText {
public:
    explicit ConsoleText(const std::string& text) {
        file_ = std::tmpfile();
        std::fwrite(text.data(), 1, text.size(), file_);
        std::rewind(file_);
        set_console_input(file_);
    }
    ~ConsoleText() {
        set_console_input(stdin);
        std::fclose(file_);
    }

private:
    std::FILE* file_;
};

struct Read {
    ConsoleRead result;
    std::string text;
};

Read read_line(size_t size) {
    char buf[300];
    testing::internal::CaptureStdout();
    ConsoleRead result = read_console_line("> ", buf, size);
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "> ");
    return {result, result == ConsoleRead::end ? "" : buf};
}

TEST(ConsoleInput, LinesComeWithoutTheirLineEnd) {
    // A CR stays in the line unless a line feed follows it, also at the end
    // of the input.
    ConsoleText input("one\ntwo\r\n\nthree\rfour\nlast\r");
    struct Expected {
        ConsoleRead result;
        const char* text;
    } expected[] = {
        {ConsoleRead::line, "one"},       {ConsoleRead::line, "two"},
        {ConsoleRead::line, ""},          {ConsoleRead::line, "three\rfour"},
        {ConsoleRead::line, "last\r"},    {ConsoleRead::end, ""},
    };
    for (const Expected& e : expected) {
        Read got = read_line(256);
        EXPECT_EQ(got.result, e.result) << e.text;
        EXPECT_EQ(got.text, e.text);
    }
}

TEST(ConsoleInput, EndOfInputIsStickyOnceSeen) {
    ConsoleText input("");
    EXPECT_EQ(read_line(256).result, ConsoleRead::end);
    EXPECT_EQ(read_line(256).result, ConsoleRead::end);
}

TEST(ConsoleInput, LineThatDoesNotFitIsReadWholeAndReportedTooLong) {
    ConsoleText input(std::string(10, 'a') + "\r\n" + std::string(9, 'b') + "\r\nnext\n");
    Read first = read_line(10);
    EXPECT_EQ(first.result, ConsoleRead::too_long);
    EXPECT_EQ(first.text, std::string(9, 'a'));
    Read second = read_line(10);  // exactly fits: the CR of CR LF does not count
    EXPECT_EQ(second.result, ConsoleRead::line);
    EXPECT_EQ(second.text, std::string(9, 'b'));
    EXPECT_EQ(read_line(10).text, "next");

    // A CR that ends the input fills the line like any other character.
    ConsoleText cr_at_end("x\r");
    Read last = read_line(3);
    EXPECT_EQ(last.result, ConsoleRead::line);
    EXPECT_EQ(last.text, "x\r");
}

}  // namespace
