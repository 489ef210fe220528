#include "sim/download_receiver.h"

#include <array>
#include <cstdint>
#include <cstdio>
#include <cstring>

#include "sim/download_summary.h"
#include "transfer/crc16.h"

namespace sim {

namespace {

constexpr uint8_t ack = 0x06;
constexpr uint8_t nak = 0x15;
constexpr int min_packet = 5;
constexpr int max_packet = 64;
constexpr int command_packet = 21;
constexpr int byte_timeout_ms = 1000;  // between the bytes of one packet
constexpr int quiet_ms = 100;          // a garbled packet is over once the line is this quiet

enum class Got { packet, garbled, hung_up };

// Reads the rest of a garbled packet, so that the host's next transmission
// starts afresh.
bool drain(Line& line) {
    int byte;
    while ((byte = line.read_byte(quiet_ms)) >= 0) {
    }
    return byte != Line::hung_up;
}

// Reads one packet by its length field. A packet cut short, of an impossible
// length or with a bad CRC is garbled.
Got read_packet(Line& line, std::array<uint8_t, max_packet>& packet, int& length) {
    int high = line.read_byte(-1);
    if (high == Line::hung_up) return Got::hung_up;
    int low = line.read_byte(byte_timeout_ms);
    if (low == Line::hung_up) return Got::hung_up;
    if (low == Line::timed_out) return Got::garbled;
    length = high << 8 | low;
    if (length < min_packet || length > max_packet) {
        return drain(line) ? Got::garbled : Got::hung_up;
    }
    packet[0] = static_cast<uint8_t>(high);
    packet[1] = static_cast<uint8_t>(low);
    for (int i = 2; i < length; ++i) {
        int byte = line.read_byte(byte_timeout_ms);
        if (byte == Line::hung_up) return Got::hung_up;
        if (byte == Line::timed_out) return Got::garbled;
        packet[i] = static_cast<uint8_t>(byte);
    }
    bool intact =
        dwn_crc16(0xFFFF, packet.data(), static_cast<size_t>(length), dwn_crc16_table) == 0;
    return intact ? Got::packet : Got::garbled;
}

void save(const std::string& path, const uint8_t* bytes, size_t count) {
    if (path.empty()) return;
    std::FILE* fp = std::fopen(path.c_str(), "wb");
    if (fp == nullptr) return;
    std::fwrite(bytes, 1, count, fp);
    std::fclose(fp);
}

// The device's memory of the download: what the command packets announced
// and the images received so far.
class Receiver {
  public:
    enum class Verdict { accept, refuse, finish };

    explicit Receiver(const DownloadOptions& options) : options_(options) {}

    Verdict take(const uint8_t* packet, int length) {
        if (target_ == nullptr) return take_command(packet, length);
        size_t payload = static_cast<size_t>(length - 4);
        if (payload > expected_ - received_) return Verdict::refuse;
        std::memcpy(target_ + received_, packet + 2, payload);
        received_ += payload;
        if (received_ == expected_) image_complete();
        return Verdict::accept;
    }

  private:
    Verdict take_command(const uint8_t* packet, int length) {
        if (length != command_packet) return Verdict::refuse;
        char name[13] = {};
        std::memcpy(name, packet + 2, 12);
        int size = 0;
        int digits = 0;
        for (; digits < 5 && packet[14 + digits] != 0; ++digits) {
            uint8_t c = packet[14 + digits];
            if (c < '0' || c > '9') return Verdict::refuse;
            size = size * 10 + (c - '0');
        }
        if (std::strcmp(name, "conf") == 0 && digits > 0 && size == int(conf_.size())) {
            return expect(conf_.data(), conf_.size(), &options_.save_conf);
        }
        if (std::strcmp(name, "rules") == 0 && digits > 0 && size % 28 == 0 &&
            size <= int(rules_.size())) {
            rules_size_ = static_cast<size_t>(size);
            return expect(rules_.data(), rules_size_, &options_.save_rules);
        }
        if (std::strcmp(name, "-cestfini-") == 0 && digits == 0) {
            if (options_.summary) print_download_summary(conf_.data(), rules_.data(), rules_size_);
            return Verdict::finish;
        }
        return Verdict::refuse;
    }

    Verdict expect(uint8_t* image, size_t size, const std::string* save_path) {
        target_ = image;
        expected_ = size;
        received_ = 0;
        save_path_ = save_path;
        if (size == 0) image_complete();
        return Verdict::accept;
    }

    void image_complete() {
        save(*save_path_, target_, expected_);
        target_ = nullptr;
    }

    const DownloadOptions& options_;
    std::array<uint8_t, 904> conf_{};
    std::array<uint8_t, 840> rules_{};
    size_t rules_size_ = 0;  // as the "rules" command packet announced
    uint8_t* target_ = nullptr;  // the image being received, or null between images
    size_t expected_ = 0;
    size_t received_ = 0;
    const std::string* save_path_ = nullptr;
};

void answer(Line& line, int byte) {
    uint8_t value = static_cast<uint8_t>(byte);
    line.write(&value, 1);
}

}  // namespace

bool run_download_receiver(Line& line, const DownloadOptions& options) {
    Receiver receiver(options);
    std::array<uint8_t, max_packet> packet{};
    int number = 1;  // of the packet awaited, counted over the whole download
    int naks_given = 0;
    for (;;) {
        int length = 0;
        Got got = read_packet(line, packet, length);
        if (got == Got::hung_up) return false;
        if (got == Got::garbled) {
            answer(line, nak);
            continue;
        }
        if (number == options.hang_up_packet) {
            line.cut_line();
            return false;
        }
        if (number == options.silent_packet) continue;
        if (number == options.wrong_packet) {
            answer(line, options.wrong_byte);
            continue;
        }
        if (number == options.nak_packet && naks_given < options.nak_times) {
            ++naks_given;
            answer(line, nak);
            continue;
        }
        Receiver::Verdict verdict = receiver.take(packet.data(), length);
        if (verdict == Receiver::Verdict::refuse) {
            answer(line, nak);
            continue;
        }
        ++number;
        answer(line, ack);
        if (verdict == Receiver::Verdict::finish) return true;
    }
}

}  // namespace sim
