#include "serial/comm_properties_win32.h"

#include <cstdio>

namespace {

struct capability_check {
    DWORD (*value)(const COMMPROP& properties);
    DWORD required;
    const char* message;  // takes the port name and the value read
    int code;
};

const capability_check capability_checks[] = {
    {[](const COMMPROP& p) -> DWORD { return p.dwSettableParams; },
     SP_PARITY | SP_BAUD | SP_DATABITS | SP_STOPBITS,
     "\a\aError: required comm properties for port %s not settable: Settable Params 0x%08x\n", -7},
    {[](const COMMPROP& p) -> DWORD { return p.wSettableData; }, DATABITS_8,
     "\a\aError: 8 data bits comm properties for port %s not settable: Settable Data 0x%04x\n", -9},
    {[](const COMMPROP& p) -> DWORD { return p.wSettableStopParity; }, STOPBITS_10 | PARITY_NONE,
     "\a\aError: 1 stop bit, no parity comm properties for port %s not settable: Settable Stop & "
     "Parity 0x%04x\n",
     -10},
    {[](const COMMPROP& p) -> DWORD { return p.dwProvCapabilities; },
     PCF_TOTALTIMEOUTS | PCF_INTTIMEOUTS,
     "\a\aError: timeouts comm properties for port %s not settable: Settable Prov Cap 0x%08x\n",
     -11},
};

}  // namespace

WORD comm_prop_buffer_size(WORD reported) {
    return reported > sizeof(COMMPROP) ? reported : static_cast<WORD>(sizeof(COMMPROP));
}

int check_comm_properties(const char* name, const COMMPROP& properties) {
    for (const capability_check& check : capability_checks) {
        DWORD value = check.value(properties);
        if ((value & check.required) != check.required) {
            std::printf(check.message, name, static_cast<unsigned>(value));
            return check.code;
        }
    }
    return 0;
}
