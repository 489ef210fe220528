#pragma once

#include <cstdint>
#include <string>

#include "transfer/crc16.h"

// Download packets as the host frames them, with the host's own CRC: the
// simulator's check of them is also a check of the two CRCs against each other.

inline const std::string ack = "\x06";
inline const std::string nak = "\x15";

inline std::string packet(const std::string& body) {
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

// A command packet: the name field (12 bytes) and the size field (5 bytes),
// each NUL-padded.
inline std::string command(const std::string& name, const std::string& size) {
    std::string body = name + std::string(12 - name.size(), '\0');
    return packet(body + size + std::string(5 - size.size(), '\0'));
}

inline std::string image(size_t length, int seed) {
    std::string bytes;
    for (size_t i = 0; i < length; ++i) bytes += static_cast<char>(i * 11 + seed);
    return bytes;
}

// A configuration record of `rules` rules, its other bytes made up.
inline std::string conf_image(int rules) {
    std::string conf = image(904, 1);
    conf[68] = static_cast<char>(rules);
    conf[69] = 0;
    return conf;
}

// The image as data packets of `chunk` payload bytes, the last one the rest.
inline std::string data_packets(const std::string& bytes, size_t chunk = 60) {
    std::string packets;
    for (size_t at = 0; at < bytes.size(); at += chunk) packets += packet(bytes.substr(at, chunk));
    return packets;
}
