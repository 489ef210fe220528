#include "common/line_reader.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <cstdio>
#include <limits>
#include <string>
#include <vector>

#include "tests/transfer/temp_file.h"
#include "tests/windows/wine.h"

namespace {

std::FILE* file_with(const std::string& text) {
    std::FILE* fp = std::tmpfile();
    std::fwrite(text.data(), 1, text.size(), fp);
    std::rewind(fp);
    return fp;
}

std::vector<std::string> pieces(const std::string& text, size_t size) {
    std::FILE* fp = file_with(text);
    std::vector<std::string> got;
    std::vector<char> buf(size);
    LineRead read;
    while ((read = read_text_line(fp, buf.data(), size)) == LineRead::line) got.emplace_back(buf.data());
    EXPECT_EQ(read, LineRead::end);
    std::fclose(fp);
    return got;
}

TEST(LineReader, CrBeforeLineFeedIsDroppedAndOtherCrsKept) {
    EXPECT_EQ(pieces("a\r\nb\rc\n\r\nlast", 256),
              (std::vector<std::string>{"a\n", "b\rc\n", "\n", "last"}));
    EXPECT_EQ(pieces("end\r", 256), (std::vector<std::string>{"end\r"}));
}

TEST(LineReader, LongLinesComeInPiecesOfSizeMinusOne) {
    EXPECT_EQ(pieces("abcdefg\n", 4), (std::vector<std::string>{"abc", "def", "g\n"}));
    // The line feed counts toward the limit; the CR of CR LF does not.
    EXPECT_EQ(pieces("abc\n", 4), (std::vector<std::string>{"abc", "\n"}));
    EXPECT_EQ(pieces("ab\r\n", 4), (std::vector<std::string>{"ab\n"}));
    std::string line254(254, 'x');
    EXPECT_EQ(pieces(line254 + "\r\nnext\r\n", 256),
              (std::vector<std::string>{line254 + "\n", "next\n"}));
}

TEST(LineReader, NameInOnePairOfQuotesIsTheNameInside) {
    struct Case {
        const char* name;
        const char* inner;  // nullptr: not a quoted name
    } cases[] = {
        {"\"C:\\My Files\\site.cfg\"", "C:\\My Files\\site.cfg"},
        {"'/home/op/My Files/fw.hex' ", "/home/op/My Files/fw.hex"},
        {"\"site.cfg\" \t ", "site.cfg"},
        {"'it\"s.cfg'", "it\"s.cfg"},
        {"\"x\"", "x"},
        {"\"\"", nullptr},
        {"\"", nullptr},
        {"", nullptr},
        {"site.cfg", nullptr},
        {" \"site.cfg\"", nullptr},
        {"\"site.cfg'", nullptr},
        {"\"a\" \"b\"", nullptr},
        {"'it's.cfg'", nullptr},
        {"\"site.cfg", nullptr},
    };
    for (const Case& c : cases) {
        char inner[64] = "unchanged";
        EXPECT_EQ(unquoted_file_name(c.name, inner, sizeof inner), c.inner != nullptr) << c.name;
        EXPECT_STREQ(inner, c.inner != nullptr ? c.inner : "unchanged") << c.name;
    }
    char small[5];
    EXPECT_TRUE(unquoted_file_name("\"abcd\"", small, sizeof small));
    EXPECT_FALSE(unquoted_file_name("\"abcde\"", small, sizeof small));
}

TEST(LineReader, QuotedNameOpensTheFileInsideAndReportsTheNameAsWritten) {
    TempFile file("quoted name.cfg");
    file.write("first\n");
    struct Case {
        std::string name;
        bool opens;
    } cases[] = {
        {file.path(), true},
        {"\"" + file.path() + "\"", true},
        {"'" + file.path() + "' ", true},
        {"\"" + file.path() + "'", false},
        {"\"" + file.path() + ".missing\"", false},
    };
    for (const Case& c : cases) {
        errno = 0;
        std::FILE* fp = open_text_file(c.name.c_str());
        EXPECT_EQ(fp != nullptr, c.opens) << c.name;
        if (fp != nullptr) {
            char line[16];
            EXPECT_EQ(read_text_line(fp, line, sizeof line), LineRead::line);
            EXPECT_STREQ(line, "first\n");
            std::fclose(fp);
        } else {
            // What the system says of the name as written (Windows refuses a quote in a
            // name as invalid, POSIX finds no such file).
            const int refused = errno;
            errno = 0;
            EXPECT_EQ(std::fopen(c.name.c_str(), "r"), nullptr);
            EXPECT_EQ(refused, errno) << c.name;
            EXPECT_NE(refused, 0) << c.name;
        }
    }
}

TEST(LineReader, DirectoryIsRefusedAtOpen) {
    EXPECT_EQ(open_text_file("/"), nullptr);
    EXPECT_EQ(open_text_file("/nonexistent/file"), nullptr);
}

TEST(LineReader, ByteOrderMarkIsNoPartOfTheFirstLineAndUtf16IsRefused) {
    struct Case {
        std::string contents;
        std::vector<std::string> lines;
        bool utf16 = false;  // refused
    };
    const Case cases[] = {
        {"\xEF\xBB\xBF:00000001FF\n", {":00000001FF\n"}},
        {"\xEF\xBB\xBF", {}},
        {"\xEF\xBB\xBF\xEF\xBB\xBFx", {"\xEF\xBB\xBFx"}},  // only the first is a mark
        {"\xEF\xBBx\n", {"\xEF\xBBx\n"}},
        {"\xEFx", {"\xEFx"}},
        {"\xFFx", {"\xFFx"}},
        {"\xFE", {"\xFE"}},
        {"x\xEF\xBB\xBF", {"x\xEF\xBB\xBF"}},
        {"", {}},
        {std::string("\xFF\xFEs\0i\0", 6), {}, true},
        {std::string("\xFE\xFF\0s\0i", 6), {}, true},
    };
    TempFile file("text.cfg");
    for (const Case& c : cases) {
        file.write(c.contents);
        errno = 0;
        std::FILE* fp = open_text_file(file.c_str());
        if (c.utf16) {
            EXPECT_EQ(fp, nullptr) << c.contents;
            EXPECT_EQ(errno, utf16_text_error) << c.contents;
            continue;
        }
        ASSERT_NE(fp, nullptr) << c.contents;
        for (int pass = 0; pass < 2; ++pass) {  // as opened, and after a rewind
            std::vector<std::string> got;
            char buf[64];
            while (read_text_line(fp, buf, sizeof buf) == LineRead::line) got.emplace_back(buf);
            EXPECT_EQ(got, c.lines) << c.contents << " pass " << pass;
            rewind_text_file(fp);
        }
        std::fclose(fp);
    }
}

TEST(LineReader, ReadErrorIsAnErrorNotAnEndOfFile) {
    if (running_under_wine()) {
        GTEST_SKIP() << "Wine's C runtime reads a write-only stream as an end of file "
                        "without the error flag that Windows' runtime sets";
    }
    // A stream opened for writing only cannot be read: the read fails.
    std::FILE* fp = std::tmpfile();
    std::FILE* write_only = std::fopen("/dev/null", "w");
    char buf[16];
    EXPECT_EQ(read_text_line(write_only, buf, sizeof buf), LineRead::error);
    std::fclose(write_only);
    std::fclose(fp);
}

TEST(LineReader, StripLineFeedRemovesOneTrailingLineFeed) {
    char line[] = "text\n";
    EXPECT_EQ(strip_line_feed(line), 4u);
    EXPECT_STREQ(line, "text");
    char bare[] = "text";
    EXPECT_EQ(strip_line_feed(bare), 4u);
    // An empty line is left alone, whatever lies before it.
    char after_line_feed[] = "\n";
    EXPECT_EQ(strip_line_feed(after_line_feed + 1), 0u);
    EXPECT_STREQ(after_line_feed, "\n");
}

// A file without end (/dev/zero) gives lines for ever; the count stays at the
// largest line number instead of wrapping negative.
TEST(LineReader, LineCountStopsAtTheLargestLineNumber) {
    const int32_t largest = std::numeric_limits<int32_t>::max();
    const struct Case {
        int32_t before;
        int32_t after;
    } cases[] = {{0, 1}, {65535, 65536}, {largest - 1, largest}, {largest, largest}};
    for (const Case& c : cases) {
        int32_t line_no = c.before;
        count_line(&line_no);
        EXPECT_EQ(line_no, c.after) << c.before;
    }
}

}  // namespace
