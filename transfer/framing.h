#pragma once

#include <cstdint>

// Download packets: a 2-byte big-endian length L of the whole packet, the body,
// and a 2-byte big-endian CRC-16 (transfer/crc16.h). The device answers every
// transmission with one byte, ACK or NAK.

inline constexpr uint8_t dwn_ack = 0x06;
inline constexpr uint8_t dwn_nak = 0x15;
inline constexpr int dwn_max_payload = 60;  // data packets are at most 64 bytes
inline constexpr int dwn_answer_timeout_ms = 5000;

// Frames the packet in place (length and CRC around the body at offsets
// 2..len-3), sends it on the open port and waits for the answer; a NAK sends
// the same bytes again, five transmissions at most. Returns len on ACK, else
// -1 pp null, -2 len < 5, -3 write failed, -4 no answer, -5 answer neither ACK
// nor NAK, -6 five NAKs.
int dwn_write_pkt(uint8_t* pp, uint16_t len);

// Sends `len` bytes of `bp` as consecutive data packets of at most 60 payload
// bytes. Returns the payload bytes sent (len; 0 for a negative len), else
// -1 bp null, -2 len 0, -3 a packet failed (the rest is not sent).
int dwn_write_file(const void* bp, int len);
