#include "transfer/download.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "config/conf_record.h"
#include "rules/rule_record.h"
#include "serial/connection.h"
#include "tests/transfer/packet_answers.h"

namespace {

const std::vector<uint8_t> conf_command = {0x00, 0x15, 0x63, 0x6F, 0x6E, 0x66, 0x00,
                                           0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00,
                                           0x39, 0x30, 0x34, 0x00, 0x00, 0x69, 0x8C};
const std::vector<uint8_t> no_rules_command = {0x00, 0x15, 0x72, 0x75, 0x6C, 0x65, 0x73,
                                               0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00,
                                               0x30, 0x00, 0x00, 0x00, 0x00, 0xE6, 0xAA};
const std::vector<uint8_t> thirty_rules_command = {0x00, 0x15, 0x72, 0x75, 0x6C, 0x65, 0x73,
                                                   0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00,
                                                   0x38, 0x34, 0x30, 0x00, 0x00, 0xC7, 0x3A};
const std::vector<uint8_t> finish_command = {0x00, 0x15, 0x2D, 0x63, 0x65, 0x73, 0x74,
                                             0x66, 0x69, 0x6E, 0x69, 0x2D, 0x00, 0x00,
                                             0x00, 0x00, 0x00, 0x00, 0x00, 0x5D, 0xCF};

const std::string both_succeeded =
    "Downloading Configuration succeeded\nDownloading Rules succeeded\n";

struct Download {
    int result;
    std::string out;
};

// A configuration record and rule table whose every byte differs from its
// neighbours, with `rules` rules counted.
void prepare_images(uint16_t rules) {
    conf_reset();
    conf_record.rule_count = rules;
    auto* table = reinterpret_cast<uint8_t*>(rule_table.data());
    for (size_t i = 0; i < sizeof rule_table; ++i) table[i] = static_cast<uint8_t>(i * 13 + 5);
}

Download download(std::map<int, std::string> answers) {
    answer_packets(std::move(answers));
    std::strcpy(port_name, "COM3");
    testing::internal::CaptureStdout();
    int result = dwn_download();
    return {result, testing::internal::GetCapturedStdout()};
}

std::vector<uint8_t> image_bytes(const void* image, size_t count) {
    const auto* bytes = static_cast<const uint8_t*>(image);
    return std::vector<uint8_t>(bytes, bytes + count);
}

std::vector<uint8_t> payloads(size_t from, size_t count) {
    std::vector<uint8_t> joined;
    for (size_t i = from; i < from + count; ++i) {
        const std::string& w = port_script::state.writes.at(i);
        joined.insert(joined.end(), w.begin() + 2, w.end() - 2);
    }
    return joined;
}

TEST(Download, SendsConfigurationRulesAndFinishInOrder) {
    struct Case {
        uint16_t rule_count;
        const std::vector<uint8_t>* rules_command;
        size_t rule_packets;
        size_t rule_bytes;
    };
    const Case cases[] = {
        {0, &no_rules_command, 0, 0},
        {1, nullptr, 1, 28},
        {30, &thirty_rules_command, 14, 840},
        {31, &thirty_rules_command, 14, 840},  // the table holds no more than 30
    };
    for (const Case& c : cases) {
        prepare_images(c.rule_count);
        Download run = download({});
        EXPECT_EQ(run.result, 0);
        EXPECT_EQ(run.out, both_succeeded);
        const auto& writes = port_script::state.writes;
        ASSERT_EQ(writes.size(), 1 + 16 + 1 + c.rule_packets + 1) << c.rule_count << " rules";

        EXPECT_EQ(port_script::state.reads[0].size, 64);
        EXPECT_EQ(port_script::state.reads[0].timeout_ms, 10);
        EXPECT_EQ(bytes_of(writes[0]), conf_command);
        EXPECT_EQ(payloads(1, 16), image_bytes(&conf_record, sizeof conf_record));
        if (c.rules_command != nullptr) {
            EXPECT_EQ(bytes_of(writes[17]), *c.rules_command);
        }
        EXPECT_EQ(payloads(18, c.rule_packets), image_bytes(rule_table.data(), c.rule_bytes));
        EXPECT_EQ(bytes_of(writes.back()), finish_command);
    }
    prepare_images(1);
    download({});
    EXPECT_EQ(port_script::state.writes[17].substr(14, 5), std::string("28\0\0\0", 5));
    EXPECT_EQ(port_script::state.writes[18].size(), 32u);
}

TEST(Download, NakOnTheConfCommandIsRepeatedAndTheDownloadGoesOn) {
    prepare_images(0);
    Download run = download({{0, "\x15"}});
    EXPECT_EQ(run.result, 0);
    EXPECT_EQ(run.out, both_succeeded);
    EXPECT_EQ(port_script::state.writes[0], port_script::state.writes[1]);
    EXPECT_EQ(port_script::state.writes.size(), 2u + 16 + 2);
}

TEST(Download, FailedStepEndsTheDownloadWithItsCode) {
    struct Case {
        const char* step;
        std::map<int, std::string> answers;
        int result;
        std::string out;
        size_t writes;
    };
    // Writes with 2 rules: 0 conf, 1..16 record, 17 rules, 18 rule data, 19 finish.
    const Case cases[] = {
        {"conf command",
         {{0, ""}},
         -1,
         "\a\aError: reading ack or nak: 0\n"
         "\a\aError: writing Configuration command failed: -4\n",
         1},
        {"configuration record",
         {{3, "A"}},
         -2,
         "\a\aError: reading ack or nak: got 0x41\n\a\aError: writing data pkt: -5\n"
         "\a\aError: writing Configuration file failed: -3\n",
         4},
        {"rules command",
         {{17, "?"}},
         -3,
         "Downloading Configuration succeeded\n\a\aError: reading ack or nak: got 0x3f\n"
         "\a\aError: writing Rules command failed: -5\n",
         18},
        {"rule records",
         {{18, ""}},
         -4,
         "Downloading Configuration succeeded\n\a\aError: reading ack or nak: 0\n"
         "\a\aError: writing data pkt: -4\n\a\aError: writing Rules file failed: -3\n",
         19},
        {"finish packet",
         {{19, ""}},
         -5,
         both_succeeded +
             "\a\aError: reading ack or nak: 0\n\a\aError: error writing finish pkt: -4\n",
         20},
    };
    for (const Case& c : cases) {
        prepare_images(2);
        Download run = download(c.answers);
        EXPECT_EQ(run.result, c.result) << c.step;
        EXPECT_EQ(run.out, c.out) << c.step;
        EXPECT_EQ(port_script::state.writes.size(), c.writes) << c.step;
    }
}

}  // namespace
