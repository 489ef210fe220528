// Angle texts through dmctodeg: any text gives an angle within [-360, 360] or
// the error value, never anything else.

#include <cmath>
#include <cstddef>
#include <cstdint>
#include <vector>

#include "angles/dmctodeg.h"
#include "fuzz/fuzz_support.h"

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    discard_program_output();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    // Exactly as long as the input, so that a read past the terminator is found.
    std::vector<char> text(data, data + size);
    text.push_back('\0');
    float angle = dmctodeg(text.data());
    expect(angle == dmctodeg_error || (!std::isnan(angle) && std::fabs(angle) <= 360.0f),
           "dmctodeg returned neither an angle nor its error value");
    return 0;
}
