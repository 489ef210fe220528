#pragma once

#include <chrono>
#include <cstddef>
#include <cstdint>

#include "sim/line.h"

namespace sim {

// The device's end of the serial line: the master side of a pty whose slave
// the host opens as its serial port. The host may open and close the slave
// any number of times.
//
// The pty carries no real rate, so the line compares the rate the host set on
// its end with the device's own: bytes the host sends while the two differ
// are lost, as a UART at the wrong rate would lose them. The host's rate is
// sampled every few milliseconds, so for 50 ms after a change of its rate the
// host is still heard at the old one (what it wrote just before the change
// may be read just after it).
class PtyLine : public Line {
  public:
    // read_byte reports hung_up once the host has kept its end closed this
    // long; a host that reopens sooner (a baud change, the firmware update's
    // reopen) does not hang up the line.
    static constexpr int hang_up_after_ms = 500;

    PtyLine() = default;
    PtyLine(const PtyLine&) = delete;
    PtyLine& operator=(const PtyLine&) = delete;
    ~PtyLine() override;

    // Opens the pty pair and sets the slave raw at `rate`. False with errno
    // when that fails.
    bool open(int32_t rate);

    // The path of the slave: the host's serial port.
    const char* slave_path() const { return slave_path_; }

    // Also hung_up when a stop was requested.
    int read_byte(int timeout_ms) override;

    // Bytes the host does not take (its end closed, or not read for a second)
    // are lost, as on a real line.
    void write(const void* bytes, std::size_t count) override;
    using Line::write;

    // Closes the master: the host's reads of the slave fail (EIO). Every read
    // of the device reports hung_up from then on, and writes are dropped.
    void cut_line() override;
    bool cut() const { return master_ < 0; }

    // The rate of the device's end.
    void set_rate(int32_t rate);
    int32_t rate() const { return rate_; }

    // Waits until a host has the slave open or sent something, or a stop is
    // requested.
    void wait_for_host();

  private:
    using clock = std::chrono::steady_clock;
    enum class Poll { data, quiet, host_absent };

    Poll poll_master(int timeout_ms);
    int receive();
    bool rates_agree();

    int master_ = -1;
    char slave_path_[128] = "";
    unsigned char received_[512];
    int next_ = 0;
    int end_ = 0;
    int32_t rate_ = 0;
    clock::time_point last_agreement_{};
    bool host_absent_ = false;
    clock::time_point absent_since_{};
};

}  // namespace sim
