#include "transfer/framing.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "serial/connection.h"
#include "tests/transfer/packet_answers.h"
#include "transfer/crc16.h"

namespace {

const std::string ack = "\x06";
const std::string nak = "\x15";

struct Sent {
    int result;
    std::string out;
};

Sent send_packet(std::vector<uint8_t> packet) {
    std::strcpy(port_name, "COM3");
    testing::internal::CaptureStdout();
    int result = dwn_write_pkt(packet.data(), static_cast<uint16_t>(packet.size()));
    return {result, testing::internal::GetCapturedStdout()};
}

Sent send_image(const std::vector<uint8_t>& image, int length) {
    std::strcpy(port_name, "COM3");
    testing::internal::CaptureStdout();
    int result = dwn_write_file(image.data(), length);
    return {result, testing::internal::GetCapturedStdout()};
}

std::vector<uint8_t> counting_image(size_t length) {
    std::vector<uint8_t> image(length);
    for (size_t i = 0; i < length; ++i) image[i] = static_cast<uint8_t>(i * 7 + 1);
    return image;
}

TEST(Crc16, TableHoldsTheRemaindersOfPolynomial1021) {
    EXPECT_EQ(dwn_crc16_table[0], 0x0000);
    EXPECT_EQ(dwn_crc16_table[1], 0x1021);
    EXPECT_EQ(dwn_crc16_table[2], 0x2042);
    EXPECT_EQ(dwn_crc16_table[128], 0x9188);
    EXPECT_EQ(dwn_crc16_table[255], 0x1EF0);
}

TEST(Crc16, AugmentedRegisterFrom0xFFFFIsTheAugCcittCheckValue) {
    const uint8_t message[] = {'1', '2', '3', '4', '5', '6', '7', '8', '9', 0, 0};
    EXPECT_EQ(dwn_crc16(0xFFFF, message, sizeof message, dwn_crc16_table), 0xE5CC);
    EXPECT_EQ(dwn_crc16(0x1234, message, 0, dwn_crc16_table), 0x1234);
}

TEST(PacketFraming, SmallestPacketGoesOutAsFiveExactBytes) {
    answer_packets({});
    Sent sent = send_packet({0xAA, 0xAA, 0x41, 0xAA, 0xAA});
    EXPECT_EQ(sent.result, 5);
    EXPECT_EQ(sent.out, "");
    ASSERT_EQ(port_script::state.writes.size(), 1u);
    EXPECT_EQ(bytes_of(port_script::state.writes[0]),
              (std::vector<uint8_t>{0x00, 0x05, 0x41, 0xB6, 0x1C}));
    EXPECT_EQ(port_script::state.reads[0].size, 1);
    EXPECT_EQ(port_script::state.reads[0].timeout_ms, 5000);
}

TEST(PacketFraming, PacketAsSentChecksToZero) {
    answer_packets({});
    send_packet(counting_image(64));
    std::vector<uint8_t> wire = bytes_of(port_script::state.writes.at(0));
    EXPECT_EQ(wire[0], 0x00);
    EXPECT_EQ(wire[1], 64);
    EXPECT_EQ(dwn_crc16(0xFFFF, wire.data(), wire.size(), dwn_crc16_table), 0);
}

TEST(PacketFraming, OnlyNakRepeatsTheSameBytesAndFiveNaksGiveUp) {
    struct Case {
        const char* name;
        std::map<int, std::string> answers;
        int result;
        size_t transmissions;
        std::string out;
    };
    const Case cases[] = {
        {"NAK NAK ACK", {{0, nak}, {1, nak}}, 6, 3, ""},
        {"five NAKs", {{0, nak}, {1, nak}, {2, nak}, {3, nak}, {4, nak}}, -6, 5, ""},
        {"silence", {{0, ""}}, -4, 1, "\a\aError: reading ack or nak: 0\n"},
        {"wrong byte", {{0, "A"}}, -5, 1, "\a\aError: reading ack or nak: got 0x41\n"},
        {"NAK then high byte",
         {{0, nak}, {1, "\xc1"}},
         -5,
         2,
         "\a\aError: reading ack or nak: got 0xc1\n"},
    };
    for (const Case& c : cases) {
        answer_packets(c.answers);
        Sent sent = send_packet({0, 0, 'x', 'y', 0, 0});
        EXPECT_EQ(sent.result, c.result) << c.name;
        EXPECT_EQ(sent.out, c.out) << c.name;
        ASSERT_EQ(port_script::state.writes.size(), c.transmissions) << c.name;
        for (const std::string& w : port_script::state.writes) {
            EXPECT_EQ(w, port_script::state.writes[0]) << c.name;
        }
    }
}

TEST(PacketFraming, BadArgumentsSendNothing) {
    answer_packets({});
    Sent sent = send_packet({0, 0, 0, 0});
    EXPECT_EQ(sent.result, -2);
    EXPECT_EQ(sent.out, "dwn_write_pkt: argument len < 5\n");

    testing::internal::CaptureStdout();
    EXPECT_EQ(dwn_write_pkt(nullptr, 5), -1);
    EXPECT_EQ(dwn_write_file(nullptr, 5), -1);
    EXPECT_EQ(testing::internal::GetCapturedStdout(),
              "dwn_write_pkt: argument ptr pp is null\ndwn_write_file: argument ptr bp is null\n");

    sent = send_image(counting_image(8), 0);
    EXPECT_EQ(sent.result, -2);
    EXPECT_EQ(sent.out, "dwn_write_file: argument len < 1\n");
    sent = send_image(counting_image(8), -5);
    EXPECT_EQ(sent.result, 0);
    EXPECT_EQ(sent.out, "");
    EXPECT_TRUE(port_script::state.writes.empty());
}

TEST(PacketFraming, FailedWriteEndsThePacket) {
    answer_packets({});
    port_script::state.fail_write_at = 0;
    Sent sent = send_packet({0, 0, 'x', 0, 0});
    EXPECT_EQ(sent.result, -3);
    EXPECT_EQ(sent.out,
              "\a\aError: wrote 0 of 5, got error on port COM3: scripted failure\n"
              "\a\aError: writing pkt\n");
    EXPECT_TRUE(port_script::state.reads.empty());
}

TEST(ImageCutting, ImageGoesOutInPacketsOfSixtyPayloadBytes) {
    struct Case {
        int length;
        std::vector<size_t> packet_lengths;
    };
    std::vector<size_t> conf_lengths(15, 64);
    conf_lengths.push_back(8);
    const Case cases[] = {
        {904, conf_lengths}, {840, std::vector<size_t>(14, 64)},
        {60, {64}},          {61, {64, 5}},
        {28, {32}},          {1, {5}},
    };
    for (const Case& c : cases) {
        answer_packets({});
        std::vector<uint8_t> image = counting_image(static_cast<size_t>(c.length));
        Sent sent = send_image(image, c.length);
        EXPECT_EQ(sent.result, c.length);
        EXPECT_EQ(write_sizes(), c.packet_lengths) << c.length << " bytes";

        std::vector<uint8_t> payloads;
        for (const std::string& w : port_script::state.writes) {
            std::vector<uint8_t> wire = bytes_of(w);
            EXPECT_EQ(wire[0] * 256 + wire[1], static_cast<int>(wire.size()));
            EXPECT_EQ(dwn_crc16(0xFFFF, wire.data(), wire.size(), dwn_crc16_table), 0);
            payloads.insert(payloads.end(), wire.begin() + 2, wire.end() - 2);
        }
        EXPECT_EQ(payloads, image) << c.length << " bytes";
    }
}

TEST(ImageCutting, FailedPacketStopsTheImage) {
    // The third packet is refused five times; nothing follows it.
    answer_packets({{2, nak}, {3, nak}, {4, nak}, {5, nak}, {6, nak}});
    Sent sent = send_image(counting_image(904), 904);
    EXPECT_EQ(sent.result, -3);
    EXPECT_EQ(sent.out, "\a\aError: writing data pkt: -6\n");
    EXPECT_EQ(port_script::state.writes.size(), 7u);

    answer_packets({{1, ""}});
    sent = send_image(counting_image(904), 904);
    EXPECT_EQ(sent.result, -3);
    EXPECT_EQ(sent.out, "\a\aError: reading ack or nak: 0\n\a\aError: writing data pkt: -4\n");
    EXPECT_EQ(port_script::state.writes.size(), 2u);
}

}  // namespace
