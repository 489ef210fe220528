#include "rules/rule_record.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <string>

#include "config/conf_record.h"
#include "tests/rules/rule_test_support.h"

namespace {

rule_record destin(const char* call, uint8_t mods, int16_t line) {
    rule_record r{};
    std::memcpy(r.slot[0], call, std::strlen(call));
    r.rule_type = rule_destin;
    r.mods = mods;
    r.line = line;
    return r;
}

TEST(RuleRecord, ParsedRulesHaveTheDeviceByteImages) {
    reset_rule_state();
    ParseRun run = parse_rules_file(rules_file("images.rul"));
    ASSERT_EQ(0, run.code) << run.out;
    EXPECT_EQ("Rules processed 3, implicit 0\n", run.out);
    ASSERT_EQ(3, conf_record.rule_count);
    EXPECT_EQ("57 49 44 45 32 00 02 00 00 00 00 00 01 00 00 00 00 00 00 00 00 00 00 00 3B 48 03 00",
              record_hex(rule_table[0]));
    EXPECT_EQ("00 00 20 41 00 00 00 00 1E 42 00 00 00 00 D2 C2 00 00 00 00 00 00 00 00 37 04 04 00",
              record_hex(rule_table[1]));
    EXPECT_EQ("4E 30 43 41 4C 4C 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 35 14 05 00",
              record_hex(rule_table[2]));
}

TEST(CheckRuleDupe, EqualMeansSameModsTypeAndParameterBytes) {
    struct Case {
        const char* what;
        void (*change)(rule_record&);
        bool duplicate;
    };
    const Case cases[] = {
        {"only the line differs", [](rule_record& r) { r.line = 77; }, true},
        {"the action differs", [](rule_record& r) { r.mods = action_pass; }, false},
        {"the type differs", [](rule_record& r) { r.rule_type = rule_source; }, false},
        {"the last byte of slot 0 differs", [](rule_record& r) { r.slot[0][5] = 'X'; }, false},
        {"the SSID byte differs", [](rule_record& r) { r.slot[1][0] = 1; }, false},
        {"a byte of slot 2 differs", [](rule_record& r) { r.slot[2][3] = 1; }, false},
        {"the last byte of slot 3 differs", [](rule_record& r) { r.slot[3][5] = 1; }, false},
        {"0.0 against -0.0", [](rule_record& r) { set_slot_float(r, 3, -0.0f); }, false},
    };
    for (const Case& c : cases) {
        rule_table = {};
        rule_table[0] = destin("N0CALL", action_drop, 1);
        set_slot_float(rule_table[0], 3, 0.0f);
        rule_record candidate = rule_table[0];
        c.change(candidate);
        int slot = -1;
        EXPECT_EQ(c.duplicate ? 1 : 0, check_rule_dupe(1, &candidate, &slot)) << c.what;
        EXPECT_EQ(c.duplicate ? 0 : -1, slot) << c.what;
    }
}

// A record keeps only the low 16 bits of its line: line 65536 is stored as 0,
// and its duplicate must be found all the same.
TEST(CheckRuleDupe, FindingIsReportedApartFromTheStoredLine) {
    struct Case {
        int16_t stored_line;
    };
    const Case cases[] = {{0}, {-32768}, {-1}, {1}};
    for (const Case& c : cases) {
        rule_table = {};
        rule_table[0] = destin("A", action_drop, 9);
        rule_table[1] = destin("B", action_drop, c.stored_line);
        rule_table[2] = destin("B", action_drop, 10);
        rule_record candidate = destin("B", action_drop, 11);
        int slot = -1;
        EXPECT_EQ(1, check_rule_dupe(3, &candidate, &slot)) << c.stored_line;
        EXPECT_EQ(1, slot) << "the first equal record is named";
    }
}

TEST(CheckRuleDupe, SearchesOnlyTheAcceptedRecordsAndNeverPastTheTable) {
    rule_table = {};
    for (int i = 0; i < rule_table_size; ++i) {
        char call[8];
        std::snprintf(call, sizeof call, "C%d", i);
        rule_table[static_cast<size_t>(i)] = destin(call, action_drop, static_cast<int16_t>(i + 1));
    }
    struct Case {
        int count;
        const char* call;
        int result;
        int slot;
    };
    const Case cases[] = {
        {0, "C0", 0, -1},  {5, "C5", 0, -1},     {6, "C5", 1, 5},
        {-3, "C0", 0, -1}, {1000, "C29", 1, 29}, {1000, "C30", 0, -1},
    };
    for (const Case& c : cases) {
        rule_record candidate = destin(c.call, action_drop, 99);
        int slot = -1;
        EXPECT_EQ(c.result, check_rule_dupe(c.count, &candidate, &slot)) << c.count << c.call;
        EXPECT_EQ(c.slot, slot) << c.count << c.call;
    }
    // The candidate may be the slot just after the accepted ones.
    EXPECT_EQ(0, check_rule_dupe(7, &rule_table[7], nullptr));
}

TEST(CheckRuleDupe, MissingCandidateIsRefused) {
    testing::internal::CaptureStdout();
    int result = check_rule_dupe(0, nullptr, nullptr);
    std::fflush(stdout);
    EXPECT_EQ(-1, result);
    EXPECT_EQ("check_rule_dupe: Error: param rep is invalid\n",
              testing::internal::GetCapturedStdout());
}

}  // namespace
