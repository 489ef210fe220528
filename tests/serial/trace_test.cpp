#include "serial/trace.h"

#include <gtest/gtest.h>

#include <fstream>
#include <functional>
#include <iterator>
#include <string>

namespace {

// The lines that `events` write to a new trace, without the header and
// without the times, which every line must have.
std::string traced(const std::function<void()>& events) {
    const std::string path = testing::TempDir() + "trace_test.txt";
    EXPECT_TRUE(start_trace(path.c_str()));
    events();
    std::ifstream in(path, std::ios::binary);
    std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    std::string lines;
    std::size_t at = text.find('\n') + 1;
    while (at < text.size()) {
        std::size_t end = text.find('\n', at);
        std::string line = text.substr(at, end - at);
        EXPECT_EQ(line.find_first_not_of(" 0123456789."), 11u) << line;
        EXPECT_EQ(line.substr(6, 1) + line.substr(10, 1), ". ") << line;
        lines += line.substr(11) + "\n";
        at = end + 1;
    }
    return lines;
}

TEST(Trace, EachEventIsOneLineInTheManualsFormat) {
    const unsigned char bytes[17] = {0x03, '\n', 'v', 0x00, 0x7F, 0x80, 0xFF, ' ', '|',
                                     '~',  'a',  'b', 'c',  'd',  'e',  'f',  0x06};
    struct Case {
        const char* what;
        std::function<void()> events;
        std::string lines;
    } cases[] = {
        {"open, purge, close",
         [] {
             trace_open("COM1", 19200, nullptr);
             trace_purge(3);
             trace_purge(-1);
             trace_close();
         },
         "open COM1 19200\npurge discarded 3\npurge\nclose\n"},
        {"a refused open leaves no port to close",
         [] {
             trace_open("/dev/ttyUSB0", 9600, "Permission denied");
             trace_rate(4800);
             trace_close();
         },
         "open /dev/ttyUSB0 9600 failed: Permission denied\n"},
        {"a rate change of the open port",
         [] {
             trace_rate(4800);
             trace_open("COM2", 19200, nullptr);
             trace_rate(57600);
             trace_close();
             trace_close();
         },
         "open COM2 19200\nrate 57600\nclose\n"},
        {"bytes, 16 a line, shown as text",
         [&] {
             trace_bytes(trace_direction::out, bytes, 17);
             trace_bytes(trace_direction::in, bytes + 16, 1);
             trace_bytes(trace_direction::in, bytes, 0);
         },
         "out 03 0a 76 00 7f 80 ff 20 7c 7e 61 62 63 64 65 66 |..v.... |~abcdef|\n"
         "out 06                                              |.|\n"
         "in  06                                              |.|\n"},
        {"time-outs, errors, notes",
         [] {
             trace_timeout("read", 2010, 37, 200);
             trace_error("read", "Input/output error");
             trace_note("doctor: asking for the version at 9600");
         },
         "timeout read 2010 ms got 37 of 200\nerror read: Input/output error\n"
         "note doctor: asking for the version at 9600\n"},
    };
    for (const Case& c : cases) EXPECT_EQ(traced(c.events), c.lines) << c.what;
}

// A trace that cannot be started leaves the one under way as it was.
TEST(Trace, AFileThatCannotBeWrittenIsRefused) {
    const std::string path = testing::TempDir() + "trace_test_kept.txt";
    ASSERT_TRUE(start_trace(path.c_str()));
    EXPECT_FALSE(start_trace((testing::TempDir() + "no/such/folder/trace.txt").c_str()));
    EXPECT_TRUE(tracing());
    trace_note("still here");
    std::ifstream in(path, std::ios::binary);
    std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    EXPECT_NE(text.find(" note still here\n"), std::string::npos) << text;
}

}  // namespace
