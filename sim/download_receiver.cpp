#include "sim/download_receiver.h"

#include <array>
#include <cstdarg>
#include <cstdint>
#include <cstdio>
#include <cstring>

#include "sim/crc16.h"
#include "sim/download_summary.h"
#include "sim/log.h"

namespace sim {

namespace {

constexpr uint8_t ack = 0x06;
constexpr uint8_t nak = 0x15;
constexpr uint8_t interrupt_char = 0x03;
constexpr int min_packet = 5;
constexpr int max_packet = 64;
constexpr int command_packet = 21;
constexpr int name_offset = 2;
constexpr int name_width = 12;
constexpr int size_offset = 14;
constexpr int size_width = 5;
constexpr size_t max_payload = 60;
constexpr size_t conf_size = 904;
constexpr size_t rule_size = 28;
constexpr size_t max_rules_size = 30 * rule_size;
constexpr size_t rule_count_offset = 68;  // in the configuration record, 16 bits little-endian
constexpr int byte_timeout_ms = 1000;     // between the bytes of one packet
constexpr int quiet_ms = 100;             // a garbled packet is over once the line is this quiet
// After the finish packet the host has nothing more to send; anything heard
// this soon after it, but the interrupt that begins a console exchange, is a
// packet too many.
constexpr int after_finish_ms = 200;

enum class Got { packet, garbled, hung_up };

// Reads the rest of a garbled packet, so that the host's next transmission
// starts afresh.
bool drain(Line& line) {
    int byte;
    while ((byte = line.read_byte(quiet_ms)) >= 0) {
    }
    return byte != Line::hung_up;
}

// Reads one packet by its length field, starting with `high`, the first byte.
// A packet cut short, of an impossible length or with a bad CRC is garbled:
// `fault` says how.
Got read_packet(Line& line, int high, std::array<uint8_t, max_packet>& packet, int& length,
                const char*& fault) {
    int low = line.read_byte(byte_timeout_ms);
    if (low == Line::hung_up) return Got::hung_up;
    fault = "a packet arrives whole, without a pause";
    if (low == Line::timed_out) return Got::garbled;
    length = high << 8 | low;
    if (length < min_packet || length > max_packet) {
        fault = "a packet is 5 to 64 bytes long";
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
    fault = "the CRC-16 matches";
    bool intact = crc16_feed(0xFFFF, packet.data(), static_cast<size_t>(length)) == 0;
    return intact ? Got::packet : Got::garbled;
}

void save(const std::string& path, const uint8_t* bytes, size_t count) {
    if (path.empty()) return;
    std::FILE* fp = std::fopen(path.c_str(), "wb");
    if (fp == nullptr) return;
    std::fwrite(bytes, 1, count, fp);
    std::fclose(fp);
}

// A field of a packet as text for the log: printable ASCII as it is, other
// bytes as \xHH.
struct Shown {
    char text[4 * name_width + 1];
};

Shown shown(const uint8_t* bytes, int count) {
    Shown out{};
    size_t at = 0;
    for (int i = 0; i < count; ++i) {
        if (bytes[i] >= 0x20 && bytes[i] < 0x7F && bytes[i] != '\\') {
            out.text[at++] = static_cast<char>(bytes[i]);
        } else {
            at += static_cast<size_t>(
                std::snprintf(out.text + at, sizeof out.text - at, "\\x%02X", bytes[i]));
        }
    }
    return out;
}

bool all_nul(const uint8_t* bytes, int count) {
    for (int i = 0; i < count; ++i) {
        if (bytes[i] != 0) return false;
    }
    return true;
}

// The size field: decimal digits without sign or leading zero, then NUL
// bytes. The value, or -1 when the field breaks that rule.
long size_field(const uint8_t* field) {
    int digits = 0;
    while (digits < size_width && field[digits] >= '0' && field[digits] <= '9') ++digits;
    if (digits == 0 || !all_nul(field + digits, size_width - digits)) return -1;
    if (field[0] == '0' && digits > 1) return -1;
    long value = 0;
    for (int i = 0; i < digits; ++i) value = value * 10 + (field[i] - '0');
    return value;
}

// The device's memory of the download, and the order the host must keep:
// "conf" and its 904 bytes, "rules" and 28 bytes per rule, the finish.
class Receiver {
  public:
    enum class Verdict { accept, refuse, finish };

    explicit Receiver(const DownloadOptions& options) : options_(options) {}

    Verdict take(const uint8_t* packet, int length, int number) {
        number_ = number;
        if (target_ != nullptr) return take_data(packet, length);
        if (length != command_packet) {
            return refuse("a %d-byte packet where the \"%s\" command packet (21 bytes) belongs",
                          length, awaited_names[step_]);
        }
        return take_command(packet);
    }

  private:
    enum Step { conf_command, rules_command, finish_command };
    static constexpr const char* awaited_names[3] = {"conf", "rules", "-cestfini-"};

    Verdict refuse(const char* format, ...) __attribute__((format(printf, 2, 3))) {
        char rule[160];
        va_list args;
        va_start(args, format);
        std::vsnprintf(rule, sizeof rule, format, args);
        va_end(args);
        violation("download packet %d: %s", number_, rule);
        return Verdict::refuse;
    }

    Verdict take_data(const uint8_t* packet, int length) {
        size_t payload = static_cast<size_t>(length - 4);
        size_t left = expected_ - received_;
        size_t due = left < max_payload ? left : max_payload;
        if (payload != due) {
            return refuse("%zu payload bytes where %zu belong (%zu of the image's %zu bytes left)",
                          payload, due, left, expected_);
        }
        std::memcpy(target_ + received_, packet + 2, payload);
        received_ += payload;
        if (received_ == expected_) image_complete();
        return Verdict::accept;
    }

    Verdict take_command(const uint8_t* packet) {
        const uint8_t* name = packet + name_offset;
        const char* awaited = awaited_names[step_];
        size_t name_length = std::strlen(awaited);
        int given_length = 0;
        while (given_length < name_width && name[given_length] != 0) ++given_length;
        if (size_t(given_length) != name_length || std::memcmp(name, awaited, name_length) != 0) {
            return refuse("command \"%s\" where \"%s\" belongs", shown(name, given_length).text,
                          awaited);
        }
        if (!all_nul(name + name_length, name_width - static_cast<int>(name_length))) {
            return refuse(
                "bytes \"%s\" after the command name \"%s\", where only NUL belongs",
                shown(name + name_length, name_width - static_cast<int>(name_length)).text,
                awaited);
        }
        const uint8_t* size_text = packet + size_offset;
        if (step_ == finish_command) {
            if (!all_nul(size_text, size_width)) {
                return refuse("size field \"%s\" in the finish packet, where only NUL belongs",
                              shown(size_text, size_width).text);
            }
            if (options_.summary) print_download_summary(conf_.data(), rules_.data(), rules_size_);
            return Verdict::finish;
        }
        long size = size_field(size_text);
        if (size < 0) {
            return refuse(
                "size field \"%s\": decimal digits without sign or leading zero, "
                "then NUL",
                shown(size_text, size_width).text);
        }
        if (step_ == conf_command) {
            if (size != long(conf_size)) return refuse("configuration size %ld, not 904", size);
            step_ = rules_command;
            return expect(conf_.data(), conf_size, &options_.save_conf);
        }
        if (size % rule_size != 0 || size > long(max_rules_size)) {
            return refuse("rules size %ld, not a multiple of 28 up to 840", size);
        }
        long counted =
            (conf_[rule_count_offset] | conf_[rule_count_offset + 1] << 8) * long(rule_size);
        if (size != counted) {
            return refuse("rules size %ld, where the configuration's rule count makes %ld", size,
                          counted);
        }
        step_ = finish_command;
        rules_size_ = static_cast<size_t>(size);
        return expect(rules_.data(), rules_size_, &options_.save_rules);
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
    Step step_ = conf_command;
    int number_ = 0;
    std::array<uint8_t, conf_size> conf_{};
    std::array<uint8_t, max_rules_size> rules_{};
    size_t rules_size_ = 0;      // as the "rules" command packet announced
    uint8_t* target_ = nullptr;  // the image being received, or null between images
    size_t expected_ = 0;
    size_t received_ = 0;
    const std::string* save_path_ = nullptr;
};

// Every answer ends an exchange with the host.
void answer(Line& line, int byte) {
    uint8_t value = static_cast<uint8_t>(byte);
    line.write(&value, 1);
    exchange_ended();
}

// Whatever follows the finish packet is refused, until the host keeps quiet,
// hangs up or begins a console exchange.
void refuse_after_finish(Line& line) {
    int extra = 0;
    for (;;) {
        int byte = line.read_byte(after_finish_ms);
        if (byte < 0 || byte == interrupt_char) return;
        violation("download: bytes after the finish packet (%d so far), where nothing belongs",
                  ++extra);
        if (!drain(line)) return;
        answer(line, nak);
    }
}

}  // namespace

bool run_download_receiver(Line& line, const DownloadOptions& options) {
    Receiver receiver(options);
    std::array<uint8_t, max_packet> packet{};
    int number = 1;  // of the packet awaited, counted over the whole download
    int naks_given = 0;
    for (;;) {
        int first = line.read_byte(-1);
        if (first == Line::hung_up) return false;
        if (first == Line::timed_out) continue;
        // No packet begins with the interrupt (their lengths are below 256):
        // the host has given the download up and talks to the console.
        if (first == interrupt_char) return false;
        int length = 0;
        const char* fault = "";
        Got got = read_packet(line, first, packet, length, fault);
        if (got == Got::hung_up) return false;
        if (got == Got::garbled) {
            violation("download packet %d: %s", number, fault);
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
        Receiver::Verdict verdict = receiver.take(packet.data(), length, number);
        if (verdict == Receiver::Verdict::refuse) {
            answer(line, nak);
            continue;
        }
        ++number;
        answer(line, ack);
        if (verdict == Receiver::Verdict::finish) {
            refuse_after_finish(line);
            return true;
        }
    }
}

}  // namespace sim
