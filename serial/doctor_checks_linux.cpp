#include "serial/doctor_checks_linux.h"

#include <algorithm>
#include <cctype>
#include <cstdio>

#include "common/numbers.h"
#include "serial/uucp_lock.h"

namespace {

// A port as the checks see it: the path given, the device it leads to, the
// device's tty name, and its hardware as the port list reads it.
struct port_facts {
    std::string path;    // "/dev/serial/by-id/usb-..." or "/dev/ttyUSB0"
    std::string device;  // "/dev/ttyUSB0"; empty when the path leads nowhere
    std::string tty;     // "ttyUSB0", "pts/3": the device's name under /dev
    std::string driver;  // "ftdi_sio"; empty when none
    usb_ids usb;
};

finding ok(const char* check, std::string text) {
    return {finding_level::ok, check, std::move(text)};
}

finding warning(const char* check, std::string text) {
    return {finding_level::warning, check, std::move(text)};
}

finding problem(const char* check, std::string text) {
    return {finding_level::problem, check, std::move(text)};
}

bool all_digits(const std::string& text) {
    return !text.empty() && std::all_of(text.begin(), text.end(), [](char c) {
        return std::isdigit(static_cast<unsigned char>(c)) != 0;
    });
}

std::string lower(std::string text) {
    for (char& c : text) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return text;
}

std::string base_name(const std::string& path) {
    return path.substr(path.find_last_of('/') + 1);
}

// A running process as /proc shows it.
struct process {
    std::string pid;
    std::string name;               // its comm
    std::vector<std::string> args;  // its command line
};

std::vector<process> processes(const machine_reader& reader) {
    std::vector<process> found;
    for (const std::string& pid : reader.names("/proc")) {
        if (!all_digits(pid)) continue;
        process one{pid, reader.first_line("/proc/" + pid + "/comm"), {}};
        std::string line = reader.text("/proc/" + pid + "/cmdline");
        for (std::size_t at = 0; at < line.size();) {
            std::size_t end = line.find('\0', at);
            if (end == std::string::npos) end = line.size();
            one.args.push_back(line.substr(at, end - at));
            at = end + 1;
        }
        found.push_back(std::move(one));
    }
    return found;
}

bool runs(const std::vector<process>& running, const std::string& name) {
    return std::any_of(running.begin(), running.end(),
                       [&](const process& p) { return p.name == name; });
}

// The ':'-separated fields of each line of a database ("name:x:id:...").
std::vector<std::vector<std::string>> database_records(const std::string& database) {
    std::vector<std::vector<std::string>> records;
    std::size_t at = 0;
    while (at < database.size()) {
        std::size_t end = database.find('\n', at);
        if (end == std::string::npos) end = database.size();
        const std::string line = database.substr(at, end - at);
        at = end + 1;
        std::vector<std::string> fields;
        for (std::size_t from = 0;;) {
            std::size_t colon = line.find(':', from);
            fields.push_back(line.substr(from, colon - from));
            if (colon == std::string::npos) break;
            from = colon + 1;
        }
        records.push_back(std::move(fields));
    }
    return records;
}

// "name" of a group or user id from a database of "name:x:id:..." lines.
std::string database_name(const std::string& database, unsigned id) {
    for (const std::vector<std::string>& fields : database_records(database)) {
        if (fields.size() > 2 && fields[2] == std::to_string(id)) return fields[0];
    }
    return std::to_string(id);
}

// The fields of the line of `name` in a database of ':'-separated lines.
std::vector<std::string> database_entry(const std::string& database, const std::string& name) {
    for (std::vector<std::string>& fields : database_records(database)) {
        if (fields.size() > 1 && fields[0] == name) return std::move(fields);
    }
    return {};
}

// Whether the group database gives `user` the group `gid`: as a member, or
// as the user's own group in the user database.
bool database_gives(const machine_reader& reader, const std::string& user, unsigned gid) {
    std::vector<std::string> account = database_entry(reader.text("/etc/passwd"), user);
    if (account.size() > 3 && account[3] == std::to_string(gid)) return true;
    std::string groups = reader.text("/etc/group");
    std::vector<std::string> group = database_entry(groups, database_name(groups, gid));
    if (group.size() < 4) return false;
    std::string members = "," + group[3] + ",";
    return members.find("," + user + ",") != std::string::npos;
}

std::string mode_text(unsigned mode) {
    char text[8];
    std::snprintf(text, sizeof text, "%04o", mode);
    return text;
}

bool is_usb(const port_facts& port) {
    return !port.usb.vendor.empty();
}

std::string usb_pair(const port_facts& port) {
    return port.usb.vendor + ":" + port.usb.product;
}

bool on_raspberry_pi(const machine_reader& reader) {
    return reader.text("/proc/device-tree/model").rfind("Raspberry Pi", 0) == 0;
}

port_facts read_port_facts(const machine_reader& reader, const std::string& path) {
    port_facts port;
    port.path = path;
    port.device = reader.resolved(path);
    if (port.device.empty()) return port;
    port.tty = port.device.rfind("/dev/", 0) == 0 ? port.device.substr(5) : base_name(port.device);
    port_roots roots = reader.ports();
    port.driver = driver_of(roots, port.tty);
    port.usb = usb_ids_of(roots, port.tty);
    return port;
}

finding check_port(const machine_reader& reader, const port_facts& port) {
    if (port.device.empty()) {
        return problem("port", port.path +
                                   " does not exist: plug the adapter in, or name a port of "
                                   "\"vestrimond --list-ports\"");
    }
    std::string text = port.path;
    if (port.device != port.path) text += " -> " + port.device;
    if (port.device.rfind("/dev/pts/", 0) == 0) return ok("port", text + ": a pseudo-terminal");
    if (port.driver.empty()) {
        return problem("port", text +
                                   ": no driver serves it: is the adapter's driver loaded? "
                                   "(\"sudo dmesg | tail\" right after plugging it in)");
    }
    if (placeholder_port(reader.ports(), port.tty)) {
        return problem("port", text + ": driver " + port.driver +
                                   ", but no UART behind it (the driver registers it whatever "
                                   "the machine has): name another port");
    }
    text += ": driver " + port.driver;
    if (is_usb(port)) text += ", USB " + usb_description(port.usb);
    return ok("port", text);
}

finding check_access(const machine_reader& reader, const port_facts& port) {
    device_node node;
    if (!reader.node(port.device, &node)) {
        return problem("access", port.device + " cannot be examined");
    }
    const std::string groups = reader.text("/etc/group");
    const std::string group = database_name(groups, node.gid);
    const std::string owner = database_name(reader.text("/etc/passwd"), node.uid);
    const std::string about =
        "(owner " + owner + ", group " + group + ", mode " + mode_text(node.mode) + ")";
    if (reader.may_open(port.device)) {
        return ok("access", port.device + ": you may read and write it " + about);
    }
    const bool group_may_use = (node.mode & 060) == 060;
    if (!group_may_use || node.gid == 0) {
        return problem("access", port.device + " may be opened by its owner " + owner + " only " +
                                     about + ": ask the administrator for access");
    }
    const login_identity login = reader.identity();
    const bool login_has =
        std::find(login.groups.begin(), login.groups.end(), node.gid) != login.groups.end();
    if (login_has) {
        return problem("access", port.device + " refuses you although this login has the group " +
                                     group + " " + about +
                                     ": an access list or a security module keeps you off; "
                                     "ask the administrator");
    }
    if (database_gives(reader, login.user, node.gid)) {
        return problem("access", port.device + " belongs to the group " + group + " " + about +
                                     ": you are in " + group +
                                     ", but this login began before you joined it: log out and "
                                     "in again (or run \"newgrp " +
                                     group + "\" for one shell)");
    }
    return problem("access", port.device + " belongs to the group " + group + " " + about +
                                 ", which you are not in: run \"sudo usermod -aG " + group + " " +
                                 login.user + "\", then log out and in again");
}

finding check_lock_file(const machine_reader& reader, const port_facts& port) {
    const char* folder = uucp_lock_folder_where(reader.listable("/run/lock"));
    char name[512];
    if (!uucp_lock_file(port.device.c_str(), folder, name, sizeof name)) {
        return ok("lock", port.device + " takes no lock file");
    }
    if (!reader.exists(name)) return ok("lock", std::string("no lock file ") + name);
    std::string text = reader.text(name);
    pid_t pid = uucp_lock_pid(text.data(), text.size());
    if (pid <= 0) {
        return problem("lock", std::string("the lock file ") + name +
                                   " names no process: remove it (\"sudo rm " + name + "\")");
    }
    const std::string id = std::to_string(pid);
    if (!reader.exists("/proc/" + id)) {
        return ok("lock", std::string("the lock file ") + name + " is left from process " + id +
                              ", which has ended: vestrimond removes it");
    }
    std::string holder = reader.first_line("/proc/" + id + "/comm");
    return problem("lock", std::string("the lock file ") + name + " says that " +
                               (holder.empty() ? "process " + id : holder + " (pid " + id + ")") +
                               " uses " + port.device + ": end that program first");
}

finding check_other_processes(const machine_reader& reader, const port_facts& port) {
    std::string holders;
    int hidden = 0;
    for (const std::string& pid : reader.names("/proc")) {
        if (!all_digits(pid)) continue;
        const std::string fds = "/proc/" + pid + "/fd";
        if (!reader.listable(fds)) {
            ++hidden;
            continue;
        }
        for (const std::string& fd : reader.names(fds)) {
            if (!reader.same_device(fds + "/" + fd, port.device)) continue;
            if (!holders.empty()) holders += ", ";
            holders += reader.first_line("/proc/" + pid + "/comm") + " (pid " + pid + ")";
            break;
        }
    }
    if (!holders.empty()) {
        return problem("holders",
                       port.device + " is open in " + holders + ": end that program first");
    }
    if (hidden > 0) {
        return ok("holders", "none of your processes has " + port.device +
                                 " open (hidden from you: " + std::to_string(hidden) +
                                 (hidden == 1 ? " process" : " processes") +
                                 " of other users; run the doctor with sudo to see them)");
    }
    return ok("holders", "no process has " + port.device + " open");
}

void check_modem_manager(const machine_reader& reader, const port_facts& port,
                         std::vector<finding>& found) {
    if (!is_usb(port)) return;
    if (!runs(processes(reader), "ModemManager")) {
        found.push_back(ok("modem", "ModemManager is not running"));
        return;
    }
    std::string numbers = reader.first_line("/sys/class/tty/" + port.tty + "/dev");
    std::string properties = reader.text("/run/udev/data/c" + numbers);
    if (properties.find("E:ID_MM_DEVICE_IGNORE=1") != std::string::npos) {
        found.push_back(
            ok("modem", "ModemManager runs and is told to leave " + port.tty + " alone"));
        return;
    }
    found.push_back(problem(
        "modem", "ModemManager runs and may probe " + port.tty +
                     " with modem commands when it appears: add the line ATTRS{idVendor}==\"" +
                     port.usb.vendor + "\", ATTRS{idProduct}==\"" + port.usb.product +
                     "\", ENV{ID_MM_DEVICE_IGNORE}=\"1\" to /etc/udev/rules.d/"
                     "99-vestrimond.rules, run \"sudo udevadm control --reload\" and plug the "
                     "adapter in again (or \"sudo systemctl disable --now ModemManager\")"));
}

void check_brltty(const machine_reader& reader, const port_facts& port,
                  std::vector<finding>& found) {
    if (!is_usb(port)) return;
    // A rules file of an earlier folder hides one of the same name in a later.
    const char* folders[] = {"/etc/udev/rules.d", "/run/udev/rules.d", "/usr/lib/udev/rules.d",
                             "/lib/udev/rules.d"};
    const std::string vendor = lower(port.usb.vendor), product = lower(port.usb.product);
    std::string short_vendor =
        vendor.substr(std::min(vendor.find_first_not_of('0'), vendor.size() - 1));
    std::string short_product =
        product.substr(std::min(product.find_first_not_of('0'), product.size() - 1));
    const std::string by_attributes[] = {"attrs{idvendor}==\"" + vendor + "\"",
                                         "attrs{idproduct}==\"" + product + "\""};
    const std::string by_product = "env{product}==\"" + short_vendor + "/" + short_product + "/";
    std::vector<std::string> seen;
    for (const char* folder : folders) {
        for (const std::string& name : reader.names(folder)) {
            if (name.find("brltty") == std::string::npos) continue;
            if (std::find(seen.begin(), seen.end(), name) != seen.end()) continue;
            seen.push_back(name);
            std::string rules = lower(reader.text(std::string(folder) + "/" + name));
            for (std::size_t at = 0; at < rules.size();) {
                std::size_t end = rules.find('\n', at);
                if (end == std::string::npos) end = rules.size();
                std::string line = rules.substr(at, end - at);
                at = end + 1;
                if (line.empty() || line[0] == '#') continue;
                bool matches = (line.find(by_attributes[0]) != std::string::npos &&
                                line.find(by_attributes[1]) != std::string::npos) ||
                               line.find(by_product) != std::string::npos;
                if (!matches) continue;
                found.push_back(problem(
                    "brltty", "brltty's rules (" + std::string(folder) + "/" + name +
                                  ") claim USB " + usb_pair(port) +
                                  " as a braille display and take the port away: run \"sudo ln "
                                  "-s /dev/null /etc/udev/rules.d/" +
                                  name + "\" (or remove brltty), then plug the adapter in again"));
                return;
            }
        }
    }
    found.push_back(ok("brltty", "no brltty rule claims USB " + usb_pair(port)));
}

void check_login_console(const machine_reader& reader, const port_facts& port,
                         std::vector<finding>& found) {
    const std::size_t before = found.size();
    for (const process& p : processes(reader)) {
        if (p.name.find("getty") == std::string::npos) continue;
        for (std::size_t i = 1; i < p.args.size(); ++i) {
            if (p.args[i] != port.tty && p.args[i] != port.device) continue;
            found.push_back(problem("console", "a login console (" + p.name + ", pid " + p.pid +
                                                   ") runs on " + port.tty +
                                                   ": run \"sudo systemctl disable --now "
                                                   "serial-getty@" +
                                                   port.tty + ".service\""));
            break;
        }
    }
    std::string line = reader.first_line("/proc/cmdline") + " ";
    for (std::size_t at = 0; (at = line.find("console=", at)) != std::string::npos;) {
        std::size_t end = line.find(' ', at);
        std::string setting = line.substr(at, end - at);
        at = end;
        std::string tty = setting.substr(8, setting.find(',') - 8);
        // A Raspberry Pi's command line may name the console by its link.
        if (tty == "serial0" || tty == "serial1") tty = base_name(reader.link("/dev/" + tty));
        if (tty != port.tty) continue;
        found.push_back(problem(
            "console", "the kernel writes its console to " + port.tty + " (" + setting +
                           " on its command line): remove it from " +
                           (on_raspberry_pi(reader)
                                ? std::string("/boot/firmware/cmdline.txt")
                                : std::string("GRUB_CMDLINE_LINUX in /etc/default/grub, run "
                                              "\"sudo update-grub\"")) +
                           " and reboot"));
    }
    if (found.size() == before) found.push_back(ok("console", "no login console on " + port.tty));
}

void check_raspberry_pi(const machine_reader& reader, const port_facts& port,
                        std::vector<finding>& found) {
    if (!on_raspberry_pi(reader)) return;
    const std::string serial0 = base_name(reader.link("/dev/serial0"));
    const std::string serial1 = base_name(reader.link("/dev/serial1"));
    if (port.tty == serial0 && port.tty.rfind("ttyS", 0) == 0) {
        found.push_back(warning(
            "pi", "/dev/serial0 is the mini UART (" + port.tty +
                      "), whose rate follows the core clock: add \"dtoverlay=disable-bt\" to "
                      "/boot/firmware/config.txt and reboot to put serial0 on the PL011 "
                      "(ttyAMA0)"));
    } else if (port.tty == serial1 && port.tty.rfind("ttyAMA", 0) == 0) {
        found.push_back(problem(
            "pi", port.tty + " carries the Bluetooth of this Raspberry Pi (/dev/serial1): use "
                             "/dev/serial0, or add \"dtoverlay=disable-bt\" to "
                             "/boot/firmware/config.txt, run \"sudo systemctl disable hciuart\" "
                             "and reboot"));
    } else if (port.tty == serial0) {
        found.push_back(ok("pi", "/dev/serial0 is the PL011 (" + port.tty + ")"));
    }
}

void check_latency_timer(const machine_reader& reader, const port_facts& port,
                         std::vector<finding>& found) {
    const std::string file = "/sys/class/tty/" + port.tty + "/device/latency_timer";
    std::string value = reader.first_line(file);
    if (!all_digits(value)) return;
    const int32_t ms = leading_decimal(value.c_str());
    if (ms <= 2) {
        found.push_back(ok("latency", "the adapter's latency timer is " + value + " ms"));
        return;
    }
    found.push_back(warning(
        "latency", "the adapter's latency timer is " + value +
                       " ms: each answer of the firmware loader may wait that long, up to " +
                       std::to_string(ms) +
                       " s more for 1000 records; vestrimond asks for 1 ms while it holds the "
                       "port, other programs may not (\"echo 1 | sudo tee /sys/bus/usb-serial/"
                       "devices/" +
                       port.tty + "/latency_timer\")"));
}

}  // namespace

std::vector<finding> port_findings(const machine_reader& reader, const std::string& path) {
    const port_facts port = read_port_facts(reader, path);
    std::vector<finding> found{check_port(reader, port)};
    if (port.device.empty()) return found;
    found.push_back(check_access(reader, port));
    found.push_back(check_lock_file(reader, port));
    found.push_back(check_other_processes(reader, port));
    check_modem_manager(reader, port, found);
    check_brltty(reader, port, found);
    check_login_console(reader, port, found);
    check_raspberry_pi(reader, port, found);
    check_latency_timer(reader, port, found);
    return found;
}

std::vector<finding> machine_findings(const machine_reader& reader) {
    std::vector<finding> found;
    std::vector<std::string> devices;
    // The list names the ports inside the reader's tree; the checks take them
    // as the machine does.
    const std::string dev = reader.ports().dev;
    for (const std::string& name : port_names(reader.ports())) {
        std::string device = reader.resolved("/dev" + name.substr(dev.size()));
        if (device.empty() || std::find(devices.begin(), devices.end(), device) != devices.end()) {
            continue;
        }
        devices.push_back(device);
        std::vector<finding> port = port_findings(reader, device);
        found.insert(found.end(), port.begin(), port.end());
    }
    if (devices.empty())
        found.push_back(problem("port", "no serial port found: plug the adapter in"));
    return found;
}
