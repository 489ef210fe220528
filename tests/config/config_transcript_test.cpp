#include <gtest/gtest.h>

#include <string>

#include "tests/support/transcript.h"

namespace {

const std::string prompt = "Command> ";
const std::string failed = "\a\aError: Configuration processing failed\n";

std::string bad(const char* name) { return std::string("tests/config/files/bad/") + name; }

TEST(ConfigTranscript, ConfigureReportsSuccessOrTheFirstFaultyLine) {
    struct Step {
        std::string command;
        std::string out;
    };
    const std::string b = "tests/config/files/bad/";
    const Step steps[] = {
        {"configure examples/site.cfg", "Configuration items processed 24\n"},
        {"conf " + b + "long_bcomment.cfg",
         "\a\aWarning: Truncating Beacon Comment to 43 chars\nConfiguration items processed 1\n"},
        {"configure", "\a\aError: missing argument: file_name\n"},
        {"configure tests/config/files/none.cfg", "\a\aError: cannot open tests/config/files/none.cfg\n" + failed},
        {"configure tests/config/files", "\a\aError: cannot open tests/config/files\n" + failed},
        {"configure " + b + "unknown_keyword.cfg",
         "\a\aError: " + b + "unknown_keyword.cfg[2]: command frobnicate invalid: frobnicate 1\n" + failed},
        {"configure " + b + "ambiguous_keyword.cfg",
         "\a\aError: " + b + "ambiguous_keyword.cfg[1]: Ambiguous command: h: h 9600\n" + failed},
        {"configure " + b + "missing_argument.cfg",
         "\a\aError: " + b + "missing_argument.cfg[1]: missing Call Sign argument: call\n" + failed},
        {"configure " + b + "argument_after_comment.cfg",
         "\a\aError: " + b + "argument_after_comment.cfg[1]: missing SSID argument: ssid # 5\n" + failed},
        {"configure " + b + "value_out_of_range.cfg",
         "\a\aError: " + b +
             "value_out_of_range.cfg[1]: invalid seconds argument range [0, 10..65535]: 9: beacon 9\n" + failed},
        {"configure " + b + "baud_zero.cfg",
         "get_baud: Error: invalid baud: 0\n\a\aError: " + b + "baud_zero.cfg[1]: invalid Baud argument: 0: host 0\n" +
             failed},
        {"configure " + b + "bad_angle.cfg",
         "\a\aInternal Error: pointer mismatch\n\a\aError: " + b +
             "bad_angle.cfg[1]: invalid Station Latitude argument: 45d30: position 45d30 -73d\n" + failed},
        {"configure " + b + "bad_icon.cfg",
         "\a\aError: " + b + "bad_icon.cfg[1]: Icon Symbol ID must be one of / \\ 0..9 a..j A..Z: icon k#\n" + failed},
        {"configure " + b + "digipath_entry_too_long.cfg",
         "\a\aError: " + b +
             "digipath_entry_too_long.cfg[1]: Digi Path[3]: VERYLONGDIGI exceeds length 8: "
             "digipath WIDE1-1,WIDE2-2,VERYLONGDIGI\n" +
             failed},
        {"configure " + b + "path_edit_too_many.cfg",
         "\a\aError: " + b +
             "path_edit_too_many.cfg[1]: Digi Substitution Index (7) and Number of Substitution Digis (3) "
             "exceeds Maximum (8)\nsubstitutepath 7 N0CALL 7 A,B,C\n" +
             failed},
        {"configure " + b + "path_edit_duplicate.cfg",
         "\a\aError: " + b + "path_edit_duplicate.cfg[2]: Duplicate Path Delete at entry 1\n" + failed},
    };
    std::string script;
    std::string expected = start_text();
    for (const Step& step : steps) {
        script += step.command + "\n";
        expected += prompt + step.out;
    }
    expected += prompt + "\n";
    RunResult run = run_console(script);
    EXPECT_OUTPUT(expected, run.out);
    EXPECT_EQ(run.status, 1);
}

const std::string default_report =
    "Configuration Version 2.83b\n"
    "Station Call\tNOTSET\tSSID 0\t\tRun Mode On\n"
    "Base Lat  44.475899\tLon   -73.21210    Altitude 0 meters\n"
    "Host baud\t19200\n"
    "GPS  baud\t9600\n"
    "TNC  baud\t19200\n"
    "WIDE Max 3\tWIDE Total 6\n"
    "Dupe Window 28 sec.\tCall Rate Limit 0 sec.\n"
    "Beacon 600 sec.\tIcon /#\n"
    "Beacon Comment: \n"
    "Control Call: \n"
    "NSR: Disabled\tRelay Drop: Disabled\n"
    "Digi Path[0]: \n"
    "Log Port: Yes\n"
    "UITrace: No\tHave GPS: No\n"
    "Fix Valid: Yes\tPass packets without valid position: No\n"
    "Halt On Error: No\tDrop Mangled Packet: Yes\n"
    "Rule count 0\tImplicit Rule Action: ?\n";

const std::string site_report =
    "Configuration Version 2.83b\n"
    "Station Call\tN0CALL\tSSID 10\t\tRun Mode On\n"
    "Base Lat  43.601944\tLon   -72.98000    Altitude 381 meters\n"
    "Host baud\t19200\n"
    "GPS  baud\t4800\n"
    "TNC  baud\t9600\n"
    "WIDE Max 2\tWIDE Total 3\n"
    "Dupe Window 30 sec.\tCall Rate Limit 5 sec.\n"
    "Beacon 1200 sec.\tIcon /#\n"
    "Beacon Comment: Hilltop fill-in digi, 146.390 MHz\n"
    "Control Call: N0CALL-9\n"
    "NSR: Disabled\tRelay Drop: Disabled\n"
    "Digi Path[2]: WIDE1-1,WIDE2-1\n"
    "Log Port: Yes\n"
    "UITrace: No\tHave GPS: No\n"
    "Fix Valid: Yes\tPass packets without valid position: Yes\n"
    "Halt On Error: No\tDrop Mangled Packet: Yes\n"
    "Rule count 0\tImplicit Rule Action: Pass\n";

TEST(ConfigTranscript, DconfigureShowsTheDefaultsThenTheParsedFile) {
    RunResult run = run_console("dconfigure\nconfigure examples/site.cfg\ndc\n");
    EXPECT_OUTPUT(start_text() + prompt + default_report + prompt + "Configuration items processed 24\n" + prompt +
                      site_report + prompt + "\n",
                  run.out);
}

TEST(ConfigTranscript, DconfigureAfterAFailedParseShowsThePartialRecord) {
    RunResult run = run_console("configure examples/site.cfg\nconfigure " + bad("baud_zero.cfg") + "\ndc\n");
    std::string partial = default_report;
    partial.replace(partial.find("Action: ?"), 9, "Action: Pass");
    EXPECT_OUTPUT(start_text() + prompt + "Configuration items processed 24\n" + prompt +
                      "get_baud: Error: invalid baud: 0\n\a\aError: " + bad("baud_zero.cfg") +
                      "[1]: invalid Baud argument: 0: host 0\n" + failed + prompt + partial + prompt + "\n",
                  run.out);
}

TEST(ConfigTranscript, DeditpathShowsThePathEditsOfTheSiteFile) {
    RunResult run = run_console("deditpath\nconfigure examples/site.cfg\nde\n");
    EXPECT_OUTPUT(start_text() + prompt +
                      "Path Substitution: Count  0, Max  8, Entry size 77, Table size 616\n"
                      "Path Delete:       Count  0, Max  8, Entry size 12, Table size  96\n" +
                      prompt + "Configuration items processed 24\n" + prompt +
                      "Path Substitution: Count  1, Max  8, Entry size 77, Table size 616\n"
                      "Path Delete:       Count  2, Max  8, Entry size 12, Table size  96\n"
                      "#  Type MIndx Match      AIndx Substitution Digi Path\n"
                      "\n"
                      "1   Sub   1   WIDE1-1      1   N0CALL*,WIDE1*\n"
                      "2   Del   *   RELAY        *\n"
                      "3   Del   *   TRACE*       *\n" +
                      prompt + "\n",
                  run.out);
}

}  // namespace
