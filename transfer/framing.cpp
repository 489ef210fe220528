#include "transfer/framing.h"

#include <algorithm>
#include <cstdio>
#include <cstring>

#include "serial/connection.h"
#include "serial/port.h"
#include "transfer/crc16.h"

namespace {

constexpr int max_transmissions = 5;

// The CRC runs over the whole packet with its CRC field zeroed, so that the
// device can check a packet by running the same CRC over all of it.
void frame_packet(uint8_t* pp, uint16_t len) {
    pp[0] = static_cast<uint8_t>(len >> 8);
    pp[1] = static_cast<uint8_t>(len);
    pp[len - 2] = 0;
    pp[len - 1] = 0;
    uint16_t crc = dwn_crc16(0xFFFF, pp, len, dwn_crc16_table);
    pp[len - 2] = static_cast<uint8_t>(crc >> 8);
    pp[len - 1] = static_cast<uint8_t>(crc);
}

}  // namespace

int dwn_write_pkt(uint8_t* pp, uint16_t len) {
    if (pp == nullptr) {
        std::printf("dwn_write_pkt: argument ptr pp is null\n");
        return -1;
    }
    if (len < 5) {
        std::printf("dwn_write_pkt: argument len < 5\n");
        return -2;
    }
    frame_packet(pp, len);

    for (int transmission = 0; transmission < max_transmissions; ++transmission) {
        if (write_port(port_name, pp, len) <= 0) {
            std::printf("\a\aError: writing pkt\n");
            return -3;
        }
        uint8_t answer = 0;
        int got = read_port(port_name, &answer, 1, dwn_answer_timeout_ms);
        if (got != 1) {
            std::printf("\a\aError: reading ack or nak: %d\n", got);
            return -4;
        }
        if (answer == dwn_ack) return len;
        if (answer != dwn_nak) {
            std::printf("\a\aError: reading ack or nak: got 0x%02x\n", answer);
            return -5;
        }
    }
    return -6;
}

int dwn_write_file(const void* bp, int len) {
    if (bp == nullptr) {
        std::printf("dwn_write_file: argument ptr bp is null\n");
        return -1;
    }
    if (len == 0) {
        std::printf("dwn_write_file: argument len < 1\n");
        return -2;
    }
    const auto* image = static_cast<const uint8_t*>(bp);
    uint8_t packet[2 + dwn_max_payload + 2];
    int sent = 0;
    while (sent < len) {
        int chunk = std::min(dwn_max_payload, len - sent);
        std::memcpy(packet + 2, image + sent, static_cast<size_t>(chunk));
        int result = dwn_write_pkt(packet, static_cast<uint16_t>(chunk + 4));
        if (result != chunk + 4) {
            std::printf("\a\aError: writing data pkt: %d\n", result);
            return -3;
        }
        sent += chunk;
    }
    return sent;
}
