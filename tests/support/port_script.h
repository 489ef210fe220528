#pragma once

#include <cstdint>
#include <deque>
#include <functional>
#include <string>
#include <vector>

// A scripted serial port for unit tests: it records what the program writes
// and answers reads from scripted chunks. It keeps a clock of its own: a chunk
// arrives at a given time, a read takes it when it has arrived by the read's
// time-out, and a read that finds nothing lets its whole time-out pass.
namespace port_script {

struct ReadCall {
    int size;
    int timeout_ms;
    int got;
    unsigned at_ms;  // when the read began
};

struct Chunk {
    std::string bytes;  // empty: one read that finds nothing, whenever it comes
    unsigned at_ms;     // when it arrives
};

struct State {
    bool is_open = false;
    int32_t baud = 0;
    int opens = 0;
    int closes = 0;
    int rate_changes = 0;  // change_port_rate on the open port
    int purges = 0;
    unsigned now_ms = 0;     // the clock: read time-outs and pauses let it pass
    unsigned slept_ms = 0;   // every pause of the program, added up
    int open_result = 0;     // what open_port and change_port_rate return
    int latency_timer_ms = -1;  // what adapter_latency_timer_ms returns
    int fail_write_at = -1;  // the 0-based write that fails (-3), or -1
    std::vector<std::string> writes;  // every write, in order
    std::vector<unsigned> write_ms;   // when each of them was written
    std::vector<ReadCall> reads;      // every read, in order
    // Input, in order of arrival: a read takes bytes from the front chunk
    // only, up to its size.
    std::deque<Chunk> chunks;
    // Called after every successful write with its bytes; may feed answers.
    std::function<void(const std::string&)> on_write;
};

extern State state;

void reset();
void feed(const std::string& bytes);  // one chunk that arrives now
// One chunk that arrives delay_ms from now, after every chunk that arrives
// before or with it.
void feed_at(unsigned delay_ms, const std::string& bytes);
std::string all_written();            // every write joined

}  // namespace port_script
