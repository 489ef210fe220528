#include "config/conf_display.h"

#include <cstdio>

#include "common/version.h"
#include "config/conf_record.h"

namespace {

const char* yes_no(uint16_t flag) { return flag != 0 ? "Yes" : "No"; }
const char* en_dis(uint16_t flag) { return flag != 0 ? "En" : "Dis"; }

const char* implicit_action_name(uint16_t action) {
    if (action == implicit_drop) return "Drop";
    if (action == implicit_pass) return "Pass";
    return "?";
}

}  // namespace

void conf_display() {
    const conf_layout& c = conf_record;
    std::printf(
        "Configuration %s\nStation Call\t%*s\tSSID %ld\t\tRun Mode %s\n"
        "Base Lat %10.6f\tLon %11.5f    Altitude %ld meters\n"
        "Host baud\t%lu\nGPS  baud\t%lu\nTNC  baud\t%lu\n"
        "WIDE Max %u\tWIDE Total %u\nDupe Window %u sec.\tCall Rate Limit %u sec.\n"
        "Beacon %u sec.\tIcon %c%c\nBeacon Comment: %s\nControl Call: %s\n"
        "NSR: %sabled\tRelay Drop: %sabled",
        program_version, 6, c.call, static_cast<long>(c.ssid), c.run_mode != 0 ? "On" : "Off",
        static_cast<double>(c.base_lat), static_cast<double>(c.base_lon), static_cast<long>(c.altitude),
        static_cast<unsigned long>(c.host_baud), static_cast<unsigned long>(c.gps_baud),
        static_cast<unsigned long>(c.tnc_baud), unsigned{c.widemax}, unsigned{c.widetotal},
        unsigned{c.dupewin}, unsigned{c.ratelimcall}, unsigned{c.beacon}, (c.icon >> 8) & 0xFF,
        c.icon & 0x7F, c.bcomment, c.controlcall, en_dis(c.nsr), en_dis(c.relaydrop));

    std::printf("\nDigi Path[%d]: ", static_cast<int>(digipath_count));
    // An entry of 8 characters has no terminator: the precision keeps the
    // print inside its slot.
    for (int i = 0; i < digipath_count && i < 8; ++i) {
        std::printf("%.*s%s", 8, c.digipath[i], i + 1 < digipath_count ? "," : "");
    }

    std::printf(
        "\nLog Port: %s\nUITrace: %s\tHave GPS: %s\n"
        "Fix Valid: %s\tPass packets without valid position: %s\n"
        "Halt On Error: %s\tDrop Mangled Packet: %s\n"
        "Rule count %u\tImplicit Rule Action: %s\n",
        yes_no(c.log), yes_no(c.uitrace), yes_no(c.havegps), yes_no(c.fixvalid), yes_no(c.nonaprs),
        yes_no(c.haltonerr), yes_no(c.dropmangled), unsigned{c.rule_count},
        implicit_action_name(c.implicit_action));
}
