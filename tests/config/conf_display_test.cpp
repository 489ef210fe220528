#include "config/conf_display.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <string>

#include "config/conf_record.h"
#include "config/path_edit_display.h"
#include "tests/config/conf_test_support.h"

namespace {

std::string printed(void (*display)()) {
    testing::internal::CaptureStdout();
    display();
    std::fflush(stdout);
    return testing::internal::GetCapturedStdout();
}

TEST(ConfDisplay, ReportAfterAFileWithEveryKeyword) {
    conf_reset();
    conf_record.rule_count = 7;
    conf_record.implicit_action = implicit_drop;
    ASSERT_EQ(configure_file_again(source_path("tests/config/files/every_keyword.cfg")).code, 0);
    EXPECT_EQ(printed(conf_display),
              "Configuration Version 2.83b\n"
              "Station Call\t  K1AB\tSSID 10\t\tRun Mode On\n"
              "Base Lat  45.377335\tLon   -42.50000    Altitude -3 meters\n"
              "Host baud\t57600\n"
              "GPS  baud\t4800\n"
              "TNC  baud\t115200\n"
              "WIDE Max 2\tWIDE Total 4\n"
              "Dupe Window 500 sec.\tCall Rate Limit 65535 sec.\n"
              "Beacon 60 sec.\tIcon \\k\n"
              "Beacon Comment: Test # comment; kept\n"
              "Control Call: AB1CD-15\n"
              "NSR: Enabled\tRelay Drop: Enabled\n"
              "Digi Path[3]: WIDE1-1,WIDE2-2,ABCDEFGH\n"
              "Log Port: No\n"
              "UITrace: Yes\tHave GPS: Yes\n"
              "Fix Valid: No\tPass packets without valid position: Yes\n"
              "Halt On Error: Yes\tDrop Mangled Packet: No\n"
              "Rule count 7\tImplicit Rule Action: Drop\n");
}

// The line of the report that holds `label`, from the label to the line end.
std::string report_line(const std::string& report, const std::string& label) {
    std::size_t at = report.find(label);
    if (at == std::string::npos) return "";
    return report.substr(at, report.find('\n', at) - at);
}

TEST(ConfDisplay, FieldsAreShownWithinTheirSlotsAndByTheirRules) {
    conf_reset();
    std::memcpy(conf_record.digipath[0], "ABCDEFGH", 8);
    std::memcpy(conf_record.digipath[1], "IJ", 2);
    digipath_count = 2;
    conf_record.icon = ('/' << 8) | 0xA3;  // the symbol code shows its low 7 bits
    conf_record.run_mode = 0;
    std::string report = printed(conf_display);
    EXPECT_EQ(report_line(report, "Digi Path"), "Digi Path[2]: ABCDEFGH,IJ");
    EXPECT_EQ(report_line(report, "Icon"), "Icon /#");
    EXPECT_EQ(report_line(report, "Run Mode"), "Run Mode Off");

    struct Case {
        uint16_t action;
        const char* shown;
    };
    const Case cases[] = {{0, "?"}, {'p', "Pass"}, {'d', "Drop"}, {'P', "?"}, {0x6470, "?"}};
    for (const Case& c : cases) {
        conf_record.implicit_action = c.action;
        EXPECT_EQ(report_line(printed(conf_display), "Implicit"), std::string("Implicit Rule Action: ") + c.shown);
    }
}

TEST(PathEditDisplay, NoPathEditsShowsOnlyTheCounts) {
    conf_reset();
    EXPECT_EQ(printed(path_edit_display),
              "Path Substitution: Count  0, Max  8, Entry size 77, Table size 616\n"
              "Path Delete:       Count  0, Max  8, Entry size 12, Table size  96\n");
}

TEST(PathEditDisplay, RowsFollowTheLinesWithTheirNotation) {
    Outcome outcome = configure_text(
        "substitutepath 1 WIDE1-1 1 N0CALL,WIDE1*\n"
        "deletepath * * *\n"
        "substitutepath 2 N0CALL* 3 WIDE2-2,WIDE2-2*,RELAY-0,X-15*\n"
        "deletepath 8 N0CALL-0 8\n"
        "deletepath 1 trace 2\n");
    ASSERT_EQ(outcome.code, 0) << outcome.out;
    EXPECT_EQ(printed(path_edit_display),
              "Path Substitution: Count  2, Max  8, Entry size 77, Table size 616\n"
              "Path Delete:       Count  3, Max  8, Entry size 12, Table size  96\n"
              "#  Type MIndx Match      AIndx Substitution Digi Path\n"
              "\n"
              "1   Sub   1   WIDE1-1      1   N0CALL*,WIDE1*\n"
              "2   Del   *   *            *\n"
              "3   Sub   2   N0CALL*      3   WIDE2-2,WIDE2*,RELAY*,X-15*\n"
              "4   Del   8   N0CALL-0     8\n"
              "5   Del   1   TRACE        2\n");
}

TEST(PathEditDisplay, RowNumbersBeyondNineWidenTheColumn) {
    std::string text;
    for (int i = 1; i <= 8; ++i) text += "deletepath " + std::to_string(i) + " A 1\n";
    text += "substitutepath 1 B 1 X\nsubstitutepath 2 C 2 Y\n";
    ASSERT_EQ(configure_text(text).code, 0);
    std::string shown = printed(path_edit_display);
    EXPECT_NE(shown.find("\n9   Sub   1   B            1   X*\n10  Sub   2   C            2   Y*\n"),
              std::string::npos)
        << shown;
}

}  // namespace
