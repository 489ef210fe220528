#pragma once

#include <cstdint>

namespace sim {

// A fault that strikes each byte on the line with `probability`, drawn from a
// generator started at `seed`: the same seed brings the same faults to the
// same bytes.
struct FaultRate {
    double probability = 0.0;
    uint64_t seed = 1;
};

// How the simulated line behaves (--pace, --noise, --drop, --latency,
// --ignore-host-rate).
struct LineOptions {
    bool pace = false;   // bytes take their time at the rates both ends set
    FaultRate noise;     // a byte hit has one of its 8 bits flipped
    FaultRate drop;      // a byte hit is lost
    int latency_ms = 0;  // a USB adapter's latency timer at the host's end (0: none)
    // The host's end shows no rate (a port whose emulation keeps the rate its
    // guest sets to itself): every byte counts as sent at the device's rate.
    bool ignore_host_rate = false;
};

// The faults of one direction of the line. Each direction draws from its own
// generators, so that what happens to the bytes of one direction does not
// depend on how they interleave with the other's.
class LineFaults {
  public:
    enum class Direction : uint64_t { to_device = 1, to_host = 2 };

    LineFaults(const LineOptions& options, Direction direction);

    // The byte as it arrives: possibly with a bit flipped, or -1 when lost.
    int pass(uint8_t byte);

    uint64_t bytes() const { return bytes_; }
    uint64_t flipped() const { return flipped_; }
    uint64_t dropped() const { return dropped_; }

  private:
    // splitmix64: small, fast, and the same sequence everywhere.
    struct Generator {
        uint64_t state;
        uint64_t next();
        bool strikes(double probability) { return double(next() >> 11) * 0x1.0p-53 < probability; }
    };

    double noise_;
    double drop_;
    Generator noise_draws_;
    Generator drop_draws_;
    uint64_t bytes_ = 0;
    uint64_t flipped_ = 0;
    uint64_t dropped_ = 0;
};

}  // namespace sim
