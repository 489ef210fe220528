// Rules files through rules_process, then the rules display.

#include <cstddef>
#include <cstdint>
#include <cstring>

#include "config/conf_record.h"
#include "fuzz/fuzz_support.h"
#include "rules/rule_display.h"
#include "rules/rule_parser.h"
#include "rules/rule_record.h"

namespace {

InputFile input;

void check_rules(int result) {
    const uint16_t count = conf_record.rule_count;
    expect(count <= rule_table_size, "rule count beyond the table");
    expect(conf_record.implicit_action == implicit_pass ||
               conf_record.implicit_action == implicit_drop,
           "implicit action neither pass nor drop");
    expect((result == 0) == (rules_processed == 1), "result and rules_processed disagree");
    if (result != 0) expect(count == 0, "a failed parse left rules to download");
    for (int i = 0; i < count; ++i) {
        const rule_record& r = rule_table[static_cast<size_t>(i)];
        expect(r.rule_type >= rule_destin && r.rule_type <= rule_digi, "record of no rule type");
        expect((r.mods & 0x80) == 0, "mods bit 7 set");
        for (int j = 0; j < i; ++j) {
            const rule_record& earlier = rule_table[static_cast<size_t>(j)];
            expect(!(earlier.mods == r.mods && earlier.rule_type == r.rule_type &&
                     std::memcmp(earlier.slot, r.slot, sizeof r.slot) == 0),
                   "duplicate rules accepted");
        }
    }
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    discard_program_output();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    reset_program_state();
    int result = rules_process(input.hold(data, size));
    check_rules(result);
    rules_display();
    return 0;
}
