#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

// The serial port while fuzzing, in place of the platform's port layer: no
// device at all, or a device whose answers are bytes chosen by the fuzzer.
// No time passes: a read that finds nothing returns 0 at once, as a read
// whose time-out ran out.
//
// A misuse that the real port would answer with fatal_exit (a read on a
// closed port, a bad argument) or that leaves a port handle behind (opening
// a second port while one is open) stops the run as a finding.
namespace fuzz_port {

// No device: every opening is refused like a port that does not exist.
void unplug();

// A device whose answers are `data`: a sequence of chunks, each a length byte
// L followed by L bytes (fewer at the end of the data). A read takes bytes
// from the current chunk only, at most the size it asks for, and a chunk of
// length 0 is one read that finds nothing. NUL bytes never reach the program,
// as on the real line. After the last chunk the device is silent.
void plug(const uint8_t* data, std::size_t size);

// Faults of the host's own side: the write with this number (counted from 0)
// fails; every opening whose bit is set in `open_failures` (bit 0 the first
// opening, bit 1 the second, ...) is refused.
void set_faults(int failing_write, unsigned open_failures);

// What crossed the line, in order.
struct Event {
    bool is_write;
    int size;           // bytes written, or the size a read asked for
    int timeout_ms;     // reads only
    std::string bytes;  // written, or delivered to the program
};

const std::vector<Event>& events();
bool is_open();
int opens();

}  // namespace fuzz_port
