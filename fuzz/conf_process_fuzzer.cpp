// Configuration files through conf_process, then both displays of what was
// parsed.

#include <cstddef>
#include <cstdint>
#include <cstring>

#include "config/conf_display.h"
#include "config/conf_parser.h"
#include "config/conf_record.h"
#include "config/path_edit_display.h"
#include "fuzz/fuzz_support.h"

namespace {

InputFile input;

// What every parse, complete or not, leaves within its limits.
void check_record(int result) {
    const conf_layout& r = conf_record;
    expect(r.subst_count <= 8 && r.delete_count <= 8, "path edit counts beyond 8");
    expect(digipath_count >= 0 && digipath_count <= 8, "digi path count beyond 8");
    expect(r.bcomment[43] == '\0', "beacon comment without its terminator");
    expect(std::memchr(r.call, '\0', sizeof r.call) != nullptr, "call without its terminator");
    expect(std::memchr(r.controlcall, '\0', sizeof r.controlcall) != nullptr,
           "control call without its terminator");
    expect(r.widemax <= r.widetotal, "widemax above widetotal");
    for (int i = 0; i < r.subst_count; ++i) {
        expect(r.subst_paths[i].count <= 8, "substitution path of more than 8 addresses");
    }
    expect(r.implicit_action == implicit_pass || r.implicit_action == implicit_drop,
           "implicit action neither pass nor drop");
    expect((result == 0) == (conf_processed == 1), "result and conf_processed disagree");
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    discard_program_output();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    reset_program_state();
    int result = conf_process(input.hold(data, size));
    check_record(result);
    conf_display();
    path_edit_display();
    return 0;
}
