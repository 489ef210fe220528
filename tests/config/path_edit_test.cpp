#include "config/path_edit.h"

#include <gtest/gtest.h>

#include <array>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "config/conf_record.h"
#include "tests/config/conf_test_support.h"

namespace {

using Entry = std::array<uint8_t, 12>;

Entry entry_bytes(int i) {
    Entry bytes;
    std::memcpy(bytes.data(), &conf_record.path_edits[i], bytes.size());
    return bytes;
}

struct Address {
    std::string call;
    uint8_t octet;
};

std::vector<Address> subst_addresses(int slot) {
    const subst_path& path = conf_record.subst_paths[slot];
    std::vector<Address> addresses;
    for (int k = 0; k < path.count; ++k) {
        addresses.push_back(Address{path.address[k].call, path.address[k].ssid});
    }
    return addresses;
}

bool operator==(const Address& a, const Address& b) { return a.call == b.call && a.octet == b.octet; }

void PrintTo(const Address& a, std::ostream* os) {
    char octet[8];
    std::snprintf(octet, sizeof octet, "0x%02X", a.octet);
    *os << a.call << "/" << octet;
}

// Runs path_edit_add on a line as the parser hands it over: the line is in
// conf_line_buf, the arguments follow the keyword and its blank.
Outcome add_line(const char* line) {
    std::snprintf(conf_line_buf, sizeof conf_line_buf, "%s", line);
    std::snprintf(conf_line_copy, sizeof conf_line_copy, "%s", line);
    std::size_t comment = std::strcspn(conf_line_buf, "#/;");
    comment_pos = conf_line_buf[comment] != '\0' ? static_cast<int>(comment) : -1;
    conf_file_name = "t.cfg";
    conf_line_no = 1;
    char* blank = std::strchr(conf_line_buf, ' ');
    char* args = blank != nullptr ? blank + 1 : conf_line_buf + std::strlen(conf_line_buf);
    int command = line[0] == 's' ? '.' : '/';
    testing::internal::CaptureStdout();
    int code = path_edit_add(command, line[0] == 's' ? "substitutepath" : "deletepath", args);
    std::fflush(stdout);
    return Outcome{code, testing::internal::GetCapturedStdout()};
}

TEST(PathEdit, LinesGiveTheDocumentedEntryBytes) {
    struct Case {
        const char* line;
        Entry entry;
        std::vector<Address> addresses;
    };
    const Case cases[] = {
        {"deletepath * * *", {0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0x32}, {}},
        {"deletepath 2 WIDE2-2 2", {'W', 'I', 'D', 'E', '2', 0, 0, 0x04, 2, 2, 0, 0x42}, {}},
        {"deletepath 8 n0call* 8", {'N', '0', 'C', 'A', 'L', 'L', 0, 0, 8, 8, 0, 0x12}, {}},
        {"deletepath 3,relay;*", {'R', 'E', 'L', 'A', 'Y', 0, 0, 0, 3, 0, 0, 0x02}, {}},
        {"deletepath 1 *N0CALL-3 1", {0, 0, 0, 0, 0, 0, 0, 0, 1, 1, 0, 0x32}, {}},
        {"deletepath 1 N0CALL*-3 1", {'N', '0', 'C', 'A', 'L', 'L', 0, 0, 1, 1, 0, 0x12}, {}},
        {"deletepath 1 N0CALL-0 1", {'N', '0', 'C', 'A', 'L', 'L', 0, 0, 1, 1, 0, 0x42}, {}},
        {"deletepath 1 trace-15 1#comment", {'T', 'R', 'A', 'C', 'E', 0, 0, 0x1E, 1, 1, 0, 0x42}, {}},
        {"substitutepath 1 wide1-1 1 n0call,WIDE1*",
         {'W', 'I', 'D', 'E', '1', 0, 0, 0x02, 1, 1, 0, 0x41},
         {{"N0CALL", 0xE0}, {"WIDE1", 0xE0}}},
        {"substitutepath 1 WIDE1-1 1 WIDE2-2", {'W', 'I', 'D', 'E', '1', 0, 0, 0x02, 1, 1, 0, 0x41},
         {{"WIDE2", 0x64}}},
        {"substitutepath * * * WIDE2-2*,N0CALL-7*,N0CALL*-7 relay-0 x-15",
         {0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0x31},
         {{"WIDE2", 0xE0}, {"N0CALL", 0xEE}, {"N0CALL", 0xEE}, {"RELAY", 0xE0}, {"X", 0x7E}}},
        {"substitutepath 0 abc* 8 wide", {'A', 'B', 'C', 0, 0, 0, 0, 0, 0, 8, 0, 0x11}, {{"WIDE", 0xE0}}},
    };
    for (const Case& c : cases) {
        Outcome outcome = configure_text(std::string(c.line) + "\n");
        ASSERT_EQ(outcome.code, 0) << c.line << "\n" << outcome.out;
        EXPECT_EQ(entry_bytes(0), c.entry) << c.line;
        EXPECT_EQ(subst_addresses(0), c.addresses) << c.line;
        bool substitution = c.line[0] == 's';
        EXPECT_EQ(conf_record.subst_count, substitution ? 1 : 0) << c.line;
        EXPECT_EQ(conf_record.delete_count, substitution ? 0 : 1) << c.line;
    }
}

TEST(PathEdit, SubstitutionPathBytesAreZeroAfterTheCount) {
    ASSERT_EQ(configure_text("substitutepath 1 WIDE1-1 1 N0CALL\n").code, 0);
    const auto* path = reinterpret_cast<const uint8_t*>(&conf_record.subst_paths[0]);
    uint8_t expected[65] = {'N', '0', 'C', 'A', 'L', 'L', 0, 0xE0};
    expected[64] = 1;
    EXPECT_EQ(std::memcmp(path, expected, sizeof expected), 0);
}

TEST(PathEdit, DeletesAndSubstitutionsShareTheEntryTableInLineOrder) {
    Outcome outcome = configure_text(
        "deletepath 1 A 1\n"
        "substitutepath 1 B 1 X\n"
        "deletepath 2 C 2\n"
        "substitutepath 2 D 2 Y,Z\n");
    ASSERT_EQ(outcome.code, 0) << outcome.out;
    const char* calls[] = {"A", "B", "C", "D"};
    const uint8_t flags[] = {0x02, 0x01, 0x02, 0x01};
    const uint8_t slots[] = {0, 0, 0, 1};
    for (int i = 0; i < 4; ++i) {
        EXPECT_STREQ(conf_record.path_edits[i].call, calls[i]);
        EXPECT_EQ(conf_record.path_edits[i].flags, flags[i]);
        EXPECT_EQ(conf_record.path_edits[i].subst_index, slots[i]);
    }
    EXPECT_EQ(subst_addresses(1), (std::vector<Address>{{"Y", 0xE0}, {"Z", 0xE0}}));
}

TEST(PathEdit, FaultyFieldsPrintTheirMessageAndCode) {
    struct Case {
        const char* line;
        int code;
        const char* message;
    };
    const Case cases[] = {
        {"deletepath", -6, "argument(s) missing: Match Index"},
        {"deletepath x N0CALL 1", -7, "Invalid Digi Match Index [0..8]: x"},
        {"deletepath 9 N0CALL 1", -8, "Invalid Digi Match Index [0..8]: 9"},
        {"deletepath 264 N0CALL 1", -8, "Invalid Digi Match Index [0..8]: 264"},
        {"deletepath 1", -9, "argument(s) missing: Digi Match"},
        {"deletepath 1 N0CALL-x 1", -10, "Digi Match: Digi N0CALL invalid SSID range [0..15]: x"},
        {"deletepath 1 N0CALL-16 1", -11, "Digi Match: Digi N0CALL invalid SSID range [0..15]: 16"},
        {"deletepath 1 N0CALLS 1", -12, "Digi Match: Digi N0CALLS exceeds length 6"},
        {"deletepath 1 N0CALL-5* 1", -12, "Digi Match: Digi N0CALL-5 exceeds length 6"},
        {"deletepath 1 N0CALL", -21, "argument(s) missing: Delete Index"},
        {"deletepath 1 N0CALL d", -22, "Invalid Digi Action Index [0..8]: d"},
        {"deletepath 1 N0CALL 12", -23, "Invalid Digi Action Index [0..8]: 12"},
        {"substitutepath 1 N0CALL", -13, "argument(s) missing: Substitution Index"},
        {"substitutepath 1 N0CALL -1 X", -14, "Invalid Digi Action Index [0..8]: -1"},
        {"substitutepath 1 N0CALL 9 X", -15, "Invalid Digi Action Index [0..8]: 9"},
        {"substitutepath 1 N0CALL 1", -16, "argument(s) missing: Substitution Path"},
        {"substitutepath 1 N0CALL 1 # WIDE1-1", -16, "argument(s) missing: Substitution Path"},
        {"substitutepath 1 N0CALL 1 X,Y-z", -17, "Digi Substitution[2]: Y invalid SSID range [0..15]: z"},
        {"substitutepath 1 N0CALL 1 X-99", -18, "Digi Substitution[1]: X invalid SSID range [0..15]: 99"},
        {"substitutepath 1 N0CALL 1 X Y Z RELAY77*", -19, "Digi Substitution[4]: RELAY77 exceeds length 6"},
        {"substitutepath 1 N0CALL 1 X Y Z RELAY77-1", -19, "Digi Substitution[4]: RELAY77 exceeds length 6"},
        {"substitutepath 7 N0CALL 7 X,Y,Z", -20,
         "Digi Substitution Index (7) and Number of Substitution Digis (3) exceeds Maximum (8)"},
    };
    for (const Case& c : cases) {
        conf_reset();
        Outcome outcome = add_line(c.line);
        EXPECT_EQ(outcome.code, c.code) << c.line;
        EXPECT_EQ(outcome.out, std::string("\a\aError: t.cfg[1]: ") + c.message + "\n" + c.line + "\n");
        EXPECT_EQ(conf_record.subst_count + conf_record.delete_count, 0) << c.line;
    }
}

TEST(PathEdit, SubstitutionIndexAndAddressCountStayWithinEight) {
    struct Case {
        const char* line;
        int code;
        int count;
    };
    const Case cases[] = {
        {"substitutepath 1 N0CALL 7 A,B,C", -20, 0},
        {"substitutepath 1 N0CALL 6 A,B,C", 0, 3},
        {"substitutepath 1 N0CALL 1 A,B,C,D,E,F,G,H", 0, 8},
        {"substitutepath 1 N0CALL 2 A,B,C,D,E,F,G,H", -20, 0},
        {"substitutepath 1 N0CALL * A,B,C,D,E,F,G,H", 0, 8},
        {"substitutepath 1 N0CALL * A,B,C,D,E,F,G,H,I", 0, 8},  // the ninth is ignored
        {"substitutepath 1 N0CALL * A,B,C,D,E,F,G,H,TOOLONGCALL-99", 0, 8},
        {"substitutepath 1 N0CALL 1 WIDE1-1 # x", 0, 1},
        {"substitutepath 1 N0CALL 1 WIDE1-1 ; x", 0, 1},
        {"substitutepath 1 N0CALL 1 WIDE1-1/x", 0, 1},
    };
    for (const Case& c : cases) {
        conf_reset();
        Outcome outcome = add_line(c.line);
        EXPECT_EQ(outcome.code, c.code) << c.line << "\n" << outcome.out;
        EXPECT_EQ(conf_record.subst_count, c.code == 0 ? 1 : 0) << c.line;
        if (c.code == 0) {
            EXPECT_EQ(conf_record.subst_paths[0].count, c.count) << c.line;
        }
    }
}

TEST(PathEdit, EachKindHoldsEightEntries) {
    std::string eight_deletes;
    for (int i = 1; i <= 8; ++i) eight_deletes += "deletepath " + std::to_string(i) + " N0CALL 1\n";

    Outcome outcome = configure_text(eight_deletes + "deletepath * N0CALL 1\n");
    EXPECT_EQ(outcome.code, -11);
    EXPECT_EQ(outcome.out, "\a\aError: t.cfg[9]: deletes are full: 8\ndeletepath * N0CALL 1\n");

    outcome = configure_text(eight_deletes + "substitutepath * N0CALL 1 X\n");
    EXPECT_EQ(outcome.code, 0) << outcome.out;
    EXPECT_EQ(conf_record.path_edits[8].flags, 0x01);

    std::string eight_substitutions;
    for (int i = 1; i <= 8; ++i) eight_substitutions += "substitutepath " + std::to_string(i) + " N0CALL 1 X\n";
    outcome = configure_text(eight_substitutions + eight_deletes + "substitutepath * N0CALL 1 X\n");
    EXPECT_EQ(outcome.code, -11);
    EXPECT_EQ(outcome.out, "\a\aError: t.cfg[17]: substitutions are full: 8\nsubstitutepath * N0CALL 1 X\n");
    EXPECT_EQ(conf_record.subst_count, 8);
    EXPECT_EQ(conf_record.delete_count, 8);
    EXPECT_EQ(conf_record.subst_paths[7].address[0].call[0], 'X');
    // Each full table has a code of its own.
    EXPECT_EQ(add_line("substitutepath * N0CALL 1 X").code, -4);
    EXPECT_EQ(add_line("deletepath * N0CALL 1").code, -5);
}

TEST(PathEdit, DuplicateEntriesAreRefused) {
    struct Case {
        const char* text;
        int code;
        const char* out;
    };
    const Case cases[] = {
        {"deletepath 1 N0CALL 1\ndeletepath 2 RELAY 1\ndeletepath 2 relay 1\n", -11,
         "\a\aError: t.cfg[3]: Duplicate Path Delete at entry 2\n"},
        {"deletepath 1 N0CALL 1\ndeletepath 1 N0CALL 2\n", 0, "Configuration items processed 2\n"},
        {"deletepath 1 N0CALL-0 1\ndeletepath 1 N0CALL 1\n", 0, "Configuration items processed 2\n"},
        {"deletepath 1 N0CALL 1\nsubstitutepath 1 N0CALL 1 X\n", 0, "Configuration items processed 2\n"},
        {"substitutepath 1 N0CALL 1 X\nsubstitutepath 1 N0CALL 1 Y,Z\n", -11,
         "\a\aError: t.cfg[2]: Duplicate Path Substitution at entry 1\n"},
        {"deletepath * * *\ndeletepath * *ANY *\n", -11, "\a\aError: t.cfg[2]: Duplicate Path Delete at entry 1\n"},
    };
    for (const Case& c : cases) {
        Outcome outcome = configure_text(c.text);
        EXPECT_EQ(outcome.code, c.code) << c.text;
        EXPECT_EQ(outcome.out, c.out) << c.text;
    }
}

TEST(PathEdit, DuplicateCheckComparesAllBytesButTheSubstitutionSlot) {
    ASSERT_EQ(configure_text("deletepath 1 A 1\nsubstitutepath 2 B-3 4 X\n").code, 0);
    path_edit_entry probe = conf_record.path_edits[1];
    probe.subst_index = 5;
    EXPECT_EQ(check_path_edit_dupe(&probe), 2);
    for (std::size_t byte : {0, 6, 7, 8, 9, 11}) {
        path_edit_entry other = conf_record.path_edits[1];
        reinterpret_cast<uint8_t*>(&other)[byte] ^= 0x80;
        EXPECT_EQ(check_path_edit_dupe(&other), 0) << "byte " << byte;
    }
    // Entries past the counts are not in use.
    conf_record.delete_count = 0;
    conf_record.subst_count = 1;
    probe = conf_record.path_edits[1];
    EXPECT_EQ(check_path_edit_dupe(&probe), 0);
}

TEST(PathEdit, ParameterChecksNameTheFunction) {
    char args[] = "1 N0CALL 1";
    struct Case {
        int command;
        const char* cmd_name;
        char* args;
        int code;
        const char* out;
    };
    const Case cases[] = {
        {'/', nullptr, args, -1, "path_edit_add: Error: invalid param cmd_name ptr\n"},
        {'x', "deletepath", args, -2, "path_edit_add: Error: invalid command: 120\n"},
        {'/', "deletepath", nullptr, -3, "path_edit_add: Error: invalid param args ptr\n"},
    };
    for (const Case& c : cases) {
        testing::internal::CaptureStdout();
        int code = path_edit_add(c.command, c.cmd_name, c.args);
        std::fflush(stdout);
        EXPECT_EQ(code, c.code);
        EXPECT_EQ(testing::internal::GetCapturedStdout(), c.out);
    }
    testing::internal::CaptureStdout();
    EXPECT_EQ(check_path_edit_dupe(nullptr), -1);
    std::fflush(stdout);
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "check_path_edit_dupe: Error: invalid param poe ptr\n");
}

}  // namespace
