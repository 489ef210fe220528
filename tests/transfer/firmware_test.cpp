#include "transfer/firmware.h"

#include <gtest/gtest.h>

#include <algorithm>

#include <cstdio>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "console/console_input.h"
#include "tests/support/port_script.h"
#include "tests/transfer/progress_lines.h"
#include "tests/support/console_texts.h"
#include "tests/transfer/temp_file.h"

namespace {

const std::string connected = "\a\nConnected at 19200\n";
const std::string records_start = "\n\n";
const std::string disconnected = "Disconnected\n";

const std::string record_1 = ":10000000000102030405060708090A0B0C0D0E0F78";
const std::string record_2 = ":10001000101112131415161718191A1B1C1D1E1F68";
const std::string record_end = ":00000001FF";
// Line 1 is a comment, the records are lines 2, 3 and 4.
const std::string three_records = "; test image\n" + record_1 + "\n" + record_2 + "\n" + record_end;

// What the scripted device answers. Each string is one chunk of input; an
// empty chunk is one read that finds nothing.
struct Loader {
    std::vector<std::string> after_reset = {"", "\x05"};
    std::vector<std::string> after_sync = {"\x06"};
    std::vector<std::string> after_ident = {"\x06"};
    // What follows one transmission of a record: chunks, the first of them
    // delay_ms after the transmission, each further one every_ms after the
    // one before.
    struct Answer {
        Answer(const char* chunk) : chunks{chunk} {}
        Answer(std::string chunk) : chunks{std::move(chunk)} {}
        std::vector<std::string> chunks;
        unsigned delay_ms = 0;
        unsigned every_ms = 0;
    };
    // For each record in the order of the file, the answers to its
    // transmissions in turn; any further transmission is acknowledged.
    std::vector<std::vector<Answer>> records;
    int reopen_result = 0;
};

// An answer that arrives delay_ms after its transmission.
Loader::Answer late(const std::string& answer, unsigned delay_ms) {
    Loader::Answer late_answer(answer);
    late_answer.delay_ms = delay_ms;
    return late_answer;
}

Loader prompting(std::vector<std::string> after_reset) {
    Loader loader;
    loader.after_reset = std::move(after_reset);
    return loader;
}

Loader syncing(std::vector<std::string> after_sync) {
    Loader loader;
    loader.after_sync = std::move(after_sync);
    return loader;
}

struct Update {
    int result;
    std::string out;
};

// The firmware file of the running test.
const TempFile& hex_file(const std::string& contents) {
    static std::unique_ptr<TempFile> file;
    file = std::make_unique<TempFile>("firmware.hex");
    file->write(contents);
    return *file;
}

// What the operator types, read by the update's Enter wait.
class TypedInput {
  public:
    explicit TypedInput(const std::string& text) : file_(std::tmpfile()) {
        std::fputs(text.c_str(), file_);
        std::rewind(file_);
        set_console_input(file_);
    }
    ~TypedInput() {
        set_console_input(nullptr);
        std::fclose(file_);
    }
    TypedInput(const TypedInput&) = delete;
    TypedInput& operator=(const TypedInput&) = delete;

  private:
    std::FILE* file_;
};

// What the device had been sent when the operator was asked for Enter.
std::vector<std::string> written_before_enter;

// The console's Enter wait, reading what TypedInput holds.
void typed_enter() {
    written_before_enter = port_script::state.writes;
    char line[1024];
    read_console_line("", line, sizeof line);
}

void install(const Loader& loader) {
    port_script::reset();
    written_before_enter.clear();
    port_script::state.on_write = [loader, record = size_t(-1), transmission = size_t{0},
                                   last_record = std::string()](const std::string& w) mutable {
        auto feed_all = [](const std::vector<std::string>& chunks) {
            for (const std::string& chunk : chunks) port_script::feed(chunk);
        };
        if (w == "\x03\n") return;
        if (w == "reset\n") {
            port_script::state.open_result = loader.reopen_result;
            feed_all(loader.after_reset);
        } else if (w == "\x16") {
            feed_all(loader.after_sync);
        } else if (w == "VeMoNd1.0") {
            feed_all(loader.after_ident);
        } else {
            // A record other than the last one written is the next record.
            if (w != last_record) {
                ++record;
                transmission = 0;
                last_record = w;
            }
            const auto& answers = record < loader.records.size() ? loader.records[record]
                                                                 : std::vector<Loader::Answer>{};
            if (transmission < answers.size()) {
                const Loader::Answer& answer = answers[transmission];
                unsigned delay_ms = answer.delay_ms;
                for (const std::string& chunk : answer.chunks) {
                    port_script::feed_at(delay_ms, chunk);
                    delay_ms += answer.every_ms;
                }
            } else {
                port_script::feed("\x06");
            }
            ++transmission;
        }
    };
}

Update update(const Loader& loader, const std::string& contents) {
    install(loader);
    std::string path = hex_file(contents).path();
    TypedInput enter("\n");
    testing::internal::CaptureStdout();
    int result = firmware("COM3", path.c_str(), typed_enter);
    std::string out = testing::internal::GetCapturedStdout();
    return {result, out};
}

std::string error_line(const std::string& what) {
    return "\n\a\aError: Firmware updating error: " + what + "\n";
}

std::vector<std::string> record_writes() {
    const auto& writes = port_script::state.writes;
    return std::vector<std::string>(writes.begin() + 4, writes.end());
}

TEST(FirmwareUpdate, WholeDialogueSendsEveryRecordWithCr) {
    Update run = update({}, three_records);
    EXPECT_EQ(run.result, 0);
    EXPECT_EQ(without_progress(run.out), firmware_warning + connected + records_start + "\n" + disconnected);
    EXPECT_EQ(progress_lines(run.out), 3u);
    EXPECT_NE(run.out.find("s 100.0%" + std::string(59, '=') + "\n"), std::string::npos);

    const auto& state = port_script::state;
    EXPECT_EQ(written_before_enter, std::vector<std::string>{"\x03\n"});
    EXPECT_EQ(std::vector<std::string>(state.writes.begin(), state.writes.begin() + 4),
              (std::vector<std::string>{"\x03\n", "reset\n", "\x16", "VeMoNd1.0"}));
    EXPECT_EQ(record_writes(),
              (std::vector<std::string>{record_1 + "\r", record_2 + "\r", record_end + "\r"}));
    // The port is opened once: the loader's rate is set on it after the reset.
    EXPECT_EQ(state.opens, 1);
    EXPECT_EQ(state.rate_changes, 1);
    EXPECT_EQ(state.closes, 1);
    EXPECT_EQ(state.baud, 19200);
    EXPECT_FALSE(state.is_open);
    EXPECT_EQ(state.purges, 1);

    // Drain, the read after the reset, prompt, sync, identifier, three records.
    std::vector<std::pair<int, int>> reads;
    for (const port_script::ReadCall& r : state.reads) reads.emplace_back(r.size, r.timeout_ms);
    EXPECT_EQ(reads, (std::vector<std::pair<int, int>>{{1024, 100},
                                                       {32, 50},
                                                       {1, 20000},
                                                       {19, 100},
                                                       {1, 20000},
                                                       {19, 30},
                                                       {1, 5000},
                                                       {19, 200},
                                                       {1, 100},
                                                       {1, 100},
                                                       {1, 100}}));
}

// A data record of 16 bytes 0xFF at `address`.
std::string erased_record(unsigned address) {
    unsigned sum = 0x10 + (address >> 8) + (address & 0xFF) + 16 * 0xFF;
    char record[64];
    std::snprintf(record, sizeof record, ":10%04X00%s%02X", address & 0xFFFF,
                  std::string(32, 'F').c_str(), (0x100 - (sum & 0xFF)) & 0xFF);
    return record;
}

// Told once, before the warning: an adapter's latency timer above 2 ms, what
// the update takes at it and at 1 ms, and how to set it. The 64 KiB image is
// the benchmark's (4096 records of 16 bytes), which took 164.2 s with the
// timer at 16 ms and 104.2 s at 1 ms (README, "What a real port does").
TEST(FirmwareUpdate, AdapterLatencyTimerAboveTwoMillisecondsIsToldBeforeTheWarning) {
    std::string image;
    for (unsigned record = 0; record < 4096; ++record) image += erased_record(record * 16) + "\r\n";
    image += record_end + "\r\n";
    const std::string how_to =
        "To set it to 1 ms: Device Manager, the port's Properties, Port Settings, Advanced..., "
        "Latency Timer (msec).\n";
    struct Case {
        int latency_ms;
        const std::string& contents;
        std::string told;
    } cases[] = {
        {16, image,
         "COM3 is a USB adapter whose latency timer is 16 ms: this update will take about "
         "2 min 46 s (about 1 min 44 s at 1 ms).\n" + how_to},
        {3, image,
         "COM3 is a USB adapter whose latency timer is 3 ms: this update will take about "
         "1 min 52 s (about 1 min 44 s at 1 ms).\n" + how_to},
        {32, three_records,
         "COM3 is a USB adapter whose latency timer is 32 ms: this update will take about "
         "0 s (about 0 s at 1 ms).\n" + how_to},
        {2, image, ""},
        {1, three_records, ""},
        {-1, three_records, ""},
    };
    for (const Case& c : cases) {
        install({});
        port_script::state.latency_timer_ms = c.latency_ms;
        std::string path = hex_file(c.contents).path();
        TypedInput enter("\n");
        testing::internal::CaptureStdout();
        int result = firmware("COM3", path.c_str(), typed_enter);
        std::string out = testing::internal::GetCapturedStdout();
        EXPECT_EQ(result, 0) << c.latency_ms;
        EXPECT_EQ(out.rfind(c.told + firmware_warning, 0), 0u) << c.latency_ms << "\n" << out.substr(0, 300);
    }
}

TEST(FirmwareUpdate, TenthErrorAbortsWithoutItsOwnMessage) {
    // Nine recoverable errors over two records, then "buffer full": the count
    // is tested first, so the result is -12, not -14.
    Loader loader;
    loader.records = {{"\x11", "\x15", "", "A", "\x06"},
                      {"\x12", "\x12", "\x12", "\xc1", "\x12", "\x17"}};
    Update run = update(loader, three_records);
    EXPECT_EQ(run.result, -12);
    EXPECT_EQ(without_progress(run.out),
              firmware_warning + connected + records_start +
                  error_line("didn't get start character on Line 2, resending.") +
                  error_line("validation on Line 2, resending.") +
                  error_line("timed out on Line 2, resending.") +
                  error_line("unknown (0x41) on Line 2, resending.") +
                  error_line("bad record checksum on Line 3, resending.") +
                  error_line("bad record checksum on Line 3, resending.") +
                  error_line("bad record checksum on Line 3, resending.") +
                  error_line("unknown (0xc1) on Line 3, resending.") +
                  error_line("bad record checksum on Line 3, resending.") +
                  "\n\a\aError: maximum Firmware updating errors (10) encountered- aborting!\n" +
                  disconnected);
    EXPECT_EQ(record_writes().size(), 11u);
}

TEST(FirmwareUpdate, EveryRecordIsAcknowledgedByAnAnswerOfItsOwn) {
    // Records on lines 1 to 4. The answers are the device's, to each
    // transmission of each record; a lost one never reaches the host.
    const std::string record_3 = ":10002000202122232425262728292A2B2C2D2E2F58";
    const std::string four_records =
        record_1 + "\n" + record_2 + "\n" + record_3 + "\n" + record_end + "\n";
    const std::string r1 = record_1 + "\r", r2 = record_2 + "\r", r3 = record_3 + "\r",
                      end = record_end + "\r";
    const std::string sign_on = "\r\nVestrimond APRS digipeater\r\nVersion 2.90\r\nVestro> ";
    const auto lost = [] {
        Loader::Answer none("");
        none.chunks.clear();
        return none;
    };
    const auto and_then = [](Loader::Answer answer, const std::string& more) {
        answer.chunks.push_back(more);
        return answer;
    };
    struct Case {
        const char* what;
        std::vector<std::vector<Loader::Answer>> records;
        std::string messages;
        std::vector<std::string> sent;
    };
    const Case cases[] = {
        {"ACK of line 1 400 ms late, 0x12 to line 2, the ACK of line 3 lost",
         {{late("\x06", 400)}, {"\x12"}, {lost()}},
         error_line("bad record checksum on Line 2, resending.") +
             error_line("timed out on Line 3, resending."),
         {r1, r2, r2, r3, r3, end}},
        {"ACK of line 1 300 ms late (a resend's would come 450 ms after), line 2 refused twice",
         {{late("\x06", 300), late("\x06", 450)}, {"\x15", "\x15"}},
         error_line("validation on Line 2, resending.") +
             error_line("validation on Line 2, resending."),
         {r1, r2, r2, r2, r3, end}},
        {"noise before the ACK of line 1, then 0x12 to line 3",
         {{"\x7f\x06"}, {}, {"\x12"}},
         error_line("bad record checksum on Line 3, resending."),
         {r1, r2, r3, r3, end}},
        {"a lost ACK, then the new firmware's sign-on after the last ACK",
         {{lost()}, {}, {}, {and_then("\x06", sign_on)}},
         error_line("timed out on Line 1, resending."),
         {r1, r1, r2, r3, end}},
        {"the last record's ACK lost, the sign-on after its resend's",
         {{}, {}, {}, {lost(), and_then("\x06", sign_on)}},
         error_line("timed out on Line 4, resending."),
         {r1, r2, r3, end, end}},
        {"ACK 1.1 s after the record", {{late("\x06", 1100)}}, "", {r1, r2, r3, end}},
        {"NAK 900 ms after the record, ACK 1 s after the resend",
         {{late("\x15", 900), late("\x06", 1000)}},
         error_line("validation on Line 1, resending."),
         {r1, r1, r2, r3, end}},
    };
    for (const Case& c : cases) {
        Loader loader;
        loader.records = c.records;
        Update run = update(loader, four_records);
        EXPECT_EQ(run.result, 0) << c.what;
        EXPECT_EQ(without_progress(run.out),
                  firmware_warning + connected + records_start + c.messages + "\n" + disconnected)
            << c.what;
        EXPECT_EQ(record_writes(), c.sent) << c.what;
    }
}

TEST(FirmwareUpdate, RecordGoesAgainOnlyAfterItsAnswerCouldNoLongerCome) {
    // Line 2's first transmission and what the loader says to it; its resend
    // is acknowledged. What came after a refusal is read with it until the
    // line has been quiet 100 ms, but no more than 64 bytes of it: a line
    // that never goes quiet does not hold the update.
    const auto noise_every = [](unsigned every_ms, int count) {
        Loader::Answer answer("\x15");
        answer.chunks.insert(answer.chunks.end(), static_cast<std::size_t>(count), "N");
        answer.every_ms = every_ms;
        return answer;
    };
    Loader::Answer lost("");
    lost.chunks.clear();
    struct Case {
        const char* what;
        Loader::Answer answer;
        unsigned resent_after_ms;
    };
    const Case cases[] = {
        {"lost: 100 ms, then 1.2 s for a late answer", lost, 1300},
        {"refused, then the line is quiet", "\x15", 100},
        {"refused, a byte 90 ms after it, then quiet", noise_every(90, 1), 190},
        {"refused, then a byte every 50 ms for ever", noise_every(50, 100), 64 * 50},
    };
    for (const Case& c : cases) {
        Loader loader;
        loader.records = {{}, {c.answer}};
        Update run = update(loader, three_records);
        EXPECT_EQ(run.result, 0) << c.what;
        const auto& at = port_script::state.write_ms;
        ASSERT_EQ(at.size(), 4u + 4u) << c.what;
        EXPECT_EQ(record_writes()[1], record_writes()[2]) << c.what;
        EXPECT_EQ(at[6] - at[5], c.resent_after_ms) << c.what;
    }
}

TEST(FirmwareUpdate, BufferFullOrFatalAnswerEndsTheUpdateAtOnce) {
    struct Case {
        std::string answer;
        int result;
        std::string message;
    };
    const Case cases[] = {
        {"\x17", -14, error_line("buffer full on Line 3- aborting!")},
        {"\x18", -13, error_line("fatal on Line 3- aborting!")},
        // The loader refused the record and gave up in the same answer.
        {"\x15\x18", -13, error_line("fatal on Line 3- aborting!")},
        {"\x7f\x17\x18", -14, error_line("buffer full on Line 3- aborting!")},
    };
    for (const Case& c : cases) {
        Loader loader;
        loader.records = {{"\x06"}, {c.answer}};
        Update run = update(loader, three_records);
        EXPECT_EQ(run.result, c.result);
        EXPECT_EQ(without_progress(run.out),
                  firmware_warning + connected + records_start + c.message + disconnected);
        EXPECT_EQ(record_writes().size(), 2u) << "the record is not sent again";
    }
}

TEST(FirmwareUpdate, LoaderAnswerCountsOnlyAmongTheFilledPositions) {
    const std::string no_prompt = "\n\a\aError: did not receive the Vestrimond Firmware prompt!\n";
    const std::string twenty_one = "0123456789abcdefghij\x05";
    struct Case {
        const char* what;
        Loader loader;
        int result;
        std::string out;
    };
    const Case cases[] = {
        {"other bytes before the prompt", prompting({"", "ab\x05"}), 0, connected},
        {"prompt only in the second read", prompting({"", "", "\x05"}), 0, connected},
        {"other bytes before the sync answer", syncing({"ab\x06"}), 0, connected},
        {"silence", prompting({""}), -6,
         no_prompt + "\nRead #1 got 0 chars\nRead #2 got 0 chars:\n\n"},
        // An early prompt read before the port was reopened is stale.
        {"prompt before the reopening",
         prompting({"\x05"}),
         -6,
         no_prompt + "\nRead #1 got 0 chars\nRead #2 got 0 chars:\n\n"},
        {"prompt after the first 20 bytes",
         prompting({"", twenty_one}),
         -6,
         no_prompt + "\nRead #1 got 1 char\nRead #2 got 19 chars:\n"
                     "0x30 0x31 0x32 0x33 0x34 0x35 0x36 0x37 0x38 0x39 "
                     "0x61 0x62 0x63 0x64 0x65 0x66 0x67 0x68 0x69 0x6a \n"},
        {"one noise byte in the second read",
         prompting({"", "", "~"}),
         -6,
         no_prompt + "\nRead #1 got 0 chars\nRead #2 got 1 char:\n0x7e \n"},
    };
    for (const Case& c : cases) {
        Update run = update(c.loader, three_records);
        EXPECT_EQ(run.result, c.result) << c.what;
        std::string expected = firmware_warning + c.out;
        EXPECT_EQ(without_progress(run.out).substr(0, expected.size()), expected) << c.what;
        if (c.result != 0) {
            EXPECT_EQ(port_script::state.writes.size(), 2u) << c.what;
        }
    }
}

TEST(FirmwareUpdate, MissingSyncOrIdentifierAnswerIsDumped) {
    const std::string zeros = "[00] [00] [00] [00] [00] [00] [00] [00] [00] [00] [00] [00] ";
    Loader noisy_sync;
    noisy_sync.after_sync = {"a~\x7f", "\x06"};
    Update run = update(noisy_sync, three_records);
    EXPECT_EQ(run.result, -8);
    EXPECT_EQ(run.out, firmware_warning +
                           "\n\a\aError: did not synchronize with the Vestrimond!\n"
                           "\nRead #1 got 1 char\nRead #2 got 2 chars:\n"
                           "a ~ [7f] [00] [00] [00] [00] [00] " +
                           zeros + "\n" + disconnected);

    Loader silent_ident;
    silent_ident.after_ident = {""};
    run = update(silent_ident, three_records);
    EXPECT_EQ(run.result, -10);
    EXPECT_EQ(run.out, firmware_warning + connected +
                           "\n\a\aError: did not receive VeMoNd identifier acknowledgement!\n"
                           "\nRead #1 got 0 chars\nRead #2 got 0 chars:\n"
                           "[00] [00] [00] [00] [00] [00] [00] [00] " +
                           zeros + "\n" + disconnected);
}

TEST(FirmwareUpdate, FailedWriteEndsTheUpdate) {
    struct Case {
        int write;
        int result;
        std::string before;
        std::string message;
    };
    auto write_error = [&](int count) {
        return "\a\aError: wrote 0 of " + std::to_string(count) +
               ", got error on port COM3: scripted failure\n";
    };
    const Case cases[] = {
        {0, -7, "",
         write_error(2) + "\n\a\aError: wrote interrupt character, got error on port COM3\n"},
        {1, -7, firmware_warning,
         write_error(6) + "\n\a\aError: wrote reset command, got error on port COM3\n"},
        {2, -7, firmware_warning,
         write_error(1) + "\n\a\aError: wrote FIRMSYNC sync character, got error on port COM3\n"},
        {3, -9, firmware_warning + connected,
         write_error(9) + "\n\a\aError: wrote VeMoNd1.0 identifier, got error on port COM3\n"},
        {4, -11, firmware_warning + connected + records_start,
         write_error(44) +
             "\a\aError: wrote FIRMSYNC attention character, got error on port COM3\n"},
    };
    for (const Case& c : cases) {
        std::string path = hex_file(three_records).path();
        install(Loader{});
        port_script::state.fail_write_at = c.write;
        TypedInput enter("\n");
        testing::internal::CaptureStdout();
        int result = firmware("COM3", path.c_str(), typed_enter);
        std::string out = testing::internal::GetCapturedStdout();
        EXPECT_EQ(result, c.result) << c.write;
        EXPECT_EQ(out, c.before + c.message + disconnected) << c.write;
        EXPECT_FALSE(port_script::state.is_open);
    }
}

TEST(FirmwareUpdate, FileAndPortFailures) {
    const std::string file_error = "\a\aError: Firmware file has some kind of error!\n";
    Update run = update({}, ":0100000000FE\n");
    EXPECT_EQ(run.result, -4);
    EXPECT_EQ(run.out,
              "\a\aError: checksum mismatch (0xff) for line 1 in Firmware file!\n" + file_error);
    EXPECT_EQ(port_script::state.opens, 0);

    install({});
    port_script::state.open_result = -2;
    testing::internal::CaptureStdout();
    EXPECT_EQ(firmware("COM3", hex_file(three_records).c_str(), typed_enter), -5);
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "\a\aError: could not open COM port COM3\n");

    // A name that the port name cannot hold whole is not opened cut short.
    install({});
    const std::string long_name = "/dev/" + std::string(300, 'x');
    testing::internal::CaptureStdout();
    EXPECT_EQ(firmware(long_name.c_str(), hex_file(three_records).c_str(), typed_enter), -5);
    EXPECT_EQ(testing::internal::GetCapturedStdout(),
              "\a\aError: could not open COM port " + long_name + "\n");
    EXPECT_EQ(port_script::state.opens, 0);

    Loader unopenable;
    unopenable.reopen_result = -2;
    run = update(unopenable, three_records);
    EXPECT_EQ(run.result, -5);
    EXPECT_EQ(run.out, firmware_warning + "\a\aError: could not open COM port COM3\n");
    EXPECT_EQ(port_script::state.closes, 1);

    testing::internal::CaptureStdout();
    EXPECT_EQ(firmware("COM3", nullptr, typed_enter), -1);
    EXPECT_EQ(firmware("COM3", "tests/no/such/file.hex", typed_enter), -2);
    EXPECT_EQ(testing::internal::GetCapturedStdout(),
              "firmware: Error: param filename is invalid\n"
              "\a\aError: cannot open tests/no/such/file.hex\n");
}

TEST(FirmwareUpdate, FileThatLostRecordsSinceTheCheckFails) {
    std::string path = hex_file(three_records).path();
    Loader loader;
    install(loader);
    auto device = port_script::state.on_write;
    port_script::state.on_write = [device, path](const std::string& w) {
        if (w == "reset\n") std::filesystem::resize_file(path, 13 + record_1.size() + 1);
        device(w);
    };
    TypedInput enter("\n");
    testing::internal::CaptureStdout();
    int result = firmware("COM3", path.c_str(), typed_enter);
    std::string out = testing::internal::GetCapturedStdout();
    EXPECT_EQ(result, -4);
    EXPECT_EQ(without_progress(out), firmware_warning + connected + records_start + "\n" +
                                         "\a\aError: Firmware file has some kind of error!\n" +
                                         disconnected);
    EXPECT_EQ(record_writes(), std::vector<std::string>{record_1 + "\r"});
}

TEST(FirmwareUpdate, FileThatChangedSinceTheCheckIsNotSentFurther) {
    const std::string spoilt_record_2 = ":10001000101112131415161718191A1B1C1D1E1F00";
    struct Case {
        const char* what;
        std::string contents;  // after the check, as the device resets
        std::vector<std::string> sent;
    };
    const Case cases[] = {
        {"a record added",
         three_records + "\n" + record_end + "\n",
         {record_1 + "\r", record_2 + "\r", record_end + "\r"}},
        {"a record spoilt",
         "; test image\n" + record_1 + "\n" + spoilt_record_2 + "\n" + record_end + "\n",
         {record_1 + "\r"}},
        {"a record with a negative count",
         "; test image\n" + record_1 + "\n:-1000001\n" + record_end + "\n",
         {record_1 + "\r"}},
    };
    for (const Case& c : cases) {
        const TempFile& file = hex_file(three_records);
        install(Loader{});
        auto device = port_script::state.on_write;
        port_script::state.on_write = [device, &file, &c](const std::string& w) {
            if (w == "reset\n") file.write(c.contents);
            device(w);
        };
        TypedInput enter("\n");
        testing::internal::CaptureStdout();
        int result = firmware("COM3", file.c_str(), typed_enter);
        std::string out = testing::internal::GetCapturedStdout();
        EXPECT_EQ(result, -4) << c.what;
        EXPECT_EQ(without_progress(out), firmware_warning + connected + records_start + "\n" +
                                             "\a\aError: Firmware file has some kind of error!\n" +
                                             disconnected)
            << c.what;
        EXPECT_EQ(record_writes(), c.sent) << c.what;
    }
}

TEST(FirmwareUpdate, ByteOrderMarkBeforeTheFirstRecordIsNotPartOfIt) {
    Update run = update({}, "\xEF\xBB\xBF" + record_1 + "\n" + record_2 + "\n" + record_end);
    EXPECT_EQ(run.result, 0);
    EXPECT_EQ(record_writes(),
              (std::vector<std::string>{record_1 + "\r", record_2 + "\r", record_end + "\r"}));

    run = update({}, std::string("\xFF\xFE:\0" "0\0", 6));
    EXPECT_EQ(run.result, -2);
    EXPECT_EQ(run.out.rfind("\a\aError: cannot open ", 0), 0u) << run.out;
    EXPECT_NE(run.out.find("firmware.hex (UTF-16 text: save it as UTF-8 or ANSI text)\n"),
              std::string::npos)
        << run.out;
}

TEST(FirmwareUpdate, LongestRecordGoesOutWhole) {
    std::string data;
    for (int i = 0; i < 128; ++i) data += "00";
    std::string longest = ":80000000" + data + "80";
    ASSERT_EQ(longest.size(), 267u);
    Update run = update({}, longest + "\n");
    EXPECT_EQ(run.result, 0);
    EXPECT_EQ(record_writes(), std::vector<std::string>{longest + "\r"});
}

TEST(FirmwareUpdate, EnterLineIsConsumedWhole) {
    install(Loader{});
    std::string path = hex_file(three_records).path();
    TypedInput typed(std::string(2000, 'x') + " exit\nnext\n");
    testing::internal::CaptureStdout();
    EXPECT_EQ(firmware("COM3", path.c_str(), typed_enter), 0);
    char line[64];
    EXPECT_EQ(read_console_line("", line, sizeof line), ConsoleRead::line);
    testing::internal::GetCapturedStdout();
    EXPECT_STREQ(line, "next");
}

}  // namespace
