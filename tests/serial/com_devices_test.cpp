// What the Windows program makes of what the system knows of its COM ports,
// on recorded tables of the DOS device names and of SetupAPI's devices.
#include "serial/com_devices.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "serial/doctor.h"

namespace {

const setup_device ftdi = {"FTDIBUS\\VID_0403+PID_6001+A50285BIA\\0000", "USB Serial Port (COM3)",
                           "FTDI", "FTDIBUS", "Ports", "COM3", 0, 16};
const setup_device ch340 = {"USB\\VID_1A86&PID_7523\\5&2A3B4C5D&0&2", "USB-SERIAL CH340 (COM23)",
                            "wch.cn", "CH341SER_A64", "Ports", "COM23", 0, -1};
const setup_device cp210x = {"USB\\VID_10C4&PID_EA60\\0001",
                             "Silicon Labs CP210x USB to UART Bridge (COM5)", "Silicon Labs",
                             "silabser", "Ports", "COM5", 0, -1};
// A counterfeit chip: the driver refuses to start it, its port has no DOS name.
const setup_device pl2303 = {"USB\\VID_067B&PID_2303\\5&1B2C3D4E&0&1",
                             "Prolific USB-to-Serial Comm Port (COM6)", "Prolific", "Ser2pl",
                             "Ports", "COM6", 10, -1};
// A chip without a driver: no class, no port.
const setup_device no_driver = {"USB\\VID_067B&PID_23A3\\6&3C4D5E6F&0&4", "USB-Serial Controller D",
                                "", "", "", "", 28, -1};
const setup_device uart = {"ACPI\\PNP0501\\1", "Communications Port (COM1)",
                           "(Standard port types)", "Serial", "Ports", "COM1", 0, -1};
const setup_device bluetooth = {
    "BTHENUM\\{00001101-0000-1000-8000-00805F9B34FB}_LOCALMFG&0000\\7&1A2B3C4D&0&000000000000_"
    "00000000",
    "Standard Serial over Bluetooth link (COM4)", "Microsoft", "BTHMODEM", "Ports", "COM4", 0, -1};
// A device with a problem that is no serial adapter.
const setup_device camera = {"USB\\VID_046D&PID_0825\\8A1B2C3D", "USB Camera", "Logitech",
                             "usbvideo", "Camera", "", 10, -1};

com_machine recorded_machine() {
    com_machine machine;
    machine.names = {{23, "\\Device\\Serial2"}, {1, "\\Device\\Serial0"},
                     {3, "\\Device\\VCP0"},      {4, "\\Device\\BthModem0"},
                     {5, "\\Device\\Silabser0"}, {7, "\\Device\\Serial6"}};
    machine.devices = {ftdi, camera, ch340, cp210x, pl2303, no_driver, uart, bluetooth};
    return machine;
}

TEST(ComDevices, UsbIdsAndSerialNumberComeFromTheInstanceId) {
    struct Case {
        const char* id;
        instance_usb_ids ids;
    } cases[] = {
        {"FTDIBUS\\VID_0403+PID_6001+A50285BIA\\0000", {"0403", "6001", "A50285BI"}},
        {"FTDIBUS\\VID_0403+PID_6010+FT4XYZB\\0000", {"0403", "6010", "FT4XYZ"}},
        {"USB\\VID_0403&PID_6001\\A50285BI", {"0403", "6001", "A50285BI"}},
        {"USB\\VID_10c4&PID_ea60\\0001", {"10C4", "EA60", "0001"}},
        {"USB\\VID_1A86&PID_7523\\5&2A3B4C5D&0&2", {"1A86", "7523", ""}},
        {"USB\\VID_2341&PID_0043&MI_00\\7&1234&0&0000", {"2341", "0043", ""}},
        {"ACPI\\PNP0501\\1", {"", "", ""}},
        {"BTHENUM\\{00001101-0000-1000-8000-00805F9B34FB}_VID&0001000F_PID&1200\\8&2", {"", "", ""}},
        {"USB\\VID_12&PID_3456\\X", {"", "", ""}},
        {"", {"", "", ""}},
    };
    for (const Case& c : cases) {
        instance_usb_ids ids = usb_ids_of_instance(c.id);
        EXPECT_EQ(ids.vendor, c.ids.vendor) << c.id;
        EXPECT_EQ(ids.product, c.ids.product) << c.id;
        EXPECT_EQ(ids.serial, c.ids.serial) << c.id;
    }
}

TEST(ComDevices, ListShowsEveryPortByNumberWithWhatSetupApiKnows) {
    const std::vector<std::string> expected = {
        "COM1  Communications Port  maker (Standard port types)  driver Serial",
        "COM3  USB Serial Port  maker FTDI  driver FTDIBUS  USB 0403:6001  serial A50285BI  "
        "latency timer 16 ms",
        "COM4  Standard Serial over Bluetooth link  maker Microsoft  driver BTHMODEM",
        "COM5  Silicon Labs CP210x USB to UART Bridge  maker Silicon Labs  driver silabser  "
        "USB 10C4:EA60  serial 0001",
        "COM6  Prolific USB-to-Serial Comm Port  maker Prolific  driver Ser2pl  USB 067B:2303  "
        "problem: Code 10 (the device cannot start)",
        "COM7  \\Device\\Serial6",
        "COM23  USB-SERIAL CH340  maker wch.cn  driver CH341SER_A64  USB 1A86:7523  "
        "type \\\\.\\COM23",
        "USB-Serial Controller D  USB 067B:23A3  problem: Code 28 (no driver is installed)  "
        "no COM port",
    };
    EXPECT_EQ(com_port_lines(recorded_machine()), expected);
    EXPECT_EQ(com_port_numbers(recorded_machine()), (std::vector<int>{1, 3, 4, 5, 6, 7, 23}));
}

TEST(ComDevices, LatencyTimerShowsOnlyAboveTwoMilliseconds) {
    struct Case {
        int latency_ms;
        const char* line;
    } cases[] = {
        {16, "COM3  USB Serial Port  maker FTDI  driver FTDIBUS  USB 0403:6001  serial A50285BI  "
             "latency timer 16 ms"},
        {3, "COM3  USB Serial Port  maker FTDI  driver FTDIBUS  USB 0403:6001  serial A50285BI  "
            "latency timer 3 ms"},
        {2, "COM3  USB Serial Port  maker FTDI  driver FTDIBUS  USB 0403:6001  serial A50285BI"},
        {1, "COM3  USB Serial Port  maker FTDI  driver FTDIBUS  USB 0403:6001  serial A50285BI"},
        {-1, "COM3  USB Serial Port  maker FTDI  driver FTDIBUS  USB 0403:6001  serial A50285BI"},
    };
    for (const Case& c : cases) {
        com_machine machine;
        machine.devices = {ftdi};
        machine.devices[0].latency_ms = c.latency_ms;
        EXPECT_EQ(com_port_lines(machine), std::vector<std::string>{c.line}) << c.latency_ms;
        EXPECT_EQ(adapter_latency_ms(machine, "COM3"), c.latency_ms);
    }
}

TEST(ComDevices, LatencyTimerIsAnFtdiAdaptersOnly) {
    struct Case {
        const char* port;
        int latency_ms;
    } cases[] = {
        {"COM3", 16}, {"\\\\.\\COM3", 16}, {"com3", 16}, {"COM5", -1}, {"COM6", -1},
        {"COM9", -1}, {"COM33", -1},       {"\\\\.\\CNCA0", -1},
    };
    com_machine machine = recorded_machine();
    machine.devices.push_back(cp210x);
    machine.devices.back().latency_ms = 16;  // a value of another driver means nothing
    for (const Case& c : cases) EXPECT_EQ(adapter_latency_ms(machine, c.port), c.latency_ms) << c.port;
}

TEST(ComDevices, OpenHintSaysWhoMayHoldThePortOrWhichPortsExist) {
    const std::string adapter_problems =
        "A USB serial adapter is plugged in without a working driver: USB 067B:2303 Prolific "
        "USB-to-Serial Comm Port, Code 10 (the device cannot start)\n"
        "A USB serial adapter is plugged in without a working driver: USB 067B:23A3 "
        "USB-Serial Controller D, Code 28 (no driver is installed)\n";
    com_machine only_uart;
    only_uart.names = {{1, "\\Device\\Serial0"}};
    struct Case {
        const char* what;
        com_machine machine;
        const char* port;
        bool in_use;
        std::string hint;
    } cases[] = {
        {"in use", recorded_machine(), "COM3", true,
         "COM3 is in use by another program (a terminal program, another console window): close "
         "it, then try again\n"},
        {"in use, by its path", recorded_machine(), "\\\\.\\COM23", true,
         "COM23 is in use by another program (a terminal program, another console window): "
         "close it, then try again\n"},
        {"absent", recorded_machine(), "COM9", false,
         "COM9 does not exist on this PC; its COM ports: COM1, COM3, COM4, COM5, COM6, COM7, "
         "COM23 (\\\\.\\COM23)\n" +
             adapter_problems},
        {"name without a device", recorded_machine(), "COM7", false,
         "COM7 does not exist on this PC; its COM ports: COM1, COM3, COM4, COM5, COM6, COM23 "
         "(\\\\.\\COM23)\n" +
             adapter_problems},
        {"the only name, without a device", only_uart, "COM1", false,
         "COM1 does not exist on this PC, which has no COM port\n"},
        {"absent device path", only_uart, "\\\\.\\CNCA0", false,
         "\\\\.\\CNCA0 does not exist on this PC; its COM ports: COM1\n"},
        {"no port at all", com_machine{}, "COM2", false,
         "COM2 does not exist on this PC, which has no COM port\n"},
    };
    for (const Case& c : cases) EXPECT_EQ(open_hint(c.machine, c.port, c.in_use), c.hint) << c.what;
}

TEST(ComDevices, DoctorNamesThePortItsAdaptersProblemsAndALatencyTimer) {
    const std::vector<std::string> adapters = {
        "PROBLEM adapter  USB 067B:2303 Prolific USB-to-Serial Comm Port: Code 10 (the device "
        "cannot start): install the driver of the chip's maker for these USB ids (Device "
        "Manager, the device's Properties, Driver, Update Driver); an adapter whose chip the "
        "driver refuses (Code 10) needs another adapter",
        "PROBLEM adapter  USB 067B:23A3 USB-Serial Controller D: Code 28 (no driver is "
        "installed): install the driver of the chip's maker for these USB ids (Device Manager, "
        "the device's Properties, Driver, Update Driver); an adapter whose chip the driver "
        "refuses (Code 10) needs another adapter"};
    const std::string latency =
        "warning latency  COM3: the FTDI adapter's latency timer is 16 ms: each answer of the "
        "firmware loader may wait that long; set it to 1 ms (Device Manager, the port's "
        "Properties, Port Settings, Advanced..., Latency Timer (msec))";
    auto lines = [](const com_machine& machine, const char* port) {
        std::vector<std::string> printed;
        for (const finding& found : com_doctor_findings(machine, port)) {
            printed.push_back(finding_line(found));
        }
        return printed;
    };
    std::vector<std::string> expected = {
        "ok      port     COM3  USB Serial Port  maker FTDI  driver FTDIBUS  USB 0403:6001  "
        "serial A50285BI  latency timer 16 ms",
        latency};
    expected.insert(expected.end(), adapters.begin(), adapters.end());
    EXPECT_EQ(lines(recorded_machine(), "COM3"), expected);

    expected = {"warning port     COM9 is not among the COM ports Windows lists (COM1, COM3, COM4, "
                "COM5, COM6, COM7, COM23)"};
    expected.insert(expected.end(), adapters.begin(), adapters.end());
    EXPECT_EQ(lines(recorded_machine(), "COM9"), expected);

    std::vector<std::string> all = lines(recorded_machine(), nullptr);
    ASSERT_EQ(all.size(), 10u);
    EXPECT_EQ(all[2], latency) << "the latency after its port";
    EXPECT_EQ(lines(com_machine{}, nullptr),
              std::vector<std::string>{"PROBLEM port     no COM port found: plug the adapter in"});
}

}  // namespace
