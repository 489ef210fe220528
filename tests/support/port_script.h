#pragma once

#include <cstdint>
#include <deque>
#include <functional>
#include <string>
#include <vector>

// A scripted serial port for unit tests: it records what the program writes
// and answers reads from scripted chunks. No timing: a read that finds
// nothing returns 0 at once, as a read whose time-out ran out.
namespace port_script {

struct ReadCall {
    int size;
    int timeout_ms;
    int got;
};

struct State {
    bool is_open = false;
    int32_t baud = 0;
    int opens = 0;
    int closes = 0;
    int purges = 0;
    unsigned slept_ms = 0;   // every pause of the program, added up
    int open_result = 0;     // what open_port returns
    int fail_write_at = -1;  // the 0-based write that fails (-3), or -1
    std::vector<std::string> writes;  // every write, in order
    std::vector<ReadCall> reads;      // every read, in order
    // Input: a read takes bytes from the front chunk only, up to its size; an
    // empty chunk stands for one read that finds nothing.
    std::deque<std::string> chunks;
    // Called after every successful write with its bytes; may feed answers.
    std::function<void(const std::string&)> on_write;
};

extern State state;

void reset();
void feed(const std::string& bytes);  // appends one chunk
std::string all_written();            // every write joined

}  // namespace port_script
