#include "rules/rule_display.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <string>

#include "config/conf_record.h"
#include "rules/rule_record.h"
#include "tests/rules/rule_test_support.h"

namespace {

std::string displayed() {
    testing::internal::CaptureStdout();
    rules_display();
    std::fflush(stdout);
    return testing::internal::GetCapturedStdout();
}

TEST(RulesDisplay, EveryRuleTypeAsParsed) {
    reset_rule_state();
    ParseRun run = parse_rules_file(rules_file("every_type.rul"));
    ASSERT_EQ(0, run.code) << run.out;
    EXPECT_EQ(rules_file_text("every_type_display.txt"), displayed());
}

TEST(RulesDisplay, NoRulesLineNamesTheImplicitAction) {
    struct Case {
        uint16_t implicit_action;
        const char* out;
    };
    const Case cases[] = {
        {0, "No Rules are configured!  Implicit Rule Action is ?\n"},
        {implicit_pass, "No Rules are configured!  Implicit Rule Action is Pass\n"},
        {implicit_drop, "No Rules are configured!  Implicit Rule Action is Drop\n"},
        {'x', "No Rules are configured!  Implicit Rule Action is ?\n"},
    };
    for (const Case& c : cases) {
        reset_rule_state();
        rule_table[0].rule_type = rule_destin;  // not shown: the count is 0
        conf_record.implicit_action = c.implicit_action;
        EXPECT_EQ(c.out, displayed()) << c.implicit_action;
    }
}

// Each rule parsed on its own, shown after the implicit rule.
TEST(RulesDisplay, ArgumentTextsOfSingleRules) {
    struct Case {
        const char* rule;
        const char* line;
    };
    const Case cases[] = {
        {"drop dst ABCDEF-15", "1  Drop    40  destin    ABCDEF-15   \n"},
        {"drop dst ABCDEF", "1  Drop    00  destin    ABCDEF   \n"},
        {"pass src ABCDE*", "1  Pass    10  source    ABCDE*   \n"},
        {"implicit dst *", "1  ?       30  destin    *   \n"},
        {"implicit src W1AW", "1  ?       10  source    W1AW*   \n"},
        {"pass digi 0 WIDE1", "1  Pass    00  digi      *, WIDE1  \n"},
        {"pass digi 8 ABCDEF-1", "1  Pass    40  digi      8, ABCDEF-1  \n"},
        {"pass digi 2 *", "1  Pass    30  digi      2, *  \n"},
        {"pass circle 5 39.5d -104.75d",
         "1  Pass    00  circle    5.000 mi R, 39.500000  D Lat, -104.75000  D Lon \n"},
        {"drop compass nw -90d 180d",
         "1  Drop    00  compass   NW Dir, -90.000000 D Lat, 180.00000   D Lon \n"},
        // Values of any size are shown in full.
        {"pass circle 1000000000 0d 0d",
         "1  Pass    00  circle    1000000000.000 mi R, 0.000000   D Lat, 0.00000     D Lon \n"},
        {"pass sector 0d 0d 0 3.4e38",
         "1  Pass    00  sector    0.000 D Ang1, 0.000 D Ang2, 0.000 In R, "
         "339999995214436424907732413799364296704.000 Out R\n"},
    };
    for (const Case& c : cases) {
        reset_rule_state();
        ParseRun run = parse_rules_text(std::string(c.rule) + "\n");
        ASSERT_EQ(0, run.code) << c.rule << "\n" << run.out;
        std::string out = displayed();
        std::string head =
            "Rule count 1 plus Implicit\n\n#  Action Mods Command   Arguments\n"
            "0  Pass        Implicit \n";
        EXPECT_EQ(head + c.line, out) << c.rule;
    }
}

// A callsign of 6 characters has no terminator: the SSID byte right after it
// must not show up as a seventh character.
TEST(RulesDisplay, SixCharacterCallsignStopsAtItsSlot) {
    reset_rule_state();
    rule_record& r = rule_table[0];
    std::memcpy(r.slot[0], "ABCDEF", 6);
    r.slot[1][0] = 'G';
    std::memset(r.slot[2], 'H', 6);
    r.rule_type = rule_source;
    r.mods = action_drop;
    conf_record.rule_count = 1;
    conf_record.implicit_action = implicit_drop;
    EXPECT_EQ(
        "Rule count 1 plus Implicit\n\n#  Action Mods Command   Arguments\n"
        "0  Drop        Implicit \n"
        "1  Drop    00  source    ABCDEF   \n",
        displayed());
}

TEST(RulesDisplay, RuleTypeIsNamedByItsFirstCommandWord) {
    struct Case {
        char rule_type;
        const char* name;
    };
    const Case cases[] = {
        {'5', "destin"}, {'6', "source"}, {'7', "circle"}, {'8', "compass"}, {'9', "rectangle"},
        {':', "sector"}, {';', "digi"},   {'4', "?"},      {'<', "?"},       {'\0', "?"},
    };
    for (const Case& c : cases) {
        EXPECT_STREQ(c.name, rule_type_name(c.rule_type)) << static_cast<int>(c.rule_type);
    }
}

}  // namespace
