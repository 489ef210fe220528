#include "transfer/firmware.h"

#include <cstdio>
#include <cstring>
#include <ctime>

#include "common/line_reader.h"
#include "serial/connection.h"
#include "serial/port.h"
#include "transfer/fw_progress.h"
#include "transfer/inhex.h"

namespace {

constexpr int warning_minutes = 5;
constexpr int answer_bytes = 20;  // the loader's answers are looked for in rx_buf[0..19]
constexpr int record_answer_ms = 100;
// A loader erasing a flash page, or a radio or Bluetooth link, may answer a
// record long after those 100 ms. Before a record goes again the host listens
// this much longer for the answer of its transmission, so that a late answer
// is never taken for the answer of the resend.
constexpr int late_answer_ms = 1200;
// After an answer other than the ACK of a record's first transmission, the
// host reads on until the line has been quiet this long, at most so many
// bytes: a line that never goes quiet does not hold the update.
constexpr int quiet_ms = 100;
constexpr int quiet_bytes = 64;

// A loader answer: one byte waited for long, then up to 19 more that follow it
// closely, at rx_buf[0] and rx_buf[1..19].
struct LoaderAnswer {
    int first;  // bytes of the first read, 0 or 1
    int rest;   // bytes of the second read, 0..19
};

LoaderAnswer read_loader_answer(int first_timeout_ms, int rest_timeout_ms) {
    std::memset(rx_buf, 0, answer_bytes);
    LoaderAnswer answer;
    answer.first = read_port(port_name, rx_buf, 1, first_timeout_ms);
    answer.rest = read_port(port_name, rx_buf + 1, answer_bytes - 1, rest_timeout_ms);
    return answer;
}

// Only the filled positions count: rx_buf[0] when the first read got its
// byte, and rx_buf[1..rest].
bool answer_holds(const LoaderAnswer& answer, uint8_t byte) {
    if (answer.first == 1 && rx_buf[0] == byte) return true;
    return std::memchr(rx_buf + 1, byte, static_cast<size_t>(answer.rest)) != nullptr;
}

const char* plural(int count) {
    return count == 1 ? "" : "s";
}

void print_read_counts(const LoaderAnswer& answer) {
    std::printf("\nRead #1 got %d char%s\n", answer.first, plural(answer.first));
    std::printf("Read #2 got %d char%s:\n", answer.rest, plural(answer.rest));
}

void print_prompt_dump(const LoaderAnswer& answer) {
    print_read_counts(answer);
    if (answer.first == 1) std::printf("0x%02x ", rx_buf[0]);
    for (int i = 1; i <= answer.rest; ++i) std::printf("0x%02x ", rx_buf[i]);
    std::printf("\n");
}

void print_answer_dump(const LoaderAnswer& answer) {
    print_read_counts(answer);
    for (int i = 0; i < answer_bytes; ++i) {
        uint8_t c = rx_buf[i];
        if (c >= 0x20 && c <= 0x7E) {
            std::printf("%c ", c);
        } else {
            std::printf("[%02x] ", c);
        }
    }
    std::printf("\n");
}

// Interrupts the device's console, lets the operator get ready, resets the
// device and sets the port up again for its loader. -5 means that this failed
// and no port is open.
int reset_device(void (*wait_for_enter)()) {
    if (write_port(port_name, "\x03\n", 2) <= 0) {
        std::printf("\n\a\aError: wrote interrupt character, got error on port %s\n", port_name);
        return -7;
    }
    while (read_port(port_name, rx_buf, sizeof rx_buf, 100) > 0) {
    }
    purge_port();

    std::printf(
        "\n\a\aWARNING! The Vestrimond Firmware is about to be updated!\n"
        "This will take less than %d minutes.\n"
        "Do NOT interrupt the process once started!\n"
        "If power is interrupted during this process you may not be able\n"
        "to communicate with the Vestrimond due to firmware corruption.\n"
        "If this happens correct the power problem and restart this entire process.\n"
        "\n"
        "Type the Enter key when you are ready to continue...",
        warning_minutes);
    wait_for_enter();

    std::memset(rx_buf, 0, answer_bytes);
    if (write_port(port_name, "reset\n", 6) <= 0) {
        std::printf("\n\a\aError: wrote reset command, got error on port %s\n", port_name);
        return -7;
    }
    read_port(port_name, rx_buf, 32, 50);
    if (change_port_rate(port_name, fw_baud) != 0) {
        std::printf("\a\aError: could not open COM port %s\n", port_name);
        print_open_hint();
        return -5;
    }
    return 0;
}

// Waits for the loader's prompt, synchronises and identifies the host.
int greet_loader() {
    LoaderAnswer answer = read_loader_answer(20000, 100);
    if (!answer_holds(answer, fw_prompt)) {
        std::printf("\n\a\aError: did not receive the Vestrimond Firmware prompt!\n");
        print_prompt_dump(answer);
        return -6;
    }

    if (write_port(port_name, &fw_sync, 1) <= 0) {
        std::printf("\n\a\aError: wrote FIRMSYNC sync character, got error on port %s\n",
                    port_name);
        return -7;
    }
    answer = read_loader_answer(20000, 30);
    if (!answer_holds(answer, fw_ack)) {
        std::printf("\n\a\aError: did not synchronize with the Vestrimond!\n");
        print_answer_dump(answer);
        return -8;
    }
    std::printf("\a\nConnected at %ld\n", static_cast<long>(fw_baud));

    if (write_port(port_name, fw_ident, sizeof fw_ident - 1) <= 0) {
        std::printf("\n\a\aError: wrote %s identifier, got error on port %s\n", fw_ident,
                    port_name);
        return -9;
    }
    answer = read_loader_answer(5000, 200);
    if (!answer_holds(answer, fw_ack)) {
        std::printf("\n\a\aError: did not receive %s identifier acknowledgement!\n", fw_ident_name);
        print_answer_dump(answer);
        return -10;
    }
    return 0;
}

// What the host does with a record answer other than ACK.
struct RecordError {
    int byte;
    const char* message;  // formatted with the line number
    int result;           // 0: send the record again
};

// No answer leaves rx_buf[0] at 0: a received NUL never reaches the program.
constexpr RecordError record_errors[] = {
    {0x00, "\n\a\aError: Firmware updating error: timed out on Line %lu, resending.\n", 0},
    {0x11,
     "\n\a\aError: Firmware updating error: didn't get start character on Line %lu, "
     "resending.\n",
     0},
    {0x12, "\n\a\aError: Firmware updating error: bad record checksum on Line %lu, resending.\n",
     0},
    {0x15, "\n\a\aError: Firmware updating error: validation on Line %lu, resending.\n", 0},
    {0x17, "\n\a\aError: Firmware updating error: buffer full on Line %lu- aborting!\n", -14},
    {0x18, "\n\a\aError: Firmware updating error: fatal on Line %lu- aborting!\n", -13},
};

// The answers after which the loader takes no more records.
bool ends_update(uint8_t answer) {
    for (const RecordError& error : record_errors) {
        if (error.byte == answer) return error.result != 0;
    }
    return false;
}

// Reports a record answer other than ACK; 0 to send the record again.
int report_record_error(uint8_t answer, unsigned long line_no) {
    for (const RecordError& error : record_errors) {
        if (error.byte == answer) {
            std::printf(error.message, line_no);
            return error.result;
        }
    }
    std::printf("\n\a\aError: Firmware updating error: unknown (0x%02x) on Line %lu, resending.\n",
                answer, line_no);
    return 0;
}

struct Transfer {
    uint32_t total;  // records counted by the check
    uint32_t acknowledged = 0;
    uint16_t errors = 0;  // answers other than ACK over the whole transfer
};

// What the loader said to one transmission of a record.
struct RecordAnswer {
    uint8_t byte = 0;    // the first byte that arrived, 0 when none did
    bool ack = false;    // an ACK among what arrived
    uint8_t ending = 0;  // the first buffer-full or fatal code among it, 0 when none
};

void take_answer_byte(RecordAnswer& answer, uint8_t byte) {
    if (answer.byte == 0) answer.byte = byte;
    if (byte == fw_ack) answer.ack = true;
    if (answer.ending == 0 && ends_update(byte)) answer.ending = byte;
}

// Adds what arrives until the line has been quiet to `answer`.
void read_until_quiet(RecordAnswer& answer) {
    for (int bytes = 0; bytes < quiet_bytes; ++bytes) {
        if (read_port(port_name, rx_buf, 1, quiet_ms) <= 0) return;
        take_answer_byte(answer, rx_buf[0]);
    }
}

// The loader answers each transmission with one byte, in order, and its
// answers carry no record number. A record's first transmission answered by
// an ACK at once is the usual case, taken as it comes. Otherwise the answer
// of this transmission is waited for (a late one included) and what follows
// it until the line is quiet is counted with it: noise, or what the device
// says after it, never the next record's answer. So when the record goes
// again, no answer of an earlier transmission is still on its way.
RecordAnswer read_record_answer(bool first_transmission) {
    rx_buf[0] = 0;
    read_port(port_name, rx_buf, 1, record_answer_ms);
    RecordAnswer answer;
    if (rx_buf[0] == 0) read_port(port_name, rx_buf, 1, late_answer_ms);
    if (rx_buf[0] == 0) return answer;
    take_answer_byte(answer, rx_buf[0]);
    if (!(first_transmission && answer.ack)) read_until_quiet(answer);
    return answer;
}

// Sends a record until an answer of its own acknowledges it. A buffer-full or
// fatal code anywhere in an answer ends the update: the loader has given up.
int send_record(Transfer& transfer, const char* record, int length, unsigned long line_no) {
    for (bool first = true;; first = false) {
        if (write_port(port_name, record, length) <= 0) {
            std::printf("\a\aError: wrote FIRMSYNC attention character, got error on port %s\n",
                        port_name);
            return -11;
        }
        RecordAnswer answer = read_record_answer(first);
        if (answer.ack && answer.ending == 0) {
            ++transfer.acknowledged;
            fw_progress(transfer.acknowledged, transfer.total);
            return 0;
        }
        if (++transfer.errors >= fw_max_errors) {
            std::printf(
                "\n\a\aError: maximum Firmware updating errors (%d) encountered- aborting!\n",
                fw_max_errors);
            return -12;
        }
        int result = report_record_error(answer.ending != 0 ? answer.ending : answer.byte, line_no);
        if (result != 0) return result;
    }
}

void report_file_error() {
    std::printf("\a\aError: Firmware file has some kind of error!\n");
}

// Sends every record of the file. The file is read in the same pieces as the
// check read it, so a record that passed the check goes out whole.
int send_records(std::FILE* fp, uint32_t total) {
    std::printf("\n\n");
    rewind_text_file(fp);
    fw_start_time = std::time(nullptr);
    Transfer transfer{total};
    char line[hex_line_size + 1];  // room for the CR after the longest piece
    unsigned long line_no = 0;
    uint32_t records = 0;
    LineRead read;
    while ((read = read_text_line(fp, line, hex_line_size)) == LineRead::line) {
        ++line_no;
        std::size_t length = strip_line_feed(line);
        if (line[0] != ':') continue;
        // The file may have changed since the check, while the operator got
        // ready: a record beyond those checked, or one that no longer passes
        // the check, is not sent.
        if (++records > total || hex_record_fault(line, length) != HexFault::none) {
            std::printf("\n");
            report_file_error();
            return -4;
        }
        line[length] = '\r';
        int result = send_record(transfer, line, static_cast<int>(length + 1), line_no);
        if (result != 0) return result;
    }
    std::printf("\n");
    // A file that cannot be read to its end, or that lost records since the
    // check, has not been sent whole.
    if (read == LineRead::error || transfer.acknowledged < total) {
        report_file_error();
        return -4;
    }
    return 0;
}

// "2 min 46 s", "45 s"
void format_duration(double seconds, char* text, std::size_t size) {
    long whole = static_cast<long>(seconds + 0.5);
    if (whole < 60) {
        std::snprintf(text, size, "%ld s", whole);
    } else {
        std::snprintf(text, size, "%ld min %ld s", whole / 60, whole % 60);
    }
}

// An adapter holds each one-byte answer of the loader for its latency timer:
// with the timer above 2 ms the update takes noticeably longer than the line
// needs, and only the operator can lower it. The line's time is that of the
// file's bytes (each record goes out with a CR where the file has CR LF, and
// the LF's place stands for the answer byte); each record then waits the
// timer and about a millisecond more.
void report_adapter_latency(std::FILE* fp, const char* port, int records) {
    int latency_ms = adapter_latency_timer_ms(port);
    if (latency_ms <= 2) return;
    long at = std::ftell(fp);
    if (at < 0 || std::fseek(fp, 0, SEEK_END) != 0) return;
    long bytes = std::ftell(fp);
    std::fseek(fp, at, SEEK_SET);
    if (bytes < 0) return;
    double line_s = static_cast<double>(bytes) * 10.0 / fw_baud;
    char now[32], at_1ms[32];
    format_duration(line_s + records * (latency_ms + 1) / 1000.0, now, sizeof now);
    format_duration(line_s + records * 2 / 1000.0, at_1ms, sizeof at_1ms);
    std::printf(
        "%s is a USB adapter whose latency timer is %d ms: this update will take about %s "
        "(about %s at 1 ms).\n"
        "To set it to 1 ms: Device Manager, the port's Properties, Port Settings, Advanced..., "
        "Latency Timer (msec).\n",
        port, latency_ms, now, at_1ms);
}

int update_from(std::FILE* fp, const char* port, void (*wait_for_enter)()) {
    int total = inhexverify(fp);
    if (total < 1) {
        report_file_error();
        return -4;
    }
    // A name that port_name cannot hold whole is not opened cut short.
    if (!port_name_fits(port)) {
        std::printf("\a\aError: could not open COM port %s\n", port);
        return -5;
    }
    std::snprintf(port_name, sizeof port_name, "%s", port);
    report_adapter_latency(fp, port_name, total);
    if (open_port(port_name, fw_baud) != 0) {
        std::printf("\a\aError: could not open COM port %s\n", port_name);
        print_open_hint();
        return -5;
    }
    int result = reset_device(wait_for_enter);
    if (result == -5) return result;
    if (result == 0) result = greet_loader();
    if (result == 0) result = send_records(fp, static_cast<uint32_t>(total));
    close_port();
    std::printf("Disconnected\n");
    return result;
}

}  // namespace

int firmware(const char* port, const char* file_name, void (*wait_for_enter)()) {
    if (file_name == nullptr) {
        std::printf("firmware: Error: param filename is invalid\n");
        return -1;
    }
    std::FILE* fp = open_text_file(file_name);
    if (fp == nullptr) {
        std::printf("\a\aError: cannot open %s%s\n", file_name, text_file_error_note(errno));
        return -2;
    }
    int result = update_from(fp, port, wait_for_enter);
    std::fclose(fp);
    return result;
}
