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

// A device tree and a kernel device tree of a machine with a USB adapter (a
// stable name, vendor and product in sysfs), an ACM device without sysfs
// entries and one with its driver, an on-board port with a driver and one
// without, and a virtual terminal.
class FakeMachine {
  public:
    FakeMachine() {
        char folder[] = "/tmp/vestrimond-ports-XXXXXX";
        root_ = mkdtemp(folder);
        for (const char* node : {"ttyUSB0", "ttyACM0", "ttyS0", "ttyS1", "tty0"})
            file("dev/" + std::string(node));
        link("dev/serial/by-id/usb-Acme_Serial_A1-if00-port0", "../../ttyUSB0");
        file("sys/devices/usb1/1-1/idVendor", "0403\n");
        file("sys/devices/usb1/1-1/idProduct", "6001\n");
        file("sys/devices/usb1/1-1/product", "Acme Serial\n");
        fs::create_directories(root_ + "/sys/devices/usb1/1-1/1-1:1.0/ttyUSB0");
        link("sys/class/tty/ttyUSB0/device", "../../../devices/usb1/1-1/1-1:1.0/ttyUSB0");
        // A USB device further up than an interface's few levels is not its own.
        file("dev/ttyUSB1");
        file("sys/devices/usb2/2-1/idVendor", "0403\n");
        fs::create_directories(root_ + "/sys/devices/usb2/2-1/a/b/c/ttyUSB1");
        link("sys/class/tty/ttyUSB1/device", "../../../devices/usb2/2-1/a/b/c/ttyUSB1");
        file("dev/ttyACM1");
        file("sys/devices/usb3/3-1/idVendor", "2341\n");
        file("sys/devices/usb3/3-1/idProduct", "0043\n");
        fs::create_directories(root_ + "/sys/devices/usb3/3-1/3-1:1.0/tty/ttyACM1");
        link("sys/devices/usb3/3-1/3-1:1.0/driver", "../../../../bus/usb/drivers/cdc_acm");
        link("sys/class/tty/ttyACM1/device", "../../../devices/usb3/3-1/3-1:1.0");
        fs::create_directories(root_ + "/sys/bus/platform/drivers/serial8250");
        fs::create_directories(root_ + "/sys/devices/platform/serial8250/tty/ttyS1");
        link("sys/devices/platform/serial8250/driver", "../../bus/platform/drivers/serial8250");
        link("sys/class/tty/ttyS0/device", "../../../devices/platform/serial8250");
        link("sys/class/tty/ttyS1/device", "../../../devices/platform/serial8250/tty/ttyS1");
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
    void file(const std::string& path, const std::string& text = "") {
        fs::create_directories(fs::path(root_ + "/" + path).parent_path());
        std::ofstream(root_ + "/" + path) << text;
    }
    void link(const std::string& path, const std::string& target) {
        fs::create_directories(fs::path(root_ + "/" + path).parent_path());
        fs::create_symlink(target, root_ + "/" + path);
    }

    std::string root_;
    std::vector<std::string> variables_;
    std::vector<char*> environment_;
};

TEST(PortList, ListsStableNamesUsbPortsDrivenPortsAndMappings) {
    FakeMachine machine;
    const std::string& at = machine.root();
    port_roots roots = machine.roots({"PATH=/bin", "VESTRIMOND_COM11=" + at + "/gone",
                                      "VESTRIMOND_COM2=" + at + "/dev/ttyUSB0",
                                      "VESTRIMOND_COM3=", "VESTRIMOND_COMX=/dev/null",
                                      "VESTRIMOND_COM+3=/a", "VESTRIMOND_COM 4=/b",
                                      "VESTRIMOND_COM-5=/c", "VESTRIMOND_COM1000=/d",
                                      "VESTRIMOND_COM21=/e", "VESTRIMOND_COM07=/f"});
    const std::vector<std::string> expected = {
        at + "/dev/serial/by-id/usb-Acme_Serial_A1-if00-port0 -> " + at + "/dev/ttyUSB0",
        at + "/dev/ttyUSB0  USB 0403:6001 Acme Serial",
        at + "/dev/ttyUSB1",
        at + "/dev/ttyACM0",
        at + "/dev/ttyACM1  USB 2341:0043",
        at + "/dev/ttyS0  driver serial8250",
        "COM2  VESTRIMOND_COM2=" + at + "/dev/ttyUSB0  (exists)",
        "COM11  VESTRIMOND_COM11=" + at + "/gone  (missing)",
    };
    EXPECT_EQ(list_ports(roots), expected);
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

TEST(PortList, TabOffersMappedComPortsAndUsbDevicePaths) {
    FakeMachine machine;
    const std::string& at = machine.root();
    port_roots roots = machine.roots({"VESTRIMOND_COM2=/x", "VESTRIMOND_COM11=/y",
                                      "VESTRIMOND_COM+3=/a", "VESTRIMOND_COM1000=/d"});
    struct Case {
        std::string word;
        std::vector<std::string> words;
    } cases[] = {
        {"",
         {"COM2", "COM11", at + "/dev/serial/by-id/usb-Acme_Serial_A1-if00-port0",
          at + "/dev/ttyUSB0", at + "/dev/ttyUSB1", at + "/dev/ttyACM0", at + "/dev/ttyACM1"}},
        {"co", {"COM2", "COM11"}},
        {"COM1", {"COM11"}},
        {at + "/dev/tty",
         {at + "/dev/ttyUSB0", at + "/dev/ttyUSB1", at + "/dev/ttyACM0", at + "/dev/ttyACM1"}},
        {at + "/dev/ttyS", {}},
    };
    for (const Case& c : cases) EXPECT_EQ(port_words(c.word.c_str(), roots), c.words) << c.word;
}

}  // namespace
