// The doctor's checks on recorded machines: a tree of the files a Linux
// machine shows under /dev, /sys, /proc, /etc and /run, with the owners,
// modes and login groups that a tree of plain files cannot hold.

#include "serial/doctor.h"

#include <gtest/gtest.h>
#include <stdlib.h>

#include <filesystem>
#include <fstream>
#include <functional>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "serial/doctor_checks_linux.h"

namespace {

namespace fs = std::filesystem;

// An FTDI adapter (ttyUSB0, with a stable name), a UART of the 8250 driver
// (ttyS0) and a placeholder without hardware (ttyS1), a PL011 (ttyAMA0);
// users alice (not in dialout) and bob (in dialout in the database); the
// adapter and the UARTs in group dialout, mode 0660; one process, init.
class RecordedMachine : public machine_reader {
  public:
    RecordedMachine() : machine_reader(make_root()) {
        file("dev/ttyUSB0");
        link("dev/serial/by-id/usb-FTDI_FT232R_USB_UART_A1-if00-port0", "../../ttyUSB0");
        file("sys/devices/usb1/1-1/idVendor", "0403\n");
        file("sys/devices/usb1/1-1/idProduct", "6001\n");
        file("sys/devices/usb1/1-1/product", "FT232R USB UART\n");
        file("sys/devices/usb1/1-1/1-1:1.0/ttyUSB0/latency_timer", "16\n");
        link("sys/devices/usb1/1-1/1-1:1.0/ttyUSB0/driver",
             "../../../../bus/usb-serial/drivers/ftdi_sio");
        link("sys/class/tty/ttyUSB0/device", "../../../devices/usb1/1-1/1-1:1.0/ttyUSB0");
        file("sys/class/tty/ttyUSB0/dev", "188:0\n");
        uart("ttyS0", "serial8250", "4");
        uart("ttyS1", "serial8250", "0");
        uart("ttyAMA0", "uart-pl011", "32");
        file("dev/ttyXYZ");
        file("etc/group", "root:x:0:\ndialout:x:20:bob,carol\nalice:x:1000:\nbob:x:1001:\n");
        file("etc/passwd",
             "root:x:0:0:root:/root:/bin/sh\nalice:x:1000:1000::/home/alice:/bin/sh\n"
             "bob:x:1001:1001::/home/bob:/bin/sh\n");
        fs::create_directories(root_ + "/run/lock");
        process("1", "systemd", {"/sbin/init"});
        file("proc/cmdline", "BOOT_IMAGE=/vmlinuz root=/dev/sda1 ro quiet\n");
        for (const char* device :
             {"/dev/ttyUSB0", "/dev/ttyS0", "/dev/ttyS1", "/dev/ttyAMA0", "/dev/ttyXYZ"}) {
            nodes_[device] = {0, 20, 0660};
        }
    }
    ~RecordedMachine() override { fs::remove_all(root_); }

    void file(const std::string& path, const std::string& text = "") {
        fs::create_directories(fs::path(root_ + "/" + path).parent_path());
        std::ofstream(root_ + "/" + path, std::ios::binary) << text;
    }
    void link(const std::string& path, const std::string& target) {
        fs::create_directories(fs::path(root_ + "/" + path).parent_path());
        fs::remove(root_ + "/" + path);
        fs::create_symlink(target, root_ + "/" + path);
    }
    // A process with its name and command line; its open files are shown
    // unless it is another user's.
    void process(const std::string& pid, const std::string& name,
                 const std::vector<std::string>& args, bool visible = true) {
        file("proc/" + pid + "/comm", name + "\n");
        std::string line;
        for (const std::string& arg : args) line += arg + '\0';
        file("proc/" + pid + "/cmdline", line);
        if (visible) fs::create_directories(root_ + "/proc/" + pid + "/fd");
    }
    void raspberry_pi(const std::string& serial0, const std::string& serial1) {
        file("proc/device-tree/model", std::string("Raspberry Pi 4 Model B Rev 1.4") + '\0');
        link("dev/serial0", serial0);
        link("dev/serial1", serial1);
    }

    bool node(const std::string& path, device_node* found) const override {
        auto it = nodes_.find(path);
        if (it == nodes_.end()) return false;
        *found = it->second;
        return true;
    }
    // The links of a recorded /proc lead to the machine's /dev, not the tree's.
    bool same_device(const std::string& descriptor, const std::string& device) const override {
        return machine_reader::link(descriptor) == device;
    }
    bool may_open(const std::string& path) const override { return open_to_me_.count(path) > 0; }
    login_identity identity() const override { return login_; }

    std::map<std::string, device_node> nodes_;
    std::set<std::string> open_to_me_;
    login_identity login_{1000, "alice", {1000}};

  private:
    static std::string make_root() {
        char folder[] = "/tmp/vestrimond-doctor-XXXXXX";
        return mkdtemp(folder);
    }
    void uart(const std::string& tty, const std::string& driver, const std::string& type) {
        file("dev/" + tty);
        const std::string device = "sys/devices/platform/" + driver + "/tty/" + tty;
        fs::create_directories(root_ + "/" + device);
        link(device + "/driver", "../../../../../bus/platform/drivers/" + driver);
        link("sys/class/tty/" + tty + "/device", "../../../" + device.substr(4));
        file("sys/class/tty/" + tty + "/type", type + "\n");
    }

    // The root is first known to the base class: fetch it from there.
    std::string root_ = ports().dev.substr(0, ports().dev.size() - 4);
};

// The lines of one check for `port` on the machine that `setup` made.
std::vector<std::string> lines_of(const std::string& check, const std::string& port,
                                  const std::function<void(RecordedMachine&)>& setup) {
    RecordedMachine machine;
    setup(machine);
    std::vector<std::string> lines;
    for (const finding& found : port_findings(machine, port)) {
        if (found.check == check) lines.push_back(finding_line(found));
    }
    return lines;
}

struct CheckCase {
    const char* what;
    std::string port;
    std::function<void(RecordedMachine&)> setup;
    std::vector<std::string> lines;
};

void expect_lines(const char* check, const std::vector<CheckCase>& cases) {
    for (const CheckCase& c : cases) {
        EXPECT_EQ(lines_of(check, c.port, c.setup), c.lines) << check << ": " << c.what;
    }
}

auto nothing = [](RecordedMachine&) {};

TEST(DoctorChecks, PortExistsWithItsDriverAndUsbIds) {
    expect_lines(
        "port",
        {
            {"USB adapter",
             "/dev/ttyUSB0",
             nothing,
             {"ok      port     /dev/ttyUSB0: driver ftdi_sio, USB 0403:6001 FT232R USB UART"}},
            {"stable name",
             "/dev/serial/by-id/usb-FTDI_FT232R_USB_UART_A1-if00-port0",
             nothing,
             {"ok      port     /dev/serial/by-id/usb-FTDI_FT232R_USB_UART_A1-if00-port0 -> "
              "/dev/ttyUSB0: driver ftdi_sio, USB 0403:6001 FT232R USB UART"}},
            {"UART", "/dev/ttyS0", nothing, {"ok      port     /dev/ttyS0: driver serial8250"}},
            {"absent",
             "/dev/ttyUSB5",
             nothing,
             {"PROBLEM port     /dev/ttyUSB5 does not exist: plug the adapter in, or name a port "
              "of \"vestrimond --list-ports\""}},
            {"placeholder UART",
             "/dev/ttyS1",
             nothing,
             {"PROBLEM port     /dev/ttyS1: driver serial8250, but no UART behind it (the driver "
              "registers it whatever the machine has): name another port"}},
            {"no driver",
             "/dev/ttyXYZ",
             nothing,
             {"PROBLEM port     /dev/ttyXYZ: no driver serves it: is the adapter's driver loaded? "
              "(\"sudo dmesg | tail\" right after plugging it in)"}},
        });
}

TEST(DoctorChecks, AccessNamesTheGroupToJoinOrTheNewLoginThatIsMissing) {
    const std::string about = "(owner root, group dialout, mode 0660)";
    expect_lines(
        "access",
        {
            {"may open",
             "/dev/ttyUSB0",
             [](RecordedMachine& m) { m.open_to_me_.insert("/dev/ttyUSB0"); },
             {"ok      access   /dev/ttyUSB0: you may read and write it " + about}},
            {"not in the group",
             "/dev/ttyUSB0",
             nothing,
             {"PROBLEM access   /dev/ttyUSB0 belongs to the group dialout " + about +
              ", which you are not in: run \"sudo usermod -aG dialout alice\", then log out and "
              "in again"}},
            {"joined, login older",
             "/dev/ttyUSB0",
             [](RecordedMachine& m) {
                 m.login_ = {1001, "bob", {1001}};
             },
             {"PROBLEM access   /dev/ttyUSB0 belongs to the group dialout " + about +
              ": you are in dialout, but this login began before you joined it: log out and in "
              "again (or run \"newgrp dialout\" for one shell)"}},
            {"primary group in the user database",
             "/dev/ttyUSB0",
             [](RecordedMachine& m) {
                 m.file("etc/passwd",
                        "root:x:0:0:root:/root:/bin/sh\ndave:x:1002:20::/home/dave:/bin/sh\n");
                 m.login_ = {1002, "dave", {1002}};
             },
             {"PROBLEM access   /dev/ttyUSB0 belongs to the group dialout " + about +
              ": you are in dialout, but this login began before you joined it: log out and in "
              "again (or run \"newgrp dialout\" for one shell)"}},
            {"login has the group, still refused",
             "/dev/ttyUSB0",
             [](RecordedMachine& m) {
                 m.login_ = {1001, "bob", {1001, 20}};
             },
             {"PROBLEM access   /dev/ttyUSB0 refuses you although this login has the group "
              "dialout " +
              about +
              ": an access list or a security module keeps you off; ask the administrator"}},
            {"owner only",
             "/dev/ttyS0",
             [](RecordedMachine& m) {
                 m.nodes_["/dev/ttyS0"] = {0, 0, 0600};
             },
             {"PROBLEM access   /dev/ttyS0 may be opened by its owner root only (owner root, "
              "group root, mode 0600): ask the administrator for access"}},
            {"group without write",
             "/dev/ttyS0",
             [](RecordedMachine& m) {
                 m.nodes_["/dev/ttyS0"] = {1000, 20, 0640};
             },
             {"PROBLEM access   /dev/ttyS0 may be opened by its owner alice only (owner alice, "
              "group dialout, mode 0640): ask the administrator for access"}},
        });
}

TEST(DoctorChecks, LockFileNamesItsLivingHolder) {
    expect_lines(
        "lock",
        {
            {"none",
             "/dev/ttyUSB0",
             nothing,
             {"ok      lock     no lock file /run/lock/LCK..ttyUSB0"}},
            {"held, by the stable name",
             "/dev/serial/by-id/usb-FTDI_FT232R_USB_UART_A1-if00-port0",
             [](RecordedMachine& m) {
                 m.file("run/lock/LCK..ttyUSB0", "      4242\n");
                 m.process("4242", "minicom", {"minicom", "-D", "/dev/ttyUSB0"});
             },
             {"PROBLEM lock     the lock file /run/lock/LCK..ttyUSB0 says that minicom (pid 4242) "
              "uses /dev/ttyUSB0: end that program first"}},
            {"stale",
             "/dev/ttyUSB0",
             [](RecordedMachine& m) { m.file("run/lock/LCK..ttyUSB0", "       999\n"); },
             {"ok      lock     the lock file /run/lock/LCK..ttyUSB0 is left from process 999, "
              "which has ended: vestrimond removes it"}},
            {"no process id",
             "/dev/ttyUSB0",
             [](RecordedMachine& m) { m.file("run/lock/LCK..ttyUSB0", "garbage"); },
             {"PROBLEM lock     the lock file /run/lock/LCK..ttyUSB0 names no process: remove it "
              "(\"sudo rm /run/lock/LCK..ttyUSB0\")"}},
            {"no /run/lock",
             "/dev/ttyS0",
             [](RecordedMachine& m) {
                 fs::remove_all(m.ports().dev + "/../run/lock");
                 m.file("var/lock/LCK..ttyS0", "1\n");
             },
             {"PROBLEM lock     the lock file /var/lock/LCK..ttyS0 says that systemd (pid 1) uses "
              "/dev/ttyS0: end that program first"}},
        });
}

TEST(DoctorChecks, OtherProcessesWithTheDeviceOpenAreNamed) {
    expect_lines(
        "holders",
        {
            {"none",
             "/dev/ttyUSB0",
             nothing,
             {"ok      holders  no process has /dev/ttyUSB0 open"}},
            {"a terminal program",
             "/dev/ttyUSB0",
             [](RecordedMachine& m) {
                 m.process("4242", "picocom", {"picocom", "/dev/ttyUSB0"});
                 m.link("proc/4242/fd/0", "/dev/pts/0");
                 m.link("proc/4242/fd/3", "/dev/ttyUSB0");
                 m.process("4300", "screen", {"screen", "/dev/ttyUSB0"});
                 m.link("proc/4300/fd/5", "/dev/ttyUSB0");
             },
             {"PROBLEM holders  /dev/ttyUSB0 is open in picocom (pid 4242), screen (pid 4300): "
              "end that program first"}},
            {"another user's processes hidden",
             "/dev/ttyUSB0",
             [](RecordedMachine& m) { m.process("777", "gpsd", {"gpsd"}, false); },
             {"ok      holders  none of your processes has /dev/ttyUSB0 open (hidden from you: 1 "
              "process of other users; run the doctor with sudo to see them)"}},
        });
}

TEST(DoctorChecks, ModemManagerMustBeToldToLeaveTheAdapterAlone) {
    auto modem_manager = [](RecordedMachine& m) {
        m.process("600", "ModemManager", {"/usr/sbin/ModemManager"});
    };
    expect_lines(
        "modem",
        {
            {"not running",
             "/dev/ttyUSB0",
             nothing,
             {"ok      modem    ModemManager is not running"}},
            {"running, told",
             "/dev/ttyUSB0",
             [&](RecordedMachine& m) {
                 modem_manager(m);
                 m.file("run/udev/data/c188:0", "E:ID_VENDOR=FTDI\nE:ID_MM_DEVICE_IGNORE=1\n");
             },
             {"ok      modem    ModemManager runs and is told to leave ttyUSB0 alone"}},
            {"running, not told",
             "/dev/ttyUSB0",
             [&](RecordedMachine& m) {
                 modem_manager(m);
                 m.file("run/udev/data/c188:0", "E:ID_VENDOR=FTDI\n");
             },
             {"PROBLEM modem    ModemManager runs and may probe ttyUSB0 with modem commands when "
              "it appears: add the line ATTRS{idVendor}==\"0403\", ATTRS{idProduct}==\"6001\", "
              "ENV{ID_MM_DEVICE_IGNORE}=\"1\" to /etc/udev/rules.d/99-vestrimond.rules, run "
              "\"sudo udevadm control --reload\" and plug the adapter in again (or \"sudo "
              "systemctl disable --now ModemManager\")"}},
            {"a UART is none of its business", "/dev/ttyS0", modem_manager, {}},
        });
}

TEST(DoctorChecks, BrlttyRulesMatchingTheAdapterAreNamed) {
    const std::string claimed =
        " claim USB 0403:6001 as a braille display and take the port away: run \"sudo ln -s "
        "/dev/null /etc/udev/rules.d/85-brltty.rules\" (or remove brltty), then plug the adapter "
        "in again";
    expect_lines(
        "brltty",
        {
            {"by product",
             "/dev/ttyUSB0",
             [](RecordedMachine& m) {
                 m.file("usr/lib/udev/rules.d/85-brltty.rules",
                        "# FTDI\nENV{PRODUCT}==\"403/6001/*\", ENV{BRLTTY_BRAILLE_DRIVER}=\"ht\", "
                        "GOTO=\"brltty_usb_run\"\n");
             },
             {"PROBLEM brltty   brltty's rules (/usr/lib/udev/rules.d/85-brltty.rules)" + claimed}},
            {"by attributes",
             "/dev/ttyUSB0",
             [](RecordedMachine& m) {
                 m.file("lib/udev/rules.d/85-brltty.rules",
                        "SUBSYSTEM==\"usb\", ATTRS{idVendor}==\"0403\", "
                        "ATTRS{idProduct}==\"6001\", RUN+=\"brltty\"\n");
             },
             {"PROBLEM brltty   brltty's rules (/lib/udev/rules.d/85-brltty.rules)" + claimed}},
            {"masked in /etc",
             "/dev/ttyUSB0",
             [](RecordedMachine& m) {
                 m.file("usr/lib/udev/rules.d/85-brltty.rules", "ENV{PRODUCT}==\"403/6001/*\"\n");
                 m.link("etc/udev/rules.d/85-brltty.rules", "/dev/null");
             },
             {"ok      brltty   no brltty rule claims USB 0403:6001"}},
            {"commented out, or other ids",
             "/dev/ttyUSB0",
             [](RecordedMachine& m) {
                 m.file("usr/lib/udev/rules.d/85-brltty.rules",
                        "#ENV{PRODUCT}==\"403/6001/*\"\nENV{PRODUCT}==\"1a86/7523/*\"\n");
             },
             {"ok      brltty   no brltty rule claims USB 0403:6001"}},
            {"a UART", "/dev/ttyS0", nothing, {}},
        });
}

TEST(DoctorChecks, LoginConsoleOnThePortIsFound) {
    expect_lines(
        "console",
        {
            {"none", "/dev/ttyS0", nothing, {"ok      console  no login console on ttyS0"}},
            {"getty",
             "/dev/ttyS0",
             [](RecordedMachine& m) {
                 m.process("512", "agetty",
                           {"/sbin/agetty", "-o", "-p -- \\u", "--keep-baud", "115200,57600",
                            "ttyS0", "vt220"});
                 m.process("513", "agetty", {"/sbin/agetty", "-o", "-p -- \\u", "tty1"});
             },
             {"PROBLEM console  a login console (agetty, pid 512) runs on ttyS0: run \"sudo "
              "systemctl disable --now serial-getty@ttyS0.service\""}},
            {"kernel console",
             "/dev/ttyS0",
             [](RecordedMachine& m) {
                 m.file("proc/cmdline", "root=/dev/sda1 console=tty0 console=ttyS0,115200n8 ro\n");
             },
             {"PROBLEM console  the kernel writes its console to ttyS0 (console=ttyS0,115200n8 on "
              "its command line): remove it from GRUB_CMDLINE_LINUX in /etc/default/grub, run "
              "\"sudo update-grub\" and reboot"}},
            {"kernel console of a Raspberry Pi by its link",
             "/dev/ttyAMA0",
             [](RecordedMachine& m) {
                 m.raspberry_pi("ttyAMA0", "ttyS0");
                 m.file("proc/cmdline", "console=serial0,115200 console=tty1 root=PARTUUID=1\n");
             },
             {"PROBLEM console  the kernel writes its console to ttyAMA0 (console=serial0,115200 "
              "on its command line): remove it from /boot/firmware/cmdline.txt and reboot"}},
            {"another port's console",
             "/dev/ttyUSB0",
             [](RecordedMachine& m) { m.file("proc/cmdline", "console=ttyS0\n"); },
             {"ok      console  no login console on ttyUSB0"}},
        });
}

TEST(DoctorChecks, RaspberryPiUartsAreNamed) {
    expect_lines(
        "pi",
        {
            {"serial0 on the mini UART",
             "/dev/ttyS0",
             [](RecordedMachine& m) { m.raspberry_pi("ttyS0", "ttyAMA0"); },
             {"warning pi       /dev/serial0 is the mini UART (ttyS0), whose rate follows the "
              "core clock: add \"dtoverlay=disable-bt\" to /boot/firmware/config.txt and reboot "
              "to put serial0 on the PL011 (ttyAMA0)"}},
            {"Bluetooth on the PL011",
             "/dev/ttyAMA0",
             [](RecordedMachine& m) { m.raspberry_pi("ttyS0", "ttyAMA0"); },
             {"PROBLEM pi       ttyAMA0 carries the Bluetooth of this Raspberry Pi (/dev/serial1): "
              "use /dev/serial0, or add \"dtoverlay=disable-bt\" to /boot/firmware/config.txt, "
              "run \"sudo systemctl disable hciuart\" and reboot"}},
            {"serial0 on the PL011",
             "/dev/serial0",
             [](RecordedMachine& m) { m.raspberry_pi("ttyAMA0", "ttyS0"); },
             {"ok      pi       /dev/serial0 is the PL011 (ttyAMA0)"}},
            {"not a Raspberry Pi", "/dev/ttyS0", nothing, {}},
        });
}

TEST(DoctorChecks, LatencyTimerAboveTwoMillisecondsCostsTheFirmwareUpdate) {
    expect_lines(
        "latency",
        {
            {"16 ms",
             "/dev/ttyUSB0",
             nothing,
             {"warning latency  the adapter's latency timer is 16 ms: each answer of the firmware "
              "loader may wait that long, up to 16 s more for 1000 records; vestrimond asks for "
              "1 ms while it holds the port, other programs may not (\"echo 1 | sudo tee "
              "/sys/bus/usb-serial/devices/ttyUSB0/latency_timer\")"}},
            {"1 ms",
             "/dev/ttyUSB0",
             [](RecordedMachine& m) {
                 m.file("sys/devices/usb1/1-1/1-1:1.0/ttyUSB0/latency_timer", "1\n");
             },
             {"ok      latency  the adapter's latency timer is 1 ms"}},
            {"2 ms",
             "/dev/ttyUSB0",
             [](RecordedMachine& m) {
                 m.file("sys/devices/usb1/1-1/1-1:1.0/ttyUSB0/latency_timer", "2\n");
             },
             {"ok      latency  the adapter's latency timer is 2 ms"}},
            {"a UART has none", "/dev/ttyS0", nothing, {}},
        });
}

TEST(DoctorChecks, ChecksRunInOrderAndStopAtAMissingPort) {
    auto checks_of = [](const std::string& port) {
        RecordedMachine machine;
        std::string order;
        for (const finding& found : port_findings(machine, port)) order += found.check + " ";
        return order;
    };
    EXPECT_EQ(checks_of("/dev/ttyUSB0"), "port access lock holders modem brltty console latency ");
    EXPECT_EQ(checks_of("/dev/ttyS0"), "port access lock holders console ");
    EXPECT_EQ(checks_of("/dev/ttyUSB9"), "port ");
}

TEST(DoctorChecks, WithoutAPortEachDeviceOfTheListIsCheckedOnce) {
    RecordedMachine machine;
    std::vector<std::string> ports;
    for (const finding& found : machine_findings(machine)) {
        if (found.check == "port") ports.push_back(finding_line(found));
    }
    EXPECT_EQ(ports, (std::vector<std::string>{
                         "ok      port     /dev/ttyUSB0: driver ftdi_sio, USB 0403:6001 FT232R "
                         "USB UART",
                         "ok      port     /dev/ttyAMA0: driver uart-pl011",
                         "ok      port     /dev/ttyS0: driver serial8250",
                     }));
}

}  // namespace
