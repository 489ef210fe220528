// Intel HEX firmware files through inhexverify.

#include <cstddef>
#include <cstdint>
#include <cstdio>

#include "fuzz/fuzz_support.h"
#include "transfer/inhex.h"

namespace {

InputFile input;

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    discard_program_output();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    std::FILE* fp = std::fopen(input.hold(data, size), "r");
    expect(fp != nullptr, "input file not opened");
    int records = inhexverify(fp);
    expect(records >= 1 || (records <= -2 && records >= -8), "result outside its codes");
    if (records >= 1) expect(std::feof(fp) != 0, "a file that passed was not read to its end");
    std::fclose(fp);
    return 0;
}
