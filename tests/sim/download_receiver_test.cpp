#include "sim/download_receiver.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "config/conf_record.h"
#include "rules/rule_record.h"
#include "sim/crc16.h"
#include "sim/log.h"
#include "tests/sim/packets.h"
#include "tests/sim/scripted_line.h"
#include "tests/transfer/temp_file.h"

namespace {

std::string repeat(const std::string& text, int times) {
    std::string all;
    for (int i = 0; i < times; ++i) all += text;
    return all;
}

TEST(DownloadReceiver, KeepsAndSavesWhatTheCommandsAnnounce) {
    struct Case {
        int rules;
        std::string size;
    };
    for (const Case& c : {Case{0, "0"}, Case{2, "56"}, Case{30, "840"}}) {
        const std::string conf = conf_image(c.rules);
        const std::string rules = image(static_cast<size_t>(c.rules) * 28, 7);
        std::string packets = command("conf", "904") + data_packets(conf) +
                              command("rules", c.size) + data_packets(rules) +
                              command("-cestfini-", "");
        ScriptedLine line;
        line.send(packets);
        TempFile saved_conf("conf.bin");
        TempFile saved_rules("rules.bin");
        sim::DownloadOptions options;
        options.save_conf = saved_conf.path();
        options.save_rules = saved_rules.path();
        sim::forget_violations();
        EXPECT_TRUE(sim::run_download_receiver(line, options)) << c.rules;
        EXPECT_EQ(sim::violation_count(), 0) << c.rules;
        int count = 1 + 16 + 1 + (c.rules * 28 + 59) / 60 + 1;
        EXPECT_EQ(line.written(), repeat(ack, count)) << c.rules;
        EXPECT_EQ(saved_conf.read(), conf);
        EXPECT_EQ(saved_rules.read(), rules);
    }
}

TEST(DownloadReceiver, DamagedPacketsAreRefusedWithNak) {
    std::string good = command("-cestfini-", "");
    std::string bad_crc = good;
    bad_crc[5] ^= 0x01;
    struct Case {
        const char* what;
        std::string damaged;
        bool pause;
    };
    const Case cases[] = {
        {"bad CRC", bad_crc, false},
        {"length below 5", std::string("\x00\x04\x41\x42", 4), true},
        {"length above 64", std::string("\x00\x41", 2) + std::string(63, 'x'), true},
        {"cut short", good.substr(0, 10), true},
    };
    for (const Case& c : cases) {
        ScriptedLine line;
        line.send(c.damaged);
        if (c.pause) line.pause();
        line.send(good);
        sim::forget_violations();
        EXPECT_FALSE(sim::run_download_receiver(line, {})) << c.what;
        EXPECT_EQ(line.written(), nak + nak) << c.what;
        EXPECT_EQ(sim::violation_count(), 2) << c.what;
    }
}

// A host that gives the download up talks to the console again, beginning
// with the interrupt, which never begins a packet.
TEST(DownloadReceiver, InterruptBetweenPacketsLeavesForTheConsole) {
    ScriptedLine line;
    line.send(command("conf", "904") + "\x03\nversion\n");
    sim::forget_violations();
    EXPECT_FALSE(sim::run_download_receiver(line, {}));
    EXPECT_EQ(line.written(), ack);
    EXPECT_EQ(sim::violation_count(), 0);
    EXPECT_FALSE(line.finished());
}

// The worked packets: the CRC of the bytes before the CRC field, and a
// register that ends at 0 over the whole packet.
TEST(DownloadReceiver, CrcMatchesTheWorkedPackets) {
    const char* const worked[] = {
        "00 05 41 B6 1C",
        "00 15 63 6F 6E 66 00 00 00 00 00 00 00 00 39 30 34 00 00 69 8C",
        "00 15 72 75 6C 65 73 00 00 00 00 00 00 00 30 00 00 00 00 E6 AA",
        "00 15 72 75 6C 65 73 00 00 00 00 00 00 00 38 34 30 00 00 C7 3A",
        "00 15 2D 63 65 73 74 66 69 6E 69 2D 00 00 00 00 00 00 00 5D CF",
    };
    for (const char* text : worked) {
        std::vector<uint8_t> sent;
        for (const char* at = text; *at != '\0'; at += at[2] == ' ' ? 3 : 2) {
            sent.push_back(static_cast<uint8_t>(std::stoi(std::string(at, 2), nullptr, 16)));
        }
        size_t length = sent.size();
        uint16_t crc = static_cast<uint16_t>(sent[length - 2] << 8 | sent[length - 1]);
        EXPECT_EQ(sim::crc16_feed(0xFFFF, sent.data(), length), 0) << text;
        sent[length - 2] = sent[length - 1] = 0;
        EXPECT_EQ(sim::crc16_feed(0xFFFF, sent.data(), length), crc) << text;
    }
}

TEST(DownloadReceiver, FaultOptionsActOnTheNumberedPacket) {
    const std::string conf = command("conf", "904");
    const std::string first_data = packet(image(60, 1));
    sim::DownloadOptions options;
    options.nak_packet = 2;
    options.nak_times = 3;
    ScriptedLine line;
    line.send(conf + repeat(first_data, 4));
    EXPECT_FALSE(sim::run_download_receiver(line, options));
    EXPECT_EQ(line.written(), ack + nak + nak + nak + ack);

    options = {};
    options.silent_packet = 2;
    line = ScriptedLine();
    line.send(conf + first_data);
    EXPECT_FALSE(sim::run_download_receiver(line, options));
    EXPECT_EQ(line.written(), ack);

    options = {};
    options.wrong_packet = 1;
    options.wrong_byte = 0xC1;
    line = ScriptedLine();
    line.send(conf);
    EXPECT_FALSE(sim::run_download_receiver(line, options));
    EXPECT_EQ(line.written(), "\xc1");

    options = {};
    options.hang_up_packet = 2;
    line = ScriptedLine();
    line.send(conf + first_data + first_data);
    EXPECT_FALSE(sim::run_download_receiver(line, options));
    EXPECT_EQ(line.written(), ack);
    EXPECT_TRUE(line.cut());
}

}  // namespace

namespace {

std::string summary_of(const std::string& conf, const std::string& rules) {
    ScriptedLine line;
    line.send(command("conf", "904") + data_packets(conf) +
              command("rules", std::to_string(rules.size())) + data_packets(rules) +
              command("-cestfini-", ""));
    sim::DownloadOptions options;
    options.summary = true;
    testing::internal::CaptureStdout();
    EXPECT_TRUE(sim::run_download_receiver(line, options));
    return testing::internal::GetCapturedStdout();
}

// The summary decodes the record by its wire layout, and shows a text field
// that holds no terminator within its width, never the bytes after it.
TEST(DownloadReceiver, SummaryShowsEveryFieldWithinItsWidth) {
    conf_layout sent = conf_defaults;
    std::memcpy(sent.call, "N0CALL", 7);
    std::memcpy(sent.digipath[0], "WIDE1-1", 8);
    std::memcpy(sent.digipath[1], "WIDE2-2", 8);
    sent.implicit_action = implicit_drop;
    sent.rule_count = 1;
    rule_record rule{};
    std::memcpy(rule.slot[0], "APRS", 4);
    rule.rule_type = '5';
    rule.mods = 0x18;  // pass, prefix
    rule.line = 3;
    std::string unterminated(904, 'A');
    unterminated[68] = 1;
    unterminated[69] = 0;
    conf_layout odd_call = conf_defaults;
    std::memcpy(odd_call.call, "A\"\\\x01\xFF", 6);
    struct Case {
        std::string conf;
        std::string rules;
        std::vector<std::string> lines;
    };
    const Case cases[] = {
        {std::string(reinterpret_cast<const char*>(&sent), sizeof sent),
         std::string(reinterpret_cast<const char*>(&rule), sizeof rule),
         {"\nDownload received: configuration record 904 bytes, rule records 28 bytes\n",
          "\n  host_baud       19200\n", "\n  altitude        0\n",
          "\n  call            \"N0CALL\"\n", "\n  icon            0x2F23\n",
          "\n  implicit_action 0x0064\n", "\n  rule_count      1\n",
          "\n  digipath        [0] \"WIDE1-1\" [1] \"WIDE2-2\"\n", "\n  bcomment        \"\"\n",
          "\n  rule 1  line 3     pass mods 0x18 destin call \"APRS\" ssid 0\n"}},
        {unterminated,
         std::string(28, 'A'),
         {"\n  call            \"AAAAAAAA\"\n",
          "\n  bcomment        \"" + std::string(44, 'A') + "\"\n",
          "\n  controlcall     \"AAAAAAAAAA\"\n",
          "\n  path_edits[15]   call \"AAAAAAA\" ssid_octet 0x41 match 65 action 65 subst 65 "
          "flags 0x41\n",
          "\n  subst_paths[7]  count 65: \"AAAAAAA\"-0 \"AAAAAAA\"-0",
          "\n  rule 1  line 16705 ?    mods 0x41 type 0x41, parameters 41 41"}},
        {std::string(reinterpret_cast<const char*>(&odd_call), sizeof odd_call),
         "",
         {"\n  call            \"A\\x22\\x5C\\x01\\xFF\"\n", "\nRule records:\n  none\n"}},
    };
    for (const Case& c : cases) {
        std::string shown = summary_of(c.conf, c.rules);
        for (const std::string& part : c.lines) {
            EXPECT_NE(shown.find(part), std::string::npos) << part << "\nin:\n" << shown;
        }
    }
}

}  // namespace
