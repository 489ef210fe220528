#include <unistd.h>

#include <algorithm>
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

// The names in `folder` that begin with `stem`, sorted; none when the folder
// is missing or unreadable.
std::vector<std::string> names_in(const fs::path& folder, const std::string& stem = "") {
    std::vector<std::string> names;
    std::error_code error;
    for (fs::directory_iterator it(folder, error), end; !error && it != end; it.increment(error)) {
        std::string name = it->path().filename().string();
        if (name.compare(0, stem.size(), stem) == 0) names.push_back(name);
    }
    std::sort(names.begin(), names.end());
    return names;
}

std::string first_line_of(const fs::path& file) {
    std::ifstream in(file);
    std::string line;
    std::getline(in, line);
    return line;
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

// The USB device above a tty's device in sysfs: the nearest folder up the
// chain that has an idVendor, within the few levels of an interface.
std::string usb_description(const port_roots& roots, const std::string& tty) {
    std::error_code error;
    fs::path device = fs::canonical(fs::path(roots.sys) / "class/tty" / tty / "device", error);
    if (error) return "";
    for (int level = 0; level < 4 && !device.empty(); ++level, device = device.parent_path()) {
        if (!fs::exists(device / "idVendor", error)) continue;
        std::string text =
            first_line_of(device / "idVendor") + ":" + first_line_of(device / "idProduct");
        std::string product = first_line_of(device / "product");
        if (!product.empty()) text += " " + product;
        return text;
    }
    return "";
}

std::string driver_of(const port_roots& roots, const std::string& tty) {
    std::error_code error;
    fs::path driver = fs::path(roots.sys) / "class/tty" / tty / "device/driver";
    if (!fs::is_symlink(driver, error)) return "";
    return fs::read_symlink(driver, error).filename().string();
}

bool is_usb_tty(const std::string& name) {
    return name.rfind("ttyUSB", 0) == 0 || name.rfind("ttyACM", 0) == 0;
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

std::vector<std::string> by_id_paths(const port_roots& roots) {
    std::vector<std::string> paths;
    for (const std::string& name : names_in(fs::path(roots.dev) / "serial/by-id")) {
        paths.push_back(roots.dev + "/serial/by-id/" + name);
    }
    return paths;
}

std::vector<std::string> usb_ttys(const port_roots& roots) {
    std::vector<std::string> names = names_in(roots.dev, "ttyUSB");
    std::vector<std::string> acm = names_in(roots.dev, "ttyACM");
    names.insert(names.end(), acm.begin(), acm.end());
    return names;
}

}  // namespace

port_roots system_port_roots() {
    return {"/dev", "/sys", environ};
}

std::vector<std::string> list_ports(const port_roots& roots) {
    std::vector<std::string> lines;
    for (const std::string& path : by_id_paths(roots)) {
        lines.push_back(path + " -> " + link_target(path));
    }
    for (const std::string& tty : usb_ttys(roots)) {
        std::string line = roots.dev + "/" + tty;
        std::string usb = usb_description(roots, tty);
        if (!usb.empty()) line += "  USB " + usb;
        lines.push_back(line);
    }
    for (const std::string& tty : names_in(fs::path(roots.sys) / "class/tty")) {
        if (is_usb_tty(tty)) continue;
        std::string driver = driver_of(roots, tty);
        if (!driver.empty()) lines.push_back(roots.dev + "/" + tty + "  driver " + driver);
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
    for (const std::string& path : by_id_paths(roots)) names.push_back(path);
    for (const std::string& tty : usb_ttys(roots)) names.push_back(roots.dev + "/" + tty);
    return names;
}
