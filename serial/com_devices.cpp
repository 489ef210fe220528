#include "serial/com_devices.h"

#include <algorithm>
#include <cctype>

#include "common/prefix_match.h"
#include "serial/doctor.h"

int com_number_of(const std::string& name) {
    std::size_t at = name.compare(0, 4, "\\\\.\\") == 0 ? 4 : 0;
    if (name.size() < at + 4 || !is_prefix_nocase("COM", name.c_str() + at)) return 0;
    int number = 0;
    for (std::size_t i = at + 3; i < name.size(); ++i) {
        if (!std::isdigit(static_cast<unsigned char>(name[i])) || number > 9999) return 0;
        number = number * 10 + (name[i] - '0');
    }
    return name[at + 3] == '0' ? 0 : number;
}

std::string com_label(int number) { return "COM" + std::to_string(number); }

std::string typed_form(int number) { return "\\\\.\\COM" + std::to_string(number); }

namespace {

// The text after `key` ("VID_") up to the next of `stops`, empty without key.
std::string field_after(const std::string& id, const std::string& key, const char* stops) {
    std::string upper = id;
    for (char& c : upper) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    std::size_t at = upper.find(key);
    if (at == std::string::npos) return "";
    at += key.size();
    return id.substr(at, id.find_first_of(stops, at) - at);
}

// Present devices of these makers' USB serial chips count as adapters even
// without a setup class (a chip without a driver is one of "Other devices").
constexpr const char* serial_chip_vendors[] = {"0403", "1A86", "10C4", "067B", "04E2", "0557"};

bool is_usb_serial_adapter(const setup_device& device) {
    instance_usb_ids ids = usb_ids_of_instance(device.instance_id);
    if (ids.vendor.empty()) return false;
    if (same_nocase(device.class_name.c_str(), "Ports")) return true;
    for (const char* vendor : serial_chip_vendors) {
        if (same_nocase(ids.vendor.c_str(), vendor)) return true;
    }
    return false;
}

struct problem_text {
    unsigned code;
    const char* text;
};

// Device Manager's problem codes that a serial adapter meets.
constexpr problem_text problem_texts[] = {
    {1, "the device is not configured"},
    {3, "the driver may be corrupted"},
    {10, "the device cannot start"},
    {18, "its drivers must be installed again"},
    {22, "the device is disabled"},
    {24, "the device is not present or not working"},
    {28, "no driver is installed"},
    {31, "the device is not working properly"},
    {39, "the driver cannot be loaded"},
    {43, "Windows stopped the device after it reported problems"},
    {52, "the driver's signature cannot be verified"},
};

// "Code 10 (the device cannot start)"
std::string problem_phrase(unsigned code) {
    std::string phrase = "Code " + std::to_string(code);
    for (const problem_text& known : problem_texts) {
        if (known.code == code) return phrase + " (" + known.text + ")";
    }
    return phrase;
}

// The friendly name without the " (COM3)" that Windows puts after it.
std::string device_name(const setup_device& device) {
    std::string name = device.friendly_name;
    std::size_t open = name.rfind(" (");
    if (open != std::string::npos && name.back() == ')' &&
        com_number_of(name.substr(open + 2, name.size() - open - 3)) > 0) {
        name.erase(open);
    }
    return name;
}

// Name, maker, driver, USB ids and serial number, problem, latency timer.
std::string describe(const setup_device& device) {
    std::string text;
    auto add = [&text](const std::string& part) {
        if (part.empty()) return;
        if (!text.empty()) text += "  ";
        text += part;
    };
    add(device_name(device));
    if (!device.maker.empty()) add("maker " + device.maker);
    if (!device.service.empty()) add("driver " + device.service);
    instance_usb_ids ids = usb_ids_of_instance(device.instance_id);
    if (!ids.vendor.empty()) add("USB " + ids.vendor + ":" + ids.product);
    if (!ids.serial.empty()) add("serial " + ids.serial);
    if (device.problem != 0) add("problem: " + problem_phrase(device.problem));
    if (device.latency_ms > 2) add("latency timer " + std::to_string(device.latency_ms) + " ms");
    return text;
}

const setup_device* device_of_port(const com_machine& machine, int number) {
    for (const setup_device& device : machine.devices) {
        if (com_number_of(device.port_name) == number) return &device;
    }
    return nullptr;
}

}  // namespace

instance_usb_ids usb_ids_of_instance(const std::string& instance_id) {
    instance_usb_ids ids;
    bool ftdibus = is_prefix_nocase("FTDIBUS\\", instance_id.c_str());
    if (!ftdibus && !is_prefix_nocase("USB\\", instance_id.c_str())) return ids;
    ids.vendor = field_after(instance_id, "VID_", "&+\\");
    ids.product = field_after(instance_id, "PID_", "&+\\");
    if (ids.vendor.size() != 4 || ids.product.size() != 4) return {};
    for (char& c : ids.vendor) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    for (char& c : ids.product) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    if (ftdibus) {
        // FTDIBUS\VID_0403+PID_6001+A50285BIA\0000: the serial number, then the channel letter.
        std::string serial = field_after(instance_id, "+PID_" + ids.product + "+", "\\");
        if (serial.size() > 1) ids.serial = serial.substr(0, serial.size() - 1);
        return ids;
    }
    // USB\VID_0403&PID_6001\A50285BI: the last part is the device's serial
    // number, unless Windows made it up ("5&2a3b4c5d&0&2") for a device without one.
    std::size_t slash = instance_id.rfind('\\');
    std::string last = instance_id.substr(slash + 1);
    if (slash > 4 && last.find('&') == std::string::npos) ids.serial = last;
    return ids;
}

std::vector<int> com_port_numbers(const com_machine& machine) {
    std::vector<int> numbers;
    for (const com_name& name : machine.names) numbers.push_back(name.number);
    for (const setup_device& device : machine.devices) {
        int number = com_number_of(device.port_name);
        if (number > 0) numbers.push_back(number);
    }
    std::sort(numbers.begin(), numbers.end());
    numbers.erase(std::unique(numbers.begin(), numbers.end()), numbers.end());
    return numbers;
}

std::vector<std::string> com_port_lines(const com_machine& machine) {
    std::vector<std::string> lines;
    for (int number : com_port_numbers(machine)) {
        std::string line = com_label(number);
        if (const setup_device* device = device_of_port(machine, number)) {
            line += "  " + describe(*device);
        } else {
            for (const com_name& name : machine.names) {
                if (name.number == number && !name.device.empty()) line += "  " + name.device;
            }
        }
        if (number > 20) line += "  type " + typed_form(number);
        lines.push_back(line);
    }
    for (const setup_device& device : machine.devices) {
        if (device.problem == 0 || com_number_of(device.port_name) > 0) continue;
        if (!is_usb_serial_adapter(device)) continue;
        lines.push_back(describe(device) + "  no COM port");
    }
    return lines;
}

std::string open_hint(const com_machine& machine, const std::string& port, bool in_use) {
    std::string name = port;
    int number = com_number_of(port);
    if (number > 0) name = com_label(number);
    if (in_use) {
        return name +
               " is in use by another program (a terminal program, another console window): "
               "close it, then try again\n";
    }
    std::string hint = name + " does not exist on this PC";
    // A port whose name outlived its device (a link of Wine's to nothing) is no port to offer.
    std::vector<int> numbers = com_port_numbers(machine);
    numbers.erase(std::remove(numbers.begin(), numbers.end(), number), numbers.end());
    if (numbers.empty()) {
        hint += ", which has no COM port\n";
    } else {
        hint += "; its COM ports: ";
        for (std::size_t i = 0; i < numbers.size(); ++i) {
            if (i > 0) hint += ", ";
            hint += com_label(numbers[i]);
            if (numbers[i] > 20) hint += " (" + typed_form(numbers[i]) + ")";
        }
        hint += "\n";
    }
    for (const setup_device& device : machine.devices) {
        if (device.problem == 0 || !is_usb_serial_adapter(device)) continue;
        instance_usb_ids ids = usb_ids_of_instance(device.instance_id);
        hint += "A USB serial adapter is plugged in without a working driver: USB " + ids.vendor +
                ":" + ids.product + " " + device_name(device) + ", " +
                problem_phrase(device.problem) + "\n";
    }
    return hint;
}

int adapter_latency_ms(const com_machine& machine, const std::string& port) {
    const setup_device* device = device_of_port(machine, com_number_of(port));
    if (device == nullptr || !same_nocase(device->service.c_str(), "FTDIBUS")) return -1;
    return device->latency_ms;
}

namespace {

finding adapter_problem(const setup_device& device) {
    instance_usb_ids ids = usb_ids_of_instance(device.instance_id);
    return {finding_level::problem, "adapter",
            "USB " + ids.vendor + ":" + ids.product + " " + device_name(device) + ": " +
                problem_phrase(device.problem) +
                ": install the driver of the chip's maker for these USB ids (Device Manager, the "
                "device's Properties, Driver, Update Driver); an adapter whose chip the driver "
                "refuses (Code 10) needs another adapter"};
}

finding latency_warning(int number, int latency_ms) {
    return {finding_level::warning, "latency",
            com_label(number) + ": the FTDI adapter's latency timer is " +
                std::to_string(latency_ms) +
                " ms: each answer of the firmware loader may wait that long; set it to 1 ms "
                "(Device Manager, the port's Properties, Port Settings, Advanced..., Latency "
                "Timer (msec))"};
}

}  // namespace

std::vector<finding> com_doctor_findings(const com_machine& machine, const char* port) {
    std::vector<finding> found;
    const std::vector<int> numbers = com_port_numbers(machine);
    const int wanted = port != nullptr ? com_number_of(port) : 0;
    // A port the lists do not show may still open (a name a program made): the
    // device check that follows tells.
    if (port != nullptr && std::find(numbers.begin(), numbers.end(), wanted) == numbers.end()) {
        std::string listed;
        for (int number : numbers) listed += (listed.empty() ? "" : ", ") + com_label(number);
        found.push_back({finding_level::warning, "port",
                         std::string(port) + " is not among the COM ports Windows lists" +
                             (listed.empty() ? "" : " (" + listed + ")")});
    }
    const std::vector<std::string> lines = com_port_lines(machine);
    for (std::size_t i = 0; i < numbers.size(); ++i) {
        if (port != nullptr && numbers[i] != wanted) continue;
        found.push_back({finding_level::ok, "port", lines[i]});
        int latency_ms = adapter_latency_ms(machine, com_label(numbers[i]));
        if (latency_ms > 2) found.push_back(latency_warning(numbers[i], latency_ms));
    }
    for (const setup_device& device : machine.devices) {
        if (device.problem != 0 && is_usb_serial_adapter(device)) {
            found.push_back(adapter_problem(device));
        }
    }
    if (numbers.empty() && port == nullptr) {
        found.push_back({finding_level::problem, "port", "no COM port found: plug the adapter in"});
    }
    return found;
}
