#pragma once

#include <cstdint>
#include <initializer_list>
#include <vector>

// A serial driver that does not do what the port layer asks, played by this
// test program's own ioctl, which the port layer calls in place of the
// system's. Nothing is changed until a test asks for it.

// From now on the line settings read from the driver show this rate (0: the
// one it has) and these control bits set as well, whatever was written.
void driver_keeps(uint32_t rate, uint32_t control_bits);

// From now on the driver refuses new line settings with this error (0: it
// takes them).
void driver_refuses_settings(int error);

// From now on the system refuses the termios2 calls (TCGETS2, TCSETS2) with
// ENOTTY, as emulated and sandboxed systems do.
void driver_lacks_termios2();

// The next queries of the output queue are answered with these counts of
// bytes waiting, in turn; then the system answers again.
void driver_reports_output_queue(std::initializer_list<int> counts);
int output_queue_reports_left();

// The queues that the port layer has flushed (TCIFLUSH, TCOFLUSH or
// TCIOFLUSH) since the last call, in turn. Flushes go to the system as well.
std::vector<int> take_flushes();

// From now on the driver knows the serial flags (TIOCGSERIAL) and has these;
// the flags that the port layer writes (TIOCSSERIAL) are kept, in turn, and
// read back. -1: a driver that does not know them (the system answers).
void driver_has_serial_flags(int flags);
std::vector<int> take_serial_flags_written();

// The ioctl requests that the port layer made since the last call, in turn.
std::vector<unsigned long> take_requests();

// Back to the system's own answers.
void driver_behaves();
