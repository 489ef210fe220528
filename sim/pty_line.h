#pragma once

#include <array>
#include <chrono>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <deque>

#include "sim/line.h"
#include "sim/line_faults.h"
#include "sim/wire.h"

namespace sim {

// The device's end of the serial line: the master side of a pty whose slave
// the host opens as its serial port. The host may open and close the slave
// any number of times.
//
// The pty carries no real rate: the line compares the rate the host set on
// its end with the device's own. A receiver at a rate other than the sender's
// hears other bytes than were sent (see hear()), in both directions. The pty
// tells the host's rate as it is now, not as it was when a byte was written,
// and a host changes its rate by closing its port and opening it again, or by
// setting its end to the new rate at once (where a real port would first
// have sent everything). The pty hands what the host wrote to the line in
// pieces, and on a loaded machine a piece can come well after the change.
// So once the host's end opened, closed or changed its rate, the bytes the
// line takes count as sent at any rate the end was seen at since just before
// the change, until the line finds nothing to read `settle_ms` or more after
// it: what a host wrote just before it reopened at a new rate is heard at the
// old one, however late the line gets to it. Other bytes count as sent at the
// rate the host's end has now.
// A host whose end shows no rate at all (ignore_host_rate) is heard, and
// hears, as if it always had the device's rate; its end at 0 baud is not a
// hang-up either (only closing it is).
//
// With pacing, bytes take their time on the line: each direction carries one
// frame of 10 bits at a time at the sender's rate, and the far end has a byte
// when its frame has ended. Noise and loss strike bytes in both directions.
//
// With a latency timer, the host's end is a USB adapter: it holds the bytes
// it receives until its timer, started by the first byte it holds, runs out,
// or until it holds a USB packet's worth, and hands them to the host
// together. A lone byte waits the whole timer: the longest an adapter holds
// it.
class PtyLine : public Line {
  public:
    // read_byte reports hung_up once the host has kept its end closed, or at
    // 0 baud, this long; a host that reopens sooner (a baud change, the
    // firmware update's reopen) does not hang up the line.
    static constexpr int hang_up_after_ms = 500;

    // How long after a change of the host's end (an opening, a closing, a
    // new rate) the pty may still hand over bytes written before it.
    static constexpr int settle_ms = 100;

    explicit PtyLine(const LineOptions& options = {});
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

    // The bytes leave at once, or with pacing one frame after the other at
    // the device's rate while the device goes on. Bytes the host does not
    // take (its end closed, or not read for a second) are lost, as on a real
    // line.
    void write(const void* bytes, std::size_t count) override;
    using Line::write;

    // Closes the master: the host's reads of the slave fail (EIO). Every read
    // of the device reports hung_up from then on, and writes are dropped.
    void cut_line() override;
    bool cut() const { return master_ < 0; }

    // The rate of the device's end.
    void set_rate(int32_t rate);
    int32_t rate() const { return rate_; }

    // Waits until a host has the slave open at a rate other than 0 baud (a
    // host hangs a serial line up by setting it to 0), or sent something, or
    // a stop is requested.
    void wait_for_host();

    // One line on what crossed the line and the faults it met.
    void print_counts(std::FILE* stream) const;

    // From now on, every byte read from the host's end goes to `from_host`
    // and every byte handed to it goes to `to_host` (either may be null):
    // what the host's port wrote and what it was given to read, after the
    // line's faults, as they are on the pty.
    void record(std::FILE* from_host, std::FILE* to_host);

  private:
    using clock = wire_clock;
    enum class Poll { data, quiet, host_absent };

    // The host rates a byte may have been sent at, the newest last.
    struct Rates {
        std::array<int32_t, 4> rate{};
        int count = 0;
        void add(int32_t rate);
        bool has(int32_t rate) const;
        int32_t newest() const { return rate[static_cast<size_t>(count - 1)]; }
    };
    struct Incoming {
        uint8_t byte;
        clock::time_point arrival;
        Rates sent_at;
    };
    struct Outgoing {
        uint8_t byte;
        clock::time_point arrival;
        int32_t sent_at;
    };

    Poll poll_master(clock::time_point until);
    bool host_reopened();
    void watch_host_end(int32_t rate, bool reopened);
    void settle_host_end();
    int receive();
    bool take_arrived();
    void send_arrived();
    void hand_to_host(const uint8_t* bytes, std::size_t count, clock::time_point arrival);
    int32_t host_rate() const;
    bool hangs_up_at(int32_t rate) const;

    LineOptions options_;
    LineFaults to_device_;
    LineFaults to_host_;
    WireSchedule from_host_;
    WireSchedule from_device_;
    int master_ = -1;
    char slave_path_[128] = "";
    int32_t rate_ = 0;
    Rates host_rates_;                 // seen since the host's end settled
    int reopens_ = -1;                 // inotify watch of the host's opens and closes
    bool settling_ = false;            // the host's end changed and has not been quiet since
    clock::time_point changed_at_{};   // when the line last saw the host's end change
    std::deque<Incoming> in_flight_;   // from the host, not yet arrived
    std::deque<uint8_t> heard_;        // arrived at the device, not yet read
    clock::time_point last_arrival_{};  // of the last byte that arrived at the device
    std::deque<Outgoing> outgoing_;    // from the device, not yet at the host
    std::deque<uint8_t> adapter_;      // held by the host's USB adapter
    clock::time_point adapter_due_{};  // when the adapter's timer runs out
    std::deque<uint8_t> to_master_;    // at the host, not yet taken by the pty
    clock::time_point unsent_since_{};
    bool host_absent_ = false;
    clock::time_point absent_since_{};
    std::FILE* record_from_host_ = nullptr;
    std::FILE* record_to_host_ = nullptr;
};

}  // namespace sim
