#include "sim/download_receiver.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <fstream>
#include <iterator>
#include <string>

#include "config/conf_record.h"
#include "rules/rule_record.h"
#include "tests/sim/scripted_line.h"
#include "tests/transfer/temp_file.h"
#include "transfer/crc16.h"

namespace {

const std::string ack = "\x06";
const std::string nak = "\x15";

std::string repeat(const std::string& text, int times) {
    std::string all;
    for (int i = 0; i < times; ++i) all += text;
    return all;
}

// A download packet as the host frames it.
std::string packet(const std::string& body) {
    std::string framed(2, '\0');
    framed += body;
    framed += std::string(2, '\0');
    size_t length = framed.size();
    framed[0] = static_cast<char>(length >> 8);
    framed[1] = static_cast<char>(length);
    uint16_t crc =
        dwn_crc16(0xFFFF, reinterpret_cast<const uint8_t*>(framed.data()), length, dwn_crc16_table);
    framed[length - 2] = static_cast<char>(crc >> 8);
    framed[length - 1] = static_cast<char>(crc);
    return framed;
}

std::string command(const std::string& name, const std::string& size) {
    std::string body = name + std::string(12 - name.size(), '\0');
    return packet(body + size + std::string(5 - size.size(), '\0'));
}

std::string image(size_t length, int seed) {
    std::string bytes;
    for (size_t i = 0; i < length; ++i) bytes += static_cast<char>(i * 11 + seed);
    return bytes;
}

// The image as data packets of at most 60 payload bytes.
std::string data_packets(const std::string& bytes) {
    std::string packets;
    for (size_t at = 0; at < bytes.size(); at += 60) packets += packet(bytes.substr(at, 60));
    return packets;
}

TEST(DownloadReceiver, KeepsAndSavesWhatTheCommandsAnnounce) {
    const std::string conf = image(904, 3);
    struct Case {
        int rules;
        std::string size;
    };
    for (const Case& c : {Case{0, "0"}, Case{2, "56"}, Case{30, "840"}}) {
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
        EXPECT_TRUE(sim::run_download_receiver(line, options)) << c.rules;
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
        EXPECT_TRUE(sim::run_download_receiver(line, {})) << c.what;
        EXPECT_EQ(line.written(), nak + ack) << c.what;
    }
}

TEST(DownloadReceiver, PacketsOutOfTheDialogueAreRefused) {
    struct Case {
        const char* what;
        std::string first;
    };
    const Case cases[] = {
        {"data before any command", packet("abc")},
        {"unknown command", command("config", "904")},
        {"configuration of another size", command("conf", "903")},
        {"rules not a multiple of 28", command("rules", "29")},
        {"more rules than the table holds", command("rules", "868")},
        {"size with a sign", command("rules", "+28")},
        {"finish with a size", command("-cestfini-", "0")},
    };
    for (const Case& c : cases) {
        ScriptedLine line;
        line.send(c.first + command("-cestfini-", ""));
        EXPECT_TRUE(sim::run_download_receiver(line, {})) << c.what;
        EXPECT_EQ(line.written(), nak + ack) << c.what;
    }

    ScriptedLine line;
    line.send(command("rules", "28") + packet(image(30, 1)) + packet(image(28, 1)) +
              command("-cestfini-", ""));
    EXPECT_TRUE(sim::run_download_receiver(line, {}));
    EXPECT_EQ(line.written(), ack + nak + ack + ack);
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

TEST(DownloadReceiver, SummaryShowsTheReceivedRecordAndRulesAsTheConsoleWould) {
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
    std::string conf(reinterpret_cast<const char*>(&sent), sizeof sent);
    std::string rules(reinterpret_cast<const char*>(&rule), sizeof rule);
    ScriptedLine line;
    line.send(command("conf", "904") + data_packets(conf) + command("rules", "28") +
              data_packets(rules) + command("-cestfini-", ""));
    sim::DownloadOptions options;
    options.summary = true;
    testing::internal::CaptureStdout();
    EXPECT_TRUE(sim::run_download_receiver(line, options));
    std::string shown = testing::internal::GetCapturedStdout();
    for (const char* part : {
             "Download received: configuration record 904 bytes, rule records 28 bytes\n",
             "Station Call\tN0CALL\tSSID 0",
             "Digi Path[2]: WIDE1-1,WIDE2-2\n",
             "Rule count 1\tImplicit Rule Action: Drop\n",
             "Path Delete:       Count  0",
             "Rule count 1 plus Implicit\n",
             "1  Pass    10  destin    APRS*   \n",
         }) {
        EXPECT_NE(shown.find(part), std::string::npos) << part << "\nin:\n" << shown;
    }
}

}  // namespace
