#include "serial/connection.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "tests/support/port_script.h"

namespace {

const std::string identify("\x03\nversion\n", 10);

class Connection : public testing::Test {
  protected:
    void SetUp() override {
        port_script::reset();
        connected = 0;
        std::strcpy(port_name, "COM3");
    }

    // The device answers the identify command with `answer`.
    void answer_identify(const std::string& answer) {
        port_script::state.on_write = [answer](const std::string& written) {
            if (written == identify) port_script::feed(answer);
        };
    }

    // The device answers the line feed of a re-connection with `answer`.
    void answer_line_feed(const std::string& answer) {
        port_script::state.on_write = [answer](const std::string& written) {
            if (written == "\n") port_script::feed(answer);
        };
    }

    int connect(int32_t baud, bool reconnect) {
        testing::internal::CaptureStdout();
        int result = connect_device(baud, reconnect);
        std::fflush(stdout);
        output_ = testing::internal::GetCapturedStdout();
        return result;
    }

    std::string output_;
};

TEST_F(Connection, VersionIsMajorDotMinorWithOneDigitMinorsInTenths) {
    struct Case {
        const char* answer;
        int result;
        const char* refusal;  // what follows "Connecting at 19200...\n"
    } cases[] = {
        {"\r\nVestrimond APRS digipeater\r\nVersion 2.83b\r\nVestro> ", 0, nullptr},
        {"Vestrimond Version 2.9", 0, nullptr},
        {"Vestrimond Version 3.0", 0, nullptr},
        {"Vestrimond Version 10.1", 0, nullptr},
        {"Vestrimond Version 2.83", 0, nullptr},
        {"Vestrimond Version 3", 0, nullptr},  // no '.': minor 0
        {"Vestrimond Version 2.8", 4,
         "\n\a\aError: received Vestrimond version 2.80 but minimal is 2.83!\n"},
        {"Vestrimond Version 2.05", 4,
         "\n\a\aError: received Vestrimond version 2.50 but minimal is 2.83!\n"},
        {"Vestrimond Version 2.82", 4,
         "\n\a\aError: received Vestrimond version 2.82 but minimal is 2.83!\n"},
        {"Vestrimond Version 2.10", 4,
         "\n\a\aError: received Vestrimond version 2.10 but minimal is 2.83!\n"},
        {"Vestrimond Version 1.99", 4,
         "\n\a\aError: received Vestrimond version 1.99 but minimal is 2.83!\n"},
        {"Vestrimond Version 2", 4,
         "\n\a\aError: received Vestrimond version 2.0 but minimal is 2.83!\n"},
        {"Vestrimond Version ", 4,
         "\n\a\aError: received Vestrimond version 0.0 but minimal is 2.83!\n"},
        // Only the text after "Vestrimond" is searched for "Version ".
        {"Version 2.83b Vestrimond", 4,
         "\n\a\aError: did not receive the Vestrimond version (minimum 2.83)!\n"},
        {"Vestrimond version 2.83b", 4,
         "\n\a\aError: did not receive the Vestrimond version (minimum 2.83)!\n"},
    };
    for (const Case& c : cases) {
        SetUp();
        answer_identify(c.answer);
        int result = connect(19200, false);
        EXPECT_EQ(result, c.result) << c.answer;
        std::string expected = "Connecting at 19200...\n";
        expected += c.refusal != nullptr ? c.refusal : "\aConnected at 19200\n";
        EXPECT_EQ(output_, expected) << c.answer;
        EXPECT_EQ(connected, c.result == 0 ? 1 : 0) << c.answer;
        EXPECT_EQ(port_script::state.is_open, c.result == 0) << c.answer;
    }
}

TEST_F(Connection, FirstConnectionDrainsPurgesThenIdentifiesAndReadsOnce) {
    // Left-overs of earlier traffic cannot satisfy the search.
    port_script::feed("Vestrimond Version 9.99\r\n");
    port_script::feed("Vestro> ");
    answer_identify("Vestrimond Version 2.83b");
    ASSERT_EQ(connect(9600, false), 0);

    EXPECT_EQ(port_script::state.opens, 1);
    EXPECT_EQ(port_script::state.baud, 9600);
    EXPECT_EQ(port_script::state.writes, std::vector<std::string>{identify});
    const std::vector<port_script::ReadCall>& reads = port_script::state.reads;
    ASSERT_EQ(reads.size(), 4u);
    for (int i = 0; i < 3; ++i) {
        EXPECT_EQ(reads[i].size, 40);
        EXPECT_EQ(reads[i].timeout_ms, 100);
    }
    EXPECT_EQ(reads[2].got, 0);
    EXPECT_EQ(reads[3].size, 200);
    EXPECT_EQ(reads[3].timeout_ms, 2000);
    EXPECT_EQ(port_script::state.purges, 1);
}

TEST_F(Connection, AnswerWithoutTheNameIsDumpedWithNulAndHighBytesAsHash) {
    answer_identify(std::string("ok\x80 Vest\xffrimond", 15));
    EXPECT_EQ(connect(19200, false), 3);
    EXPECT_EQ(output_,
              "Connecting at 19200...\n"
              "\n\a\aError: did not receive the Vestrimond prompt!\nExpected: Vestrimond\n"
              "Got: length 15 (0xf):\n"
              "Dec  Hex |  0  1  2  3  4  5  6  7    8  9  a  b  c  d  e  f | 0123456789abcdef\n"
              "   0 0000| 6f 6b 23 20 56 65 73 74   23 72 69 6d 6f 6e 64    | ok# Vest#rimond\n");
    EXPECT_EQ(connected, 0);
    EXPECT_EQ(port_script::state.closes, 1);
}

TEST_F(Connection, OnlyTheFirst200BytesOfTheAnswerAreSearched) {
    answer_identify(std::string(195, '.') + "Vestrimond Version 2.83b");
    EXPECT_EQ(connect(19200, false), 3);
    EXPECT_EQ(port_script::state.reads.back().got, 200);
}

TEST_F(Connection, FirstConnectionFailuresLeaveNoPortOpen) {
    struct Case {
        const char* name;
        int open_result;
        int fail_write_at;
        bool already_connected;
        int result;
        const char* message;
    } cases[] = {
        {"already connected", 0, -1, true, 1, "\a\aError: already Connected!\n"},
        {"open refused", -2, -1, false, 2, "\a\aError: could not open COM port COM3\n"},
        {"identify not written", 0, 0, false, 3,
         "\n\a\aError: wrote interrupt character and version command, got error on port "
         "COM3\n"},
    };
    for (const Case& c : cases) {
        SetUp();
        port_script::state.open_result = c.open_result;
        port_script::state.fail_write_at = c.fail_write_at;
        connected = c.already_connected ? 1 : 0;
        EXPECT_EQ(connect(4800, false), c.result) << c.name;
        std::string shown = output_;
        // The scripted port prints its own line for the failed write.
        std::size_t port_line = shown.find("\a\aError: wrote 0 of");
        if (port_line != std::string::npos)
            shown.erase(port_line, shown.find('\n', port_line) + 1 - port_line);
        EXPECT_EQ(shown, std::string("Connecting at 4800...\n") + c.message) << c.name;
        EXPECT_FALSE(port_script::state.is_open) << c.name;
        EXPECT_EQ(connected, c.already_connected ? 1 : 0) << c.name;
    }
}

// The port stays open and this program's between the two rates.
TEST_F(Connection, ReconnectionChangesTheRateOfTheOpenPortAndWaitsForThePrompt) {
    port_script::state.is_open = true;
    connected = 1;
    answer_line_feed("\r\nVestro> ");
    EXPECT_EQ(connect(57600, true), 0);
    EXPECT_EQ(output_, "Connecting at 57600...\n\aConnected at 57600\n");
    EXPECT_EQ(port_script::state.closes, 0);
    EXPECT_EQ(port_script::state.opens, 0);
    EXPECT_EQ(port_script::state.rate_changes, 1);
    EXPECT_EQ(port_script::state.baud, 57600);
    EXPECT_EQ(port_script::state.writes, std::vector<std::string>{"\n"});
    ASSERT_EQ(port_script::state.reads.size(), 1u);
    EXPECT_EQ(port_script::state.reads[0].size, 1024);
    EXPECT_EQ(port_script::state.reads[0].timeout_ms, 2000);
    EXPECT_EQ(connected, 1);
}

TEST_F(Connection, ReconnectionFailuresEndTheConnection) {
    struct Case {
        const char* name;
        int open_result;
        int fail_write_at;
        const char* answer;
        int result;
        const char* message;
    } cases[] = {
        {"open refused", -2, -1, "Vestro> ", 2, "\a\aError: could not open COM port COM3\n"},
        {"line feed not written", 0, 0, "Vestro> ", 7,
         "\a\aError: wrote CR character, got error on port COM3\n"},
        {"no prompt", 0, -1, "", 8, "\a\aError: did not receive the Vestrimond prompt!\n"},
        {"prompt without its blank", 0, -1, "Vestro>", 8,
         "\a\aError: did not receive the Vestrimond prompt!\n"},
    };
    for (const Case& c : cases) {
        SetUp();
        port_script::state.is_open = true;
        connected = 1;
        port_script::state.open_result = c.open_result;
        port_script::state.fail_write_at = c.fail_write_at;
        answer_line_feed(c.answer);
        EXPECT_EQ(connect(9600, true), c.result) << c.name;
        EXPECT_NE(output_.find(c.message), std::string::npos) << c.name << "\n" << output_;
        EXPECT_EQ(output_.rfind("Connecting at 9600...\n", 0), 0u) << c.name;
        EXPECT_FALSE(port_script::state.is_open) << c.name;
        EXPECT_EQ(connected, 0) << c.name;
    }
}

TEST_F(Connection, ReconnectionSearchesOnlyItsOwnRead) {
    port_script::state.is_open = true;
    connected = 1;
    std::memcpy(rx_buf, "Vestro> ", 8);  // from an earlier answer
    answer_line_feed("Vestro");
    EXPECT_EQ(connect(9600, true), 8);
}

}  // namespace
