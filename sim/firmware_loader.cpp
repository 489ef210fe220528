#include "sim/firmware_loader.h"

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <random>
#include <string>
#include <thread>

#include "sim/hex_record.h"
#include "sim/log.h"

namespace sim {

namespace {

constexpr uint8_t prompt = 0x05;
constexpr uint8_t sync = 0x16;
// The host that gives the update up begins its next console exchange with
// the interrupt: the loader leaves for the console.
constexpr uint8_t interrupt_char = 0x03;
constexpr uint8_t ack = 0x06;
constexpr uint8_t no_start = 0x11;
constexpr uint8_t bad_checksum = 0x12;
constexpr uint8_t invalid = 0x15;
constexpr uint8_t buffer_full = 0x17;
constexpr char identifier[] = "VeMoNd1.0";
// Without its loader the device boots into its console and shows its prompt.
constexpr char console_prompt[] = "Vestro> ";
constexpr char sync_noise[] = "?sync";

// The host closes and reopens its port after "reset\n", and what the loader
// sends meanwhile is lost: the prompt is repeated until the sync arrives.
constexpr auto prompt_every = std::chrono::milliseconds(250);
constexpr int identifier_timeout_ms = 5000;
constexpr int byte_timeout_ms = 1000;  // between the bytes of the identifier or a record
constexpr size_t record_buffer = 600;

using clock = std::chrono::steady_clock;

// Every answer ends an exchange with the host.
void answer(Line& line, uint8_t byte) {
    line.write(&byte, 1);
    exchange_ended();
}

// Sends the prompt until the host's sync character arrives; false when the
// host went away.
bool await_sync(Line& line, const LoaderOptions& options) {
    for (;;) {
        if (options.no_prompt) {
            line.write(console_prompt);
        } else {
            answer(line, prompt);
        }
        auto next_prompt = clock::now() + prompt_every;
        for (;;) {
            auto left =
                std::chrono::duration_cast<std::chrono::milliseconds>(next_prompt - clock::now());
            int byte = line.read_byte(static_cast<int>(std::max<long long>(left.count(), 0)));
            if (byte == sync) return true;
            if (byte == Line::hung_up || byte == interrupt_char) return false;
            if (byte == Line::timed_out) break;
            violation("loader: byte 0x%02X where the sync character 0x16 belongs", byte);
        }
    }
}

// Reads the host's identifier; false when the host went away.
bool read_identifier(Line& line, bool& matches) {
    char received[sizeof identifier - 1];
    int timeout_ms = identifier_timeout_ms;
    for (char& c : received) {
        int byte = line.read_byte(timeout_ms);
        timeout_ms = byte_timeout_ms;
        if (byte == Line::hung_up) return false;
        if (byte == Line::timed_out) {
            violation("loader: identifier cut short, where \"%s\" belongs", identifier);
            matches = false;
            return true;
        }
        c = static_cast<char>(byte);
    }
    matches = std::memcmp(received, identifier, sizeof received) == 0;
    if (!matches) {
        violation("loader: identifier \"%.*s\" where \"%s\" belongs",
                  static_cast<int>(sizeof received), received, identifier);
    }
    return true;
}

struct Record {
    char text[record_buffer + 1];
    size_t length;
    bool overflow;  // longer than the loader's buffer
    bool ended;     // by its CR, not by a pause
};

enum class Got { record, hung_up, interrupted };

// Reads one record line up to its CR, or up to a pause: the host sends each
// record at once. `first` is the record's first byte when it came already.
Got read_record(Line& line, Record& record, int first) {
    record.length = 0;
    record.overflow = false;
    int byte = first;
    while (byte == Line::timed_out) byte = line.read_byte(-1);
    if (byte == interrupt_char) return Got::interrupted;
    while (byte >= 0 && byte != '\r') {
        if (record.length < record_buffer) {
            record.text[record.length++] = static_cast<char>(byte);
        } else {
            record.overflow = true;
        }
        byte = line.read_byte(byte_timeout_ms);
    }
    if (byte == Line::hung_up) return Got::hung_up;
    record.text[record.length] = '\0';
    record.ended = byte == '\r';
    return Got::record;
}

// The loader's verdict on record `number`: ACK, or the error answer of a
// device that saw it damaged, after logging the rule it breaks.
uint8_t judge(const Record& record, int number) {
    if (record.overflow) {
        violation("firmware record %d: longer than the loader's %zu-character buffer", number,
                  record_buffer);
        return buffer_full;
    }
    if (!record.ended) {
        violation("firmware record %d: a record line ends in CR", number);
        return invalid;
    }
    HexVerdict verdict = read_hex_record(record.text, record.length);
    if (verdict == HexVerdict::good) return ack;
    violation("firmware record %d: %s", number, hex_rule(verdict));
    switch (verdict) {
        case HexVerdict::no_start:
            return no_start;
        case HexVerdict::checksum:
            return bad_checksum;
        default:
            return invalid;
    }
}

// The scripted answer to this transmission of record `number`, if any: a
// byte, or -1 for silence.
const int* scripted_answer(const LoaderOptions& options, int number, size_t transmission) {
    for (const auto& [record, answers] : options.record_answers) {
        if (record == number && transmission < answers.size()) return &answers[transmission];
    }
    return nullptr;
}

// A well-formed record that the loader did not acknowledge, by its answer or
// its silence, goes again before any other: the next record line must be the
// same, unless the host had an earlier ACK of that very line.
class Resends {
  public:
    void check(const Record& record, int number) {
        if (!owed_ || record.text == rejected_) return;
        violation("firmware record %d: another record after the answer %s, where the same "
                  "record belongs again",
                  number, answer_);
    }
    void answered(const Record& record, bool well_formed, int verdict) {
        owed_ = verdict != ack && well_formed && record.text != accepted_;
        if (verdict == ack) accepted_ = record.text;
        if (!owed_) return;
        rejected_ = record.text;
        if (verdict < 0) {
            std::snprintf(answer_, sizeof answer_, "none");
        } else {
            std::snprintf(answer_, sizeof answer_, "0x%02X", verdict);
        }
    }

  private:
    bool owed_ = false;
    std::string rejected_;
    std::string accepted_;
    char answer_[16] = "";
};

// The answers of a slow loader come after a random time. The host has to wait
// for them: a byte that it sends meanwhile is a record sent again before the
// answer to the last one came, and that answer would then be taken for the
// new record's.
class SlowAnswers {
  public:
    explicit SlowAnswers(const LoaderOptions& options)
        : random_(options.slow_seed), delays_(0, std::max(options.slow_answer_ms, 0)) {}

    // Holds the answer to record `number` back; returns the byte that came
    // meanwhile, or Line::timed_out.
    int hold(Line& line, int number) {
        if (delays_.max() == 0) return Line::timed_out;
        const int delay_ms = delays_(random_);
        const auto until = clock::now() + std::chrono::milliseconds(delay_ms);
        int byte = line.read_byte(delay_ms);
        if (byte >= 0 && byte != interrupt_char) {
            violation("firmware record %d: the host sent again before the answer, held back "
                      "%d ms, came",
                      number, delay_ms);
            std::this_thread::sleep_until(until);
        }
        return byte;
    }

  private:
    std::mt19937_64 random_;
    std::uniform_int_distribution<int> delays_;
};

void receive_records(Line& line, const LoaderOptions& options) {
    std::FILE* saved = nullptr;
    if (!options.save_records.empty()) saved = std::fopen(options.save_records.c_str(), "w");
    Record record;
    Resends resends;
    SlowAnswers slow(options);
    int number = 1;
    size_t transmission = 0;  // of the current record, from 0
    int early = Line::timed_out;  // the next record's first byte, when it came early
    while (read_record(line, record, early) == Got::record) {
        early = Line::timed_out;
        if (number == options.hang_up_record) {
            line.cut_line();
            break;
        }
        resends.check(record, number);
        const int* scripted = scripted_answer(options, number, transmission++);
        int verdict = judge(record, number);
        const bool well_formed = verdict == ack;
        if (scripted != nullptr) verdict = *scripted;
        resends.answered(record, well_formed, verdict);
        if (verdict >= 0) early = slow.hold(line, number);
        // An accepted record is saved before its ACK goes out: the host may
        // end, and the file be read, as soon as the last ACK arrives.
        if (verdict == ack) {
            if (saved != nullptr) {
                std::fprintf(saved, "%s\n", record.text);
                std::fflush(saved);
            }
            ++number;
            transmission = 0;
        }
        if (verdict >= 0) {
            answer(line, static_cast<uint8_t>(verdict));
        } else {
            exchange_ended();
        }
    }
    if (saved != nullptr) std::fclose(saved);
}

}  // namespace

void run_firmware_loader(Line& line, const LoaderOptions& options) {
    if (!await_sync(line, options)) return;
    if (options.no_sync_ack) {
        line.write(sync_noise);
    } else {
        answer(line, ack);
    }

    bool matches = false;
    if (!read_identifier(line, matches)) return;
    if (!matches) {
        answer(line, invalid);
        return;
    }
    if (!options.no_ident_ack) answer(line, ack);

    receive_records(line, options);
}

}  // namespace sim
