// The one place where the Windows program reads what the system knows of its
// COM ports: the DOS device names, the SERIALCOMM key and SetupAPI. Tests give
// the decision code (com_devices.cpp) recorded tables instead.
#include <windows.h>

#include <cfgmgr32.h>
#include <setupapi.h>

#include <string>

#include "serial/com_devices.h"

namespace {

constexpr int last_com_number = 256;

std::string utf8(const wchar_t* text) {
    int size = WideCharToMultiByte(CP_UTF8, 0, text, -1, nullptr, 0, nullptr, nullptr);
    if (size <= 1) return "";
    std::string converted(static_cast<std::size_t>(size), '\0');
    WideCharToMultiByte(CP_UTF8, 0, text, -1, converted.data(), size, nullptr, nullptr);
    converted.pop_back();
    return converted;
}

void read_dos_names(com_machine& machine) {
    for (int number = 1; number <= last_com_number; ++number) {
        wchar_t name[16];
        wchar_t target[1024];
        swprintf(name, 16, L"COM%d", number);
        if (QueryDosDeviceW(name, target, 1024) == 0) continue;
        machine.names.push_back({number, utf8(target)});
    }
}

// HKLM\HARDWARE\DEVICEMAP\SERIALCOMM: device name = COM name, for the ports
// whose driver has started.
void read_serialcomm(com_machine& machine) {
    HKEY key;
    if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, L"HARDWARE\\DEVICEMAP\\SERIALCOMM", 0, KEY_READ, &key) !=
        ERROR_SUCCESS) {
        return;
    }
    for (DWORD index = 0;; ++index) {
        wchar_t device[256];
        wchar_t port[64];
        DWORD device_size = 256, port_size = sizeof port, type = 0;
        LONG read = RegEnumValueW(key, index, device, &device_size, nullptr, &type,
                                  reinterpret_cast<BYTE*>(port), &port_size);
        if (read == ERROR_NO_MORE_ITEMS) break;
        if (read != ERROR_SUCCESS || type != REG_SZ) continue;
        port[63] = L'\0';
        int number = com_number_of(utf8(port));
        if (number > last_com_number) number = 0;
        bool known = false;
        for (const com_name& name : machine.names) known = known || name.number == number;
        if (number > 0 && !known) machine.names.push_back({number, utf8(device)});
    }
    RegCloseKey(key);
}

std::string text_property(HDEVINFO set, SP_DEVINFO_DATA& info, DWORD property) {
    wchar_t value[512];
    DWORD type = 0;
    if (!SetupDiGetDeviceRegistryPropertyW(set, &info, property, &type,
                                           reinterpret_cast<BYTE*>(value), sizeof value - 2,
                                           nullptr) ||
        type != REG_SZ) {
        return "";
    }
    value[511] = L'\0';
    return utf8(value);
}

// PortName and LatencyTimer of the device's parameters key, which any user
// may read.
void read_device_parameters(HDEVINFO set, SP_DEVINFO_DATA& info, setup_device& device) {
    HKEY key = SetupDiOpenDevRegKey(set, &info, DICS_FLAG_GLOBAL, 0, DIREG_DEV, KEY_READ);
    if (key == INVALID_HANDLE_VALUE) return;
    wchar_t port[64];
    DWORD size = sizeof port - 2, type = 0;
    if (RegQueryValueExW(key, L"PortName", nullptr, &type, reinterpret_cast<BYTE*>(port), &size) ==
            ERROR_SUCCESS &&
        type == REG_SZ) {
        port[size / 2 < 63 ? size / 2 : 63] = L'\0';
        device.port_name = utf8(port);
    }
    DWORD latency = 0;
    size = sizeof latency;
    if (RegQueryValueExW(key, L"LatencyTimer", nullptr, &type, reinterpret_cast<BYTE*>(&latency),
                         &size) == ERROR_SUCCESS &&
        type == REG_DWORD) {
        device.latency_ms = static_cast<int>(latency);
    }
    RegCloseKey(key);
}

// Every present device of the Ports class, and every present device with a
// problem (a serial chip without a working driver is one of those).
void read_setup_devices(com_machine& machine) {
    HDEVINFO set = SetupDiGetClassDevsW(nullptr, nullptr, nullptr, DIGCF_ALLCLASSES | DIGCF_PRESENT);
    if (set == INVALID_HANDLE_VALUE) return;
    SP_DEVINFO_DATA info{};
    info.cbSize = sizeof info;
    for (DWORD index = 0; SetupDiEnumDeviceInfo(set, index, &info); ++index) {
        setup_device device;
        device.class_name = text_property(set, info, SPDRP_CLASS);
        ULONG status = 0, problem = 0;
        if (CM_Get_DevNode_Status(&status, &problem, info.DevInst, 0) == CR_SUCCESS &&
            (status & DN_HAS_PROBLEM) != 0) {
            device.problem = problem;
        }
        if (device.class_name != "Ports" && device.problem == 0) continue;
        wchar_t id[512];
        if (SetupDiGetDeviceInstanceIdW(set, &info, id, 512, nullptr)) device.instance_id = utf8(id);
        device.friendly_name = text_property(set, info, SPDRP_FRIENDLYNAME);
        if (device.friendly_name.empty()) device.friendly_name = text_property(set, info, SPDRP_DEVICEDESC);
        device.maker = text_property(set, info, SPDRP_MFG);
        device.service = text_property(set, info, SPDRP_SERVICE);
        read_device_parameters(set, info, device);
        machine.devices.push_back(device);
    }
    SetupDiDestroyDeviceInfoList(set);
}

}  // namespace

com_machine read_com_machine() {
    com_machine machine;
    read_dos_names(machine);
    read_serialcomm(machine);
    read_setup_devices(machine);
    return machine;
}
