#include "serial/port_list.h"

#include <gtest/gtest.h>
#include <stdlib.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "console/completion.h"

namespace {

namespace fs = std::filesystem;

// A device tree and a kernel device tree of a machine with USB adapters (a
// stable name, vendor and product in sysfs), an ACM device without sysfs
// entries and one with its driver, UARTs of the 8250 driver on PnP and on its
// platform device (one a placeholder without hardware), a PL011 UART that
// /dev/serial0 leads to, a Bluetooth link and a virtual terminal. With
// `serial_core_bus` the tree is that of a kernel from 6.5 on, whose serial core
// puts its own controller and port devices between each UART's tty and its
// hardware.
class FakeMachine {
  public:
    explicit FakeMachine(bool serial_core_bus = false) : serial_core_bus_(serial_core_bus) {
        char folder[] = "/tmp/vestrimond-ports-XXXXXX";
        root_ = mkdtemp(folder);
        for (const char* node : {"ttyUSB0", "ttyACM0", "ttyXRUSB0", "ttyS0", "ttyS1", "ttyS2",
                                 "ttyS3", "ttyS10", "ttyS11", "ttyAMA0", "rfcomm0", "tty0"})
            file("dev/" + std::string(node));
        link("dev/serial/by-id/usb-Acme_Serial_A1-if00-port0", "../../ttyUSB0");
        link("dev/serial0", "ttyAMA0");
        link("dev/serial1", "ttyS0");
        file("sys/devices/usb1/1-1/idVendor", "0403\n");
        file("sys/devices/usb1/1-1/idProduct", "6001\n");
        file("sys/devices/usb1/1-1/product", "Acme Serial\n");
        link("sys/devices/usb1/1-1/1-1:1.0/ttyUSB0/driver", "../../../../bus/usb-serial/drivers/ftdi_sio");
        link("sys/class/tty/ttyUSB0/device", "../../../devices/usb1/1-1/1-1:1.0/ttyUSB0");
        // A USB device further up than an interface's few levels is not its own.
        file("dev/ttyUSB1");
        file("sys/devices/usb2/2-1/idVendor", "0403\n");
        fs::create_directories(root_ + "/sys/devices/usb2/2-1/a/b/c/ttyUSB1");
        link("sys/class/tty/ttyUSB1/device", "../../../devices/usb2/2-1/a/b/c/ttyUSB1");
        file("dev/ttyACM1");
        file("sys/devices/usb4/4-1/idVendor", "2341\n");
        file("sys/devices/usb4/4-1/idProduct", "0043\n");
        // The device's own words, with a terminal's control sequences in them.
        file("sys/devices/usb4/4-1/product", "Uno\x1b[2J\a\r\xc2\x9b" "1m R3 \xc3\xa9\n");
        fs::create_directories(root_ + "/sys/devices/usb4/4-1/4-1:1.0/tty/ttyACM1");
        link("sys/devices/usb4/4-1/4-1:1.0/driver", "../../../../bus/usb/drivers/cdc_acm");
        link("sys/class/tty/ttyACM1/device", "../../../devices/usb4/4-1/4-1:1.0");
        file("sys/devices/usb3/3-1/idVendor", "04e2\n");
        file("sys/devices/usb3/3-1/idProduct", "1410\n");
        link("sys/devices/usb3/3-1/3-1:1.0/driver", "../../../../bus/usb/drivers/xr_usb_serial_common");
        link("sys/class/tty/ttyXRUSB0/device", "../../../devices/usb3/3-1/3-1:1.0");
        uart("ttyS0", "pnp0/00:04", "pnp/drivers/serial", "4");
        uart("ttyS1", "platform/serial8250", "platform/drivers/serial8250", "4");
        uart("ttyS2", "platform/serial8250", "platform/drivers/serial8250", "4");
        uart("ttyS3", "platform/serial8250", "platform/drivers/serial8250", "0");
        uart("ttyS10", "platform/serial8250", "platform/drivers/serial8250", "4");
        uart("ttyS11", "platform/serial8250", "platform/drivers/serial8250", "");  // no type
        uart("ttyAMA0", "platform/fe201000.serial", "amba/drivers/uart-pl011", "32");
        file("sys/class/tty/rfcomm0/address", "00:11:22:33:44:55\n");
        file("sys/class/tty/rfcomm0/channel", "1\n");
        fs::create_directories(root_ + "/sys/devices/virtual/bluetooth/hci0");
        link("sys/class/tty/rfcomm0/device", "../../../devices/virtual/bluetooth/hci0");
        fs::create_directories(root_ + "/sys/class/tty/tty0");
    }
    ~FakeMachine() { fs::remove_all(root_); }

    port_roots roots(std::vector<std::string> variables) {
        environment_.clear();
        variables_ = std::move(variables);
        for (std::string& variable : variables_) environment_.push_back(variable.data());
        environment_.push_back(nullptr);
        return {root_ + "/dev", root_ + "/sys", environment_.data()};
    }

    const std::string& root() const { return root_; }

  private:
    // A UART's tty, its type and the hardware device its driver has, with the
    // serial core's own devices between them when the kernel has them.
    void uart(const std::string& tty, const std::string& hardware, const std::string& driver,
              const std::string& type) {
        std::string device = "sys/devices/" + hardware;
        if (!fs::is_symlink(root_ + "/" + device + "/driver"))
            link(device + "/driver", root_ + "/sys/bus/" + driver);
        if (serial_core_bus_) {
            device += "/" + tty + "-ctrl:0";
            link(device + "/driver", root_ + "/sys/bus/serial-base/drivers/ctrl");
            link(device + "/subsystem", root_ + "/sys/bus/serial-base");
            device += "/" + tty + "-ctrl:0.0";
            link(device + "/driver", root_ + "/sys/bus/serial-base/drivers/port");
            link(device + "/subsystem", root_ + "/sys/bus/serial-base");
        }
        link("sys/class/tty/" + tty + "/device", root_ + "/" + device);
        if (!type.empty()) file("sys/class/tty/" + tty + "/type", type + "\n");
    }
    void file(const std::string& path, const std::string& text = "") {
        fs::create_directories(fs::path(root_ + "/" + path).parent_path());
        std::ofstream(root_ + "/" + path) << text;
    }
    void link(const std::string& path, const std::string& target) {
        fs::create_directories(fs::path(root_ + "/" + path).parent_path());
        fs::create_symlink(target, root_ + "/" + path);
    }

    bool serial_core_bus_;
    std::string root_;
    std::vector<std::string> variables_;
    std::vector<char*> environment_;
};

TEST(PortList, ListsStableNamesUsbPortsUartsWithHardwareAndMappings) {
    for (bool serial_core_bus : {false, true}) {
        FakeMachine machine(serial_core_bus);
        const std::string& at = machine.root();
        port_roots roots = machine.roots(
            {"PATH=/bin", "VESTRIMOND_COM11=" + at + "/gone",
             "VESTRIMOND_COM2=" + at + "/dev/ttyUSB0", "VESTRIMOND_COM3=",
             "VESTRIMOND_COMX=/dev/null", "VESTRIMOND_COM+3=/a", "VESTRIMOND_COM 4=/b",
             "VESTRIMOND_COM-5=/c", "VESTRIMOND_COM1000=/d", "VESTRIMOND_COM21=/e",
             "VESTRIMOND_COM07=/f"});
        const std::vector<std::string> expected = {
            at + "/dev/serial/by-id/usb-Acme_Serial_A1-if00-port0 -> " + at + "/dev/ttyUSB0",
            at + "/dev/serial0 -> " + at + "/dev/ttyAMA0",
            at + "/dev/serial1 -> " + at + "/dev/ttyS0",
            at + "/dev/ttyACM0",
            at + "/dev/ttyACM1  driver cdc_acm  USB 2341:0043 Uno[2J1m R3 \xc3\xa9",
            at + "/dev/ttyUSB0  driver ftdi_sio  USB 0403:6001 Acme Serial",
            at + "/dev/ttyUSB1",
            at + "/dev/ttyXRUSB0  driver xr_usb_serial_common  USB 04e2:1410",
            at + "/dev/ttyAMA0  driver uart-pl011",
            at + "/dev/ttyS0  driver serial8250",
            at + "/dev/ttyS1  driver serial8250",
            at + "/dev/ttyS2  driver serial8250",
            at + "/dev/ttyS10  driver serial8250",
            at + "/dev/ttyS11  driver serial8250",
            at + "/dev/rfcomm0  Bluetooth 00:11:22:33:44:55 channel 1",
            "COM2  VESTRIMOND_COM2=" + at + "/dev/ttyUSB0  (exists)",
            "COM11  VESTRIMOND_COM11=" + at + "/gone  (missing)",
        };
        EXPECT_EQ(list_ports(roots), expected) << "serial core bus " << serial_core_bus;
    }
}

TEST(PortList, ProgramReadsThisMachineAndItsEnvironment) {
    // Only the part a test sets is checked: the machine's own ports vary.
    setenv("VESTRIMOND_COM17", "/nonexistent/vestrimond-port", 1);
    std::vector<std::string> lines = list_ports(system_port_roots());
    unsetenv("VESTRIMOND_COM17");
    const std::string mapping = "COM17  VESTRIMOND_COM17=/nonexistent/vestrimond-port  (missing)";
    EXPECT_NE(std::find(lines.begin(), lines.end(), mapping), lines.end());
}

TEST(PortList, EmptyMachineHasNoPorts) {
    char folder[] = "/tmp/vestrimond-ports-XXXXXX";
    std::string root = mkdtemp(folder);
    char* no_variables[] = {nullptr};
    EXPECT_EQ(list_ports({root + "/dev", root + "/sys", no_variables}), std::vector<std::string>{});
    fs::remove_all(root);
}

TEST(PortList, TabOffersMappedComPortsAndThePortsOfTheList) {
    FakeMachine machine(true);
    const std::string& at = machine.root();
    port_roots roots = machine.roots({"VESTRIMOND_COM2=/x", "VESTRIMOND_COM11=/y",
                                      "VESTRIMOND_COM+3=/a", "VESTRIMOND_COM1000=/d"});
    struct Case {
        std::string word;
        std::vector<std::string> words;
    } cases[] = {
        {"co", {"COM2", "COM11"}},
        {"COM1", {"COM11"}},
        {at + "/dev/serial", {at + "/dev/serial/by-id/usb-Acme_Serial_A1-if00-port0",
                              at + "/dev/serial0", at + "/dev/serial1"}},
        {at + "/dev/ttyS", {at + "/dev/ttyS0", at + "/dev/ttyS1", at + "/dev/ttyS2",
                            at + "/dev/ttyS10", at + "/dev/ttyS11"}},
        {at + "/dev/ttyU", {at + "/dev/ttyUSB0", at + "/dev/ttyUSB1"}},
        {at + "/dev/ttyAC", {at + "/dev/ttyACM0", at + "/dev/ttyACM1"}},
        {at + "/dev/r", {at + "/dev/rfcomm0"}},
    };
    for (const Case& c : cases) EXPECT_EQ(port_words(c.word.c_str(), roots), c.words) << c.word;
    // Every port of the list, and no other, is offered.
    std::vector<std::string> listed;
    for (const std::string& line : list_ports(roots)) listed.push_back(line.substr(0, line.find(' ')));
    std::vector<std::string> offered = port_words("", roots);
    std::sort(listed.begin(), listed.end());
    std::sort(offered.begin(), offered.end());
    EXPECT_EQ(offered, listed);
}

}  // namespace
