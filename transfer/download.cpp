#include "transfer/download.h"

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstring>

#include "config/conf_record.h"
#include "rules/rule_record.h"
#include "serial/connection.h"
#include "serial/port.h"
#include "transfer/framing.h"

namespace {

// Command packet: length, 12-byte NUL-padded name at offset 2, 5-byte
// NUL-padded decimal size at offset 14, CRC.
constexpr uint16_t command_length = 21;
constexpr int name_offset = 2;
constexpr int name_width = 12;
constexpr int size_offset = 14;
constexpr int size_width = 5;

// Sends one command packet; `size` < 0 leaves the size field empty.
int send_command(uint8_t* packet, const char* name, int size) {
    std::memset(packet, 0, command_length);
    std::memcpy(packet + name_offset, name, std::min<size_t>(std::strlen(name), name_width - 1));
    if (size >= 0) {
        char digits[16];
        int width = std::snprintf(digits, sizeof digits, "%d", size);
        std::memcpy(packet + size_offset, digits, static_cast<size_t>(std::min(width, size_width)));
    }
    return dwn_write_pkt(packet, command_length);
}

}  // namespace

int dwn_download() {
    uint8_t packet[64];
    read_port(port_name, packet, sizeof packet, 10);  // stale input is dropped

    int result = send_command(packet, "conf", sizeof conf_record);
    if (result != command_length) {
        std::printf("\a\aError: writing Configuration command failed: %d\n", result);
        return -1;
    }
    result = dwn_write_file(&conf_record, sizeof conf_record);
    if (result != static_cast<int>(sizeof conf_record)) {
        std::printf("\a\aError: writing Configuration file failed: %d\n", result);
        return -2;
    }
    std::printf("Downloading Configuration succeeded\n");

    // The table holds 30 records whatever the count field says.
    int rules = std::min<int>(conf_record.rule_count, rule_table_size);
    int size = rules * static_cast<int>(sizeof(rule_record));
    result = send_command(packet, "rules", size);
    if (result != command_length) {
        std::printf("\a\aError: writing Rules command failed: %d\n", result);
        return -3;
    }
    if (rules > 0) {
        result = dwn_write_file(rule_table.data(), size);
        if (result != size) {
            std::printf("\a\aError: writing Rules file failed: %d\n", result);
            return -4;
        }
    }
    std::printf("Downloading Rules succeeded\n");

    result = send_command(packet, "-cestfini-", -1);
    if (result != command_length) {
        std::printf("\a\aError: error writing finish pkt: %d\n", result);
        return -5;
    }
    return 0;
}
