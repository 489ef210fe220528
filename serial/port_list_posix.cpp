#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <system_error>

#include "serial/port_list.h"
#include "serial/port_path.h"

extern char** environ;

namespace fs = std::filesystem;

namespace {

// Names compared as a person reads them: a run of digits by its value, so
// that ttyS2 comes before ttyS10.
bool natural_less(const std::string& a, const std::string& b) {
    std::size_t i = 0, j = 0;
    while (i < a.size() && j < b.size()) {
        if (std::isdigit(static_cast<unsigned char>(a[i])) &&
            std::isdigit(static_cast<unsigned char>(b[j]))) {
            std::size_t a_end = a.find_first_not_of("0123456789", i);
            std::size_t b_end = b.find_first_not_of("0123456789", j);
            if (a_end == std::string::npos) a_end = a.size();
            if (b_end == std::string::npos) b_end = b.size();
            std::string a_digits = a.substr(i, a_end - i), b_digits = b.substr(j, b_end - j);
            a_digits.erase(0, std::min(a_digits.find_first_not_of('0'), a_digits.size() - 1));
            b_digits.erase(0, std::min(b_digits.find_first_not_of('0'), b_digits.size() - 1));
            if (a_digits.size() != b_digits.size()) return a_digits.size() < b_digits.size();
            if (a_digits != b_digits) return a_digits < b_digits;
            i = a_end;
            j = b_end;
            continue;
        }
        if (a[i] != b[j]) return a[i] < b[j];
        ++i;
        ++j;
    }
    return a.size() - i < b.size() - j;
}

// The names in `folder` that begin with one of `stems`, in natural order;
// none when the folder is missing or unreadable.
std::vector<std::string> names_in(const fs::path& folder,
                                  std::initializer_list<const char*> stems = {""}) {
    std::vector<std::string> names;
    std::error_code error;
    for (fs::directory_iterator it(folder, error), end; !error && it != end; it.increment(error)) {
        std::string name = it->path().filename().string();
        for (const char* stem : stems) {
            if (name.rfind(stem, 0) == 0) {
                names.push_back(name);
                break;
            }
        }
    }
    std::sort(names.begin(), names.end(), natural_less);
    return names;
}

std::string first_line_of(const fs::path& file) {
    std::ifstream in(file);
    std::string line;
    std::getline(in, line);
    return line;
}

// A text that a device gave (a USB product name) without the control
// characters that would act on the terminal showing the list: those of
// ASCII, DEL, and the C1 controls as UTF-8 writes them (C2 80 to C2 9F).
std::string printable(const std::string& text) {
    std::string kept;
    for (std::size_t i = 0; i < text.size(); ++i) {
        const auto c = static_cast<unsigned char>(text[i]);
        if (c < 0x20 || c == 0x7F) continue;
        if (c == 0xC2 && i + 1 < text.size() &&
            (static_cast<unsigned char>(text[i + 1]) & 0xE0) == 0x80) {
            ++i;
            continue;
        }
        kept += text[i];
    }
    return kept;
}

// Where a link leads, its relative target taken from the link's folder; an
// absolute target of the real /dev stays as it is.
std::string link_target(const fs::path& link) {
    std::error_code error;
    fs::path target = fs::read_symlink(link, error);
    if (error) return "";
    if (target.is_relative()) target = (link.parent_path() / target).lexically_normal();
    return target.string();
}

std::string link_name(const fs::path& link) {
    std::error_code error;
    return fs::read_symlink(link, error).filename().string();
}

fs::path tty_folder(const port_roots& roots, const std::string& tty) {
    return fs::path(roots.sys) / "class/tty" / tty;
}

// A Bluetooth serial link: the address of the far device and its channel.
std::string bluetooth_description(const port_roots& roots, const std::string& tty) {
    fs::path folder = tty_folder(roots, tty);
    std::string address = first_line_of(folder / "address");
    if (address.empty()) return "Bluetooth";
    return "Bluetooth " + address + " channel " + first_line_of(folder / "channel");
}

constexpr std::initializer_list<const char*> usb_stems = {"ttyUSB", "ttyACM", "ttyXRUSB"};

bool is_usb_tty(const std::string& name) {
    for (const char* stem : usb_stems) {
        if (name.rfind(stem, 0) == 0) return true;
    }
    return false;
}

struct mapping {
    long number;
    std::string target;
};

// The VESTRIMOND_COM<n> variables that name a path, by port number.
std::vector<mapping> com_mappings(char** environment) {
    static const char stem[] = "VESTRIMOND_COM";
    std::vector<mapping> found;
    for (char** entry = environment; entry != nullptr && *entry != nullptr; ++entry) {
        if (std::strncmp(*entry, stem, sizeof stem - 1) != 0) continue;
        const char* digits = *entry + sizeof stem - 1;
        const char* value = std::strchr(digits, '=');
        if (value == nullptr || value[1] == '\0') continue;
        long number = com_port_number(digits, static_cast<std::size_t>(value - digits));
        if (number != 0) found.push_back({number, value + 1});
    }
    std::sort(found.begin(), found.end(),
              [](const mapping& a, const mapping& b) { return a.number < b.number; });
    return found;
}

// A port of the machine: its path, and what the list says about it (the
// device a link leads to, or the port's driver and hardware).
struct port_entry {
    std::string path;
    std::string about;
    bool link;
};

// The ports in the order of the list: the stable names under
// /dev/serial/by-id, the links /dev/serial0 and /dev/serial1 that some
// systems make to their main UARTs, the USB devices, the UARTs and other
// ports that have a driver, then the Bluetooth links.
std::vector<port_entry> machine_ports(const port_roots& roots) {
    std::vector<port_entry> ports;
    for (const std::string& name : names_in(fs::path(roots.dev) / "serial/by-id")) {
        std::string path = roots.dev + "/serial/by-id/" + name;
        ports.push_back({path, link_target(path), true});
    }
    for (const char* name : {"serial0", "serial1"}) {
        std::string path = roots.dev + "/" + name;
        std::error_code error;
        if (fs::is_symlink(path, error)) ports.push_back({path, link_target(path), true});
    }
    for (const std::string& tty : names_in(roots.dev, usb_stems)) {
        std::string about;
        std::string driver = driver_of(roots, tty);
        if (!driver.empty()) about = "driver " + driver;
        std::string usb = usb_description(usb_ids_of(roots, tty));
        if (!usb.empty()) about += (about.empty() ? "USB " : "  USB ") + usb;
        ports.push_back({roots.dev + "/" + tty, about, false});
    }
    std::vector<std::string> bluetooth;
    for (const std::string& tty : names_in(fs::path(roots.sys) / "class/tty")) {
        if (is_usb_tty(tty)) continue;
        if (tty.rfind("rfcomm", 0) == 0) {
            bluetooth.push_back(tty);
            continue;
        }
        std::string driver = driver_of(roots, tty);
        if (driver.empty() || placeholder_port(roots, tty)) continue;
        ports.push_back({roots.dev + "/" + tty, "driver " + driver, false});
    }
    for (const std::string& tty : bluetooth) {
        ports.push_back({roots.dev + "/" + tty, bluetooth_description(roots, tty), false});
    }
    return ports;
}

}  // namespace

std::string usb_description(const usb_ids& usb) {
    if (usb.vendor.empty()) return "";
    std::string text = usb.vendor + ":" + usb.product;
    if (!usb.name.empty()) text += " " + usb.name;
    return text;
}

// A port of the serial core whose type is 0 (PORT_UNKNOWN) has no UART behind
// it: the 8250 driver registers ttyS0 to ttyS3 (or more) whatever the machine
// has. Ports outside the serial core have no type and count as there.
bool placeholder_port(const port_roots& roots, const std::string& tty) {
    return first_line_of(tty_folder(roots, tty) / "type") == "0";
}

// The USB device above a tty's device in sysfs: the nearest folder up the
// chain that has an idVendor, within the few levels of an interface.
usb_ids usb_ids_of(const port_roots& roots, const std::string& tty) {
    std::error_code error;
    fs::path device = fs::canonical(tty_folder(roots, tty) / "device", error);
    if (error) return {};
    for (int level = 0; level < 4 && !device.empty(); ++level, device = device.parent_path()) {
        if (!fs::exists(device / "idVendor", error)) continue;
        return {printable(first_line_of(device / "idVendor")),
                printable(first_line_of(device / "idProduct")),
                printable(first_line_of(device / "product"))};
    }
    return {};
}

// From kernel 6.5 on, the serial core puts a controller and a port device of
// its own bus ("serial-base", drivers "ctrl" and "port") between a serial
// port's tty and its hardware: they are passed over. The 8250 driver's PnP and
// PCI parts register as "serial".
std::string driver_of(const port_roots& roots, const std::string& tty) {
    std::error_code error;
    fs::path device = fs::canonical(tty_folder(roots, tty) / "device", error);
    if (error) return "";
    while (link_name(device / "subsystem") == "serial-base") device = device.parent_path();
    std::string driver = link_name(device / "driver");
    return driver == "serial" ? "serial8250" : driver;
}

port_roots system_port_roots() {
    return {"/dev", "/sys", environ};
}

std::vector<std::string> list_ports(const port_roots& roots) {
    std::vector<std::string> lines;
    for (const port_entry& port : machine_ports(roots)) {
        if (port.link) {
            lines.push_back(port.path + " -> " + port.about);
        } else {
            lines.push_back(port.about.empty() ? port.path : port.path + "  " + port.about);
        }
    }
    for (const mapping& com : com_mappings(roots.environment)) {
        std::error_code error;
        bool exists = fs::exists(com.target, error);
        lines.push_back("COM" + std::to_string(com.number) + "  VESTRIMOND_COM" +
                        std::to_string(com.number) + "=" + com.target +
                        (exists ? "  (exists)" : "  (missing)"));
    }
    return lines;
}

std::vector<std::string> port_names(const port_roots& roots) {
    std::vector<std::string> names;
    for (const mapping& com : com_mappings(roots.environment)) {
        names.push_back("COM" + std::to_string(com.number));
    }
    for (const port_entry& port : machine_ports(roots)) names.push_back(port.path);
    return names;
}
