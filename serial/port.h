#pragma once

#include <cstdint>

// The program's one serial port. Every operation acts on the one open port;
// the name ("COM3") names it in messages and tells open_port which device to
// open. Failures print their message on standard output and return a
// negative code; a read that cannot be carried out ends the program through
// fatal_exit (code 26).
//
// The platform implementations (port_posix.cpp, port_win32.cpp) are picked by
// the build; a scripted double serves the tests.

// Opens and sets up the port at `baud`: 0, or -1 name missing, -2 open
// refused, -3 set_comm_prop failed, -14 time-outs not settable.
int open_port(const char* name, int32_t baud);

// Changes the rate of the open port to `baud`: what was written goes out
// whole at the old rate, the line is set at the new one and what arrived is
// discarded. The port stays this program's: where the system lets a rate be
// changed on the open device (POSIX), its locks are kept and the modem lines
// are not raised again; elsewhere the port is closed and opened again. With no
// port open it opens one. 0, or the codes of open_port and set_comm_prop;
// after a failure no port is open.
int change_port_rate(const char* name, int32_t baud);

// Checks the port's capabilities and sets 8N1 at `baud` with no flow control.
int set_comm_prop(const char* name, int32_t baud);

// Writes `count` bytes: count on success, -1 name missing or count 0,
// -2 bytes missing, -3 the write failed or was short.
int write_port(const char* name, const void* bytes, int count);

// Reads up to `size` bytes, waiting at most timeout_ms + 10 + size * (10000 /
// baud) ms. Returns how many arrived (0 when none: no error). Received NUL
// bytes never reach the caller.
int read_port(const char* name, void* buffer, int size, int timeout_ms);

// Discards both the transmit and the receive queue.
void purge_port();

// Closes the open port; nothing happens when none is open.
void close_port();

// After a failed open_port or change_port_rate, what the user can do about it.
// On POSIX: when the system refused the device for want of permission, one
// line that says how to get access to it; when another program holds the
// device's lock file, one line that names that program; nothing otherwise.
// On Windows: that another program holds the port, or that it does not exist,
// with the ports and the driverless adapters this machine has.
void print_open_hint();

// The latency timer, in milliseconds, of the USB adapter behind the named
// port, when the system reports one that the program cannot lower itself (an
// FTDI adapter on Windows, where only an administrator may change it); -1
// otherwise. The POSIX port layer asks the driver for low latency itself.
int adapter_latency_timer_ms(const char* name);
