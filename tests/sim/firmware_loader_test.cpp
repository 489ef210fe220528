#include "sim/firmware_loader.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>
#include <iterator>
#include <string>

#include "sim/log.h"
#include "tests/sim/scripted_line.h"
#include "tests/transfer/temp_file.h"

namespace {

const std::string prompt = "\x05";
const std::string sync = "\x16";
const std::string ack = "\x06";
const std::string identifier = "VeMoNd1.0";
const std::string record_1 = ":10000000000102030405060708090A0B0C0D0E0F78";
const std::string record_end = ":00000001FF";

// The host's side up to the records: the prompt is missed twice, then the
// sync and the identifier go out.
ScriptedLine greeted_line() {
    ScriptedLine line;
    line.pause();
    line.pause();
    line.send(sync + identifier);
    return line;
}

const std::string greeting = prompt + prompt + prompt + ack + ack;

TEST(FirmwareLoader, PromptsUntilSyncThenAcceptsCheckedRecords) {
    TempFile saved("records.hex");
    sim::LoaderOptions options;
    options.save_records = saved.path();
    ScriptedLine line = greeted_line();
    line.send(record_1 + "\r" + record_end + "\r");
    sim::forget_violations();
    sim::run_firmware_loader(line, options);
    EXPECT_EQ(sim::violation_count(), 0);
    EXPECT_EQ(line.written(), greeting + ack + ack);
    EXPECT_EQ(saved.read(), record_1 + "\n" + record_end + "\n");
}

// Each record off the Intel HEX grammar gets the error answer of a loader
// that saw it damaged, and counts as one violation, unless the line damaged it.
TEST(FirmwareLoader, RecordsOffTheGrammarGetTheirErrorByte) {
    struct Case {
        const char* what;
        std::string sent;
        std::string answers;
        bool line_fault = false;  // the line struck a byte of the record
    };
    const std::string data_128 = ":80000000" + std::string(256, '0') + "80";
    const Case cases[] = {
        {"bad checksum", ":0100000000FE\r", "\x12"},
        {"no start character", "10000000\r", "\x11"},
        {"empty line", "\r", "\x11"},
        {"line feed before the record", "\n" + record_end + "\r", "\x11"},
        {"trailing blank", record_end + " \r", "\x15"},
        {"count with a sign", ":-1000001\r", "\x15"},
        {"count with 0x", ":0x000001FF\r", "\x15"},
        {"blank after the colon", ": 0000001FF\r", "\x15"},
        {"letter that is no digit", ":0G000001FF\r", "\x15"},
        {"too short for a record", ":000001FF\r", "\x15"},
        {"count of 16, 15 data bytes", ":10000000000102030405060708090A0B0C0D0E87\r", "\x15"},
        {"type 06", ":00000006FA\r", "\x15"},
        {"129 data bytes", ":81000000" + std::string(258, '0') + "7F\r", "\x15"},
        {"data record at offset 2", ":0100020000FD\r", "\x15"},
        {"longer than the buffer", ":" + std::string(700, '0') + "\r", "\x17"},
        {"cut off by a pause", record_1.substr(0, 20), "\x15"},
        {"bad checksum from a fault of the line", ":0100000000FE\r", "\x12", true},
    };
    for (const Case& c : cases) {
        ScriptedLine line = greeted_line();
        if (c.line_fault) line.fault();
        line.send(c.sent);
        line.pause();
        line.send(data_128 + "\r" + ":040004000102030AE8\r" + ":02000004ABCD82\r");
        sim::forget_violations();
        sim::run_firmware_loader(line, {});
        EXPECT_EQ(line.written(), greeting + c.answers + ack + ack + ack) << c.what;
        EXPECT_EQ(sim::violation_count(), c.line_fault ? 0 : 1) << c.what;
        EXPECT_EQ(sim::line_departure_count(), c.line_fault ? 1 : 0) << c.what;
    }
}

TEST(FirmwareLoader, ScriptedAnswersComeFirstForTheirRecord) {
    TempFile saved("records.hex");
    sim::LoaderOptions options;
    options.save_records = saved.path();
    options.record_answers = {{2, {0x12, -1, 0x41}}, {3, {0x06}}};
    ScriptedLine line = greeted_line();
    // Record 1 once, record 2 four times, record 3 (acknowledged by script
    // although its checksum is wrong), then record 4.
    std::string bad = ":0100000000FE";
    line.send(record_1 + "\r" + record_end + "\r" + record_end + "\r" + record_end + "\r" +
              record_end + "\r" + bad + "\r" + record_end + "\r");
    sim::forget_violations();
    sim::run_firmware_loader(line, options);
    EXPECT_EQ(sim::violation_count(), 1) << "the checksum only: each record not acknowledged "
                                            "went again";
    EXPECT_EQ(line.written(), greeting + ack + "\x12" + "A" + ack + ack + ack);
    EXPECT_EQ(saved.read(), record_1 + "\n" + record_end + "\n" + bad + "\n" + record_end + "\n");
}

TEST(FirmwareLoader, FaultOptionsWithholdTheAnswers) {
    sim::LoaderOptions options;
    options.no_prompt = true;
    ScriptedLine line;
    line.pause();
    line.send(sync);
    sim::run_firmware_loader(line, options);
    EXPECT_EQ(line.written().substr(0, 16), "Vestro> Vestro> ");
    EXPECT_EQ(line.written().find('\x05'), std::string::npos);

    options = {};
    options.no_sync_ack = true;
    line = ScriptedLine();
    line.send(sync);
    sim::run_firmware_loader(line, options);
    EXPECT_EQ(line.written(), prompt + "?sync");

    options = {};
    options.no_ident_ack = true;
    line = ScriptedLine();
    line.send(sync + identifier + record_end + "\r");
    sim::run_firmware_loader(line, options);
    EXPECT_EQ(line.written(), prompt + ack + ack);

    options = {};
    options.hang_up_record = 2;
    line = ScriptedLine();
    line.send(sync + identifier + record_1 + "\r" + record_end + "\r" + record_end + "\r");
    sim::run_firmware_loader(line, options);
    EXPECT_EQ(line.written(), prompt + ack + ack + ack);
    EXPECT_TRUE(line.cut());

    // A host that sends the next record before the answer came: after a
    // silent answer, or while a slow loader holds its answer back.
    options = {};
    options.record_answers = {{1, {-1}}};
    line = ScriptedLine();
    line.send(sync + identifier + record_1 + "\r" + record_end + "\r");
    sim::forget_violations();
    sim::run_firmware_loader(line, options);
    EXPECT_EQ(sim::violation_count(), 1);

    options = {};
    options.slow_answer_ms = 5;
    for (bool waits : {false, true}) {
        line = greeted_line();
        line.send(record_1 + "\r");
        if (waits) line.pause();
        line.send(record_end + "\r");
        if (waits) line.pause();
        sim::forget_violations();
        sim::run_firmware_loader(line, options);
        EXPECT_EQ(line.written(), greeting + ack + ack) << waits;
        EXPECT_EQ(sim::violation_count(), waits ? 0 : 1) << waits;
    }

    line = ScriptedLine();
    line.send(sync + "VeMoNd2.0" + record_end + "\r");
    sim::forget_violations();
    sim::run_firmware_loader(line, {});
    EXPECT_EQ(line.written(), prompt + ack + "\x15");
    EXPECT_FALSE(line.finished());
    EXPECT_EQ(sim::violation_count(), 1);

    // A host that gave the update up interrupts, to talk to the console.
    for (const std::string& before : {std::string(), sync + identifier}) {
        line = ScriptedLine();
        line.send(before + "\x03\nversion\n");
        sim::forget_violations();
        sim::run_firmware_loader(line, {});
        EXPECT_FALSE(line.finished());
        EXPECT_EQ(sim::violation_count(), 0);
    }
}

}  // namespace
