#include "sim/line_faults.h"

#include "sim/log.h"

namespace sim {

uint64_t LineFaults::Generator::next() {
    uint64_t z = (state += 0x9E3779B97F4A7C15ull);
    z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
    z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
    return z ^ (z >> 31);
}

LineFaults::LineFaults(const LineOptions& options, Direction direction)
    : noise_(options.noise.probability),
      drop_(options.drop.probability),
      noise_draws_{options.noise.seed * 4 + static_cast<uint64_t>(direction)},
      drop_draws_{options.drop.seed * 4 + static_cast<uint64_t>(direction) + 0x5DEECE66Dull} {}

int LineFaults::pass(uint8_t byte) {
    ++bytes_;
    if (drop_ > 0 && drop_draws_.strikes(drop_)) {
        ++dropped_;
        line_fault();
        return -1;
    }
    if (noise_ > 0 && noise_draws_.strikes(noise_)) {
        ++flipped_;
        line_fault();
        byte ^= static_cast<uint8_t>(1u << (noise_draws_.next() % 8));
    }
    return byte;
}

}  // namespace sim
