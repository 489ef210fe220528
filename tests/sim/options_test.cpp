#include "sim/options.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

sim::ParseResult parse(std::vector<std::string> arguments, sim::Options& options) {
    arguments.insert(arguments.begin(), "vestrimond-sim");
    std::vector<char*> argv;
    for (std::string& argument : arguments) argv.push_back(argument.data());
    testing::internal::CaptureStderr();
    sim::ParseResult result =
        sim::parse_options(static_cast<int>(argv.size()), argv.data(), options);
    testing::internal::GetCapturedStderr();
    return result;
}

TEST(SimOptions, EveryOptionReachesItsField) {
    sim::Options o;
    ASSERT_EQ(parse({"--link",
                     "/tmp/com1",
                     "--version=3.1",
                     "--banner",
                     "a\\r\\n\\x05\\\\",
                     "--baud",
                     "57600",
                     "--silent",
                     "--no-baud-prompt",
                     "--ignore-command",
                     "serialtest",
                     "--vanish-on-reset",
                     "--echo-stop-after",
                     "70",
                     "--echo-corrupt",
                     "0x02",
                     "--verbose",
                     "--save-conf",
                     "c.bin",
                     "--save-rules",
                     "r.bin",
                     "--nak",
                     "2:3",
                     "--silent-packet",
                     "4",
                     "--wrong-answer",
                     "5:0x41",
                     "--hang-up-at-packet=6",
                     "--save-firmware",
                     "fw.txt",
                     "--no-loader-prompt",
                     "--no-sync-ack",
                     "--no-ident-ack",
                     "--hang-up-at-record",
                     "9",
                     "--loader-answers",
                     "3:0x12,none,18",
                     "--loader-answers",
                     "7:0x17",
                     "--slow-loader",
                     "900:5",
                     "--pace",
                     "--noise",
                     "0.001:42",
                     "--drop=1e-4",
                     "--latency",
                     "16",
                     "--ignore-host-rate",
                     "--record-from-host",
                     "from.bin",
                     "--record-to-host=to.bin"},
                    o),
              sim::ParseResult::run);
    EXPECT_EQ(o.link, "/tmp/com1");
    EXPECT_EQ(o.version, "3.1");
    EXPECT_EQ(o.banner, "a\r\n\x05\\");
    EXPECT_EQ(o.baud, 57600);
    EXPECT_TRUE(o.silent);
    EXPECT_TRUE(o.no_baud_prompt);
    EXPECT_EQ(o.ignored_command, "serialtest");
    EXPECT_TRUE(o.vanish_on_reset);
    EXPECT_EQ(o.echo_stop_after, 70);
    EXPECT_EQ(o.echo_corrupt, 2);
    EXPECT_TRUE(o.verbose);
    EXPECT_EQ(o.download.save_conf, "c.bin");
    EXPECT_EQ(o.download.save_rules, "r.bin");
    EXPECT_EQ(o.download.nak_packet, 2);
    EXPECT_EQ(o.download.nak_times, 3);
    EXPECT_EQ(o.download.silent_packet, 4);
    EXPECT_EQ(o.download.wrong_packet, 5);
    EXPECT_EQ(o.download.wrong_byte, 0x41);
    EXPECT_EQ(o.download.hang_up_packet, 6);
    EXPECT_EQ(o.loader.save_records, "fw.txt");
    EXPECT_TRUE(o.loader.no_prompt);
    EXPECT_TRUE(o.loader.no_sync_ack);
    EXPECT_TRUE(o.loader.no_ident_ack);
    EXPECT_EQ(o.loader.hang_up_record, 9);
    using Answers = std::vector<std::pair<int, std::vector<int>>>;
    EXPECT_EQ(o.loader.record_answers, (Answers{{3, {0x12, -1, 18}}, {7, {0x17}}}));
    EXPECT_EQ(o.loader.slow_answer_ms, 900);
    EXPECT_EQ(o.loader.slow_seed, 5u);
    EXPECT_TRUE(o.line.pace);
    EXPECT_EQ(o.line.noise.probability, 0.001);
    EXPECT_EQ(o.line.noise.seed, 42u);
    EXPECT_EQ(o.line.drop.probability, 1e-4);
    EXPECT_EQ(o.line.drop.seed, sim::FaultRate{}.seed);
    EXPECT_EQ(o.line.latency_ms, 16);
    EXPECT_TRUE(o.line.ignore_host_rate);
    EXPECT_EQ(o.record_from_host, "from.bin");
    EXPECT_EQ(o.record_to_host, "to.bin");
}

TEST(SimOptions, MistakesAreRefused) {
    const std::vector<std::vector<std::string>> mistakes = {
        {"--bogus"},
        {"--link"},           // value missing
        {"--silent=yes"},     // flag with a value
        {"--baud", "12345"},  // not a rate of the port layer
        {"--baud", "0"},
        {"--echo-stop-after", "-1"},
        {"--echo-corrupt", "3x"},
        {"--nak", "3"},  // N:K
        {"--nak", "x:2"},
        {"--wrong-answer", "2:0x100"},  // not a byte
        {"--loader-answers", "0:6"},    // records count from 1
        {"--loader-answers", "2:6,,7"},
        {"--loader-answers", "2"},
        {"--slow-loader", "0"},
        {"--slow-loader", "500:"},
        {"--slow-loader", "500:x"},
        {"--banner", "bad \\q escape"},
        {"--banner", "short \\x4"},
        {"--vanish-on-reset"},  // without --link there is nothing to remove
        {"--ignore-command", ""},
        {"--hang-up-at-packet", "-2"},
        {"--hang-up-at-record", "x"},
        {"--pace=yes"},
        {"--noise", "1.5"},  // not a probability
        {"--noise", "-0.1"},
        {"--noise", "x"},
        {"--drop", "0.1:"},  // seed missing
        {"--drop", "0.1:x"},
        {"--drop", "0.1;7"},
        {"--latency", "256"},  // an adapter's timer is a byte
        {"--latency", "-1"},
    };
    for (const std::vector<std::string>& mistake : mistakes) {
        sim::Options options;
        EXPECT_EQ(parse(mistake, options), sim::ParseResult::error) << mistake[0];
    }
    sim::Options options;
    EXPECT_EQ(parse({"--silent", "--help"}, options), sim::ParseResult::help);
}

}  // namespace
