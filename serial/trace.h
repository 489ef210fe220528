#pragma once

#include <cstdint>

// The trace of the port (--trace FILE): every byte to and from the device and
// the port's events, one line each, with the milliseconds since the trace
// began. Each line is written out as soon as it is complete, so that the
// trace of a program that ended abruptly is whole up to that point. Both
// port implementations report here; with no trace started, nothing happens.
//
//      0.141 open COM1 19200
//      0.149 purge discarded 0
//    110.382 out 03 0a 76 65 72 73 69 6f 6e 0a                   |..version.|
//    110.477 in  56 65 73 74 72 6f 3e 20                         |Vestro> |
//   2122.432 timeout read 2010 ms got 61 of 200
//   2143.202 close
//
// A line of bytes holds at most 16 of them: two hex digits each, then the
// bytes as text between bars, with '.' for a byte that is not printable. The
// lines of one read or write carry its one time.

// Starts the trace in the file at `path`, emptied first. False when the file
// cannot be written (errno tells why).
bool start_trace(const char* path);

// Whether a trace is being written.
bool tracing();

enum class trace_direction { out, in };

// `count` bytes written to the device (out) or read from it (in), all of
// them, NULs included.
void trace_bytes(trace_direction direction, const void* bytes, int count);

// The port `name` opened at `baud`, or, with the system's text of a
// `failure`, refused ("open NAME BAUD failed: TEXT").
void trace_open(const char* name, int32_t baud, const char* failure);

// The open port's rate changed to `baud`. Nothing is written while no port is
// open: the rate of an opening is on its "open" line.
void trace_rate(int32_t baud);

// Both queues discarded; `discarded` received bytes were in the receive queue
// (-1: the system does not tell).
void trace_purge(long discarded);

// A read or write ("read", "write") whose time of `limit_ms` ran out with
// `done` of `size` bytes.
void trace_timeout(const char* operation, uint64_t limit_ms, int done, int size);

// An operation that failed, with the system's text for it.
void trace_error(const char* operation, const char* text);

// The open port closed. Nothing is written while no port is open.
void trace_close();

// A line of the program's own that explains what follows ("doctor: asking at
// 9600"); begins with "note ".
void trace_note(const char* text);
