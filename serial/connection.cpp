#include "serial/connection.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <string_view>

#include "common/numbers.h"
#include "diagnostics/hexdump.h"
#include "serial/port.h"

int connected = 0;
char port_name[256] = "";
int32_t current_baud = 19200;
unsigned char rx_buf[1024];
const std::array<int32_t, 5> host_bauds = {4800, 9600, 19200, 38400, 57600};

namespace {

struct firmware_version {
    int32_t major;
    int32_t minor;
};

constexpr firmware_version min_version{2, 83};

constexpr char identify_command[] = "\x03\nversion\n";  // 0x03, then "\nversion\n"
constexpr int identify_length = sizeof identify_command - 1;
constexpr int identify_answer_size = 200;
constexpr int answer_timeout_ms = 2000;
constexpr int drain_size = 40;
constexpr int drain_timeout_ms = 100;
constexpr std::string_view device_name = "Vestrimond";
constexpr std::string_view version_label = "Version ";
constexpr std::string_view device_prompt = "Vestro> ";

std::string_view received(int count) {
    return {reinterpret_cast<const char*>(rx_buf), static_cast<std::size_t>(count)};
}

// Throws away whatever the device sent before we asked.
void drain_input() {
    while (read_port(port_name, rx_buf, drain_size, drain_timeout_ms) > 0) {
    }
}

// Bytes 0 and above 0x7F become '#' and a terminator follows the last byte,
// so that the answer is one text that every search stops at.
void make_searchable(int count) {
    for (int i = 0; i < count; ++i) {
        if (rx_buf[i] == 0 || rx_buf[i] > 0x7F) rx_buf[i] = '#';
    }
    rx_buf[count] = '\0';
}

// A one-digit minor number counts in tenths: 2.9 is 2.90.
int32_t normalised_minor(int32_t minor) {
    if (minor >= 10) return minor;
    return minor < INT32_MIN / 10 ? INT32_MIN : minor * 10;
}

// The version written at `at` in the searchable answer: the major number, then
// the number after the first '.' that follows (0 when there is none).
firmware_version read_version(std::string_view answer, std::size_t at) {
    firmware_version version{leading_decimal(answer.data() + at), 0};
    std::size_t dot = answer.find('.', at);
    if (dot != std::string_view::npos) version.minor = leading_decimal(answer.data() + dot + 1);
    version.minor = normalised_minor(version.minor);
    return version;
}

bool older_than_minimum(const firmware_version& version) {
    if (version.major != min_version.major) return version.major < min_version.major;
    return version.minor < normalised_minor(min_version.minor);
}

// What an identify answer says of the device.
struct identity {
    enum { no_name, no_version, too_old, accepted } outcome;
    std::size_t version_at;  // the version's first character, with too_old and accepted
    firmware_version version;
};

identity read_identity(std::string_view answer) {
    std::size_t name_at = answer.find(device_name);
    if (name_at == std::string_view::npos) return {identity::no_name, 0, {}};
    std::size_t label_at = answer.find(version_label, name_at);
    if (label_at == std::string_view::npos) return {identity::no_version, 0, {}};
    std::size_t at = label_at + version_label.size();
    firmware_version version = read_version(answer, at);
    return {older_than_minimum(version) ? identity::too_old : identity::accepted, at, version};
}

int fail_connection(int result) {
    end_connection();
    return result;
}

// Asks the device on the open port for its version: the count of answer bytes
// in rx_buf, made searchable, or -1 when the question could not be written.
int identify_answer() {
    drain_input();
    purge_port();
    if (write_port(port_name, identify_command, identify_length) <= 0) return -1;
    int count = read_port(port_name, rx_buf, identify_answer_size, answer_timeout_ms);
    make_searchable(count);
    return count;
}

int first_connection(int32_t baud) {
    std::printf("Connecting at %ld...\n", static_cast<long>(baud));
    if (connected) {
        std::printf("\a\aError: already Connected!\n");
        return 1;
    }
    if (open_port(port_name, baud) != 0) {
        std::printf("\a\aError: could not open COM port %s\n", port_name);
        print_open_hint();
        return 2;
    }
    int count = identify_answer();
    if (count < 0) {
        std::printf(
            "\n\a\aError: wrote interrupt character and version command, got error on port %s\n",
            port_name);
        return fail_connection(3);
    }
    identity device = read_identity(received(count));
    if (device.outcome == identity::no_name) {
        std::printf("\n\a\aError: did not receive the Vestrimond prompt!\nExpected: Vestrimond\n");
        hexdump(stdout, 1, "Got", rx_buf, count, 10);
        return fail_connection(3);
    }
    if (device.outcome == identity::no_version) {
        std::printf("\n\a\aError: did not receive the Vestrimond version (minimum %d.%d)!\n",
                    static_cast<int>(min_version.major), static_cast<int>(min_version.minor));
        return fail_connection(4);
    }
    if (device.outcome == identity::too_old) {
        std::printf("\n\a\aError: received Vestrimond version %d.%d but minimal is %d.%d!\n",
                    static_cast<int>(device.version.major), static_cast<int>(device.version.minor),
                    static_cast<int>(min_version.major), static_cast<int>(min_version.minor));
        return fail_connection(4);
    }
    std::printf("\aConnected at %ld\n", static_cast<long>(baud));
    connected = 1;
    return 0;
}

// After "host <baud>" went out at the old rate: the port goes to the new one
// and the device's console is woken with a line feed.
int reconnection(int32_t baud) {
    std::printf("Connecting at %ld...\n", static_cast<long>(baud));
    connected = 0;
    if (change_port_rate(port_name, baud) != 0) {
        std::printf("\a\aError: could not open COM port %s\n", port_name);
        print_open_hint();
        return 2;
    }
    if (write_port(port_name, "\n", 1) <= 0) {
        std::printf("\a\aError: wrote CR character, got error on port %s\n", port_name);
        return fail_connection(7);
    }
    int count = read_port(port_name, rx_buf, sizeof rx_buf, answer_timeout_ms);
    if (received(count).find(device_prompt) == std::string_view::npos) {
        std::printf("\a\aError: did not receive the Vestrimond prompt!\n");
        return fail_connection(8);
    }
    std::printf("\aConnected at %ld\n", static_cast<long>(baud));
    connected = 1;
    return 0;
}

}  // namespace

int ask_version(int32_t baud, char* version, std::size_t size) {
    version[0] = '\0';
    if (open_port(port_name, baud) != 0) return 2;
    int count = identify_answer();
    close_port();
    std::string_view answer = received(count < 0 ? 0 : count);
    identity device = read_identity(answer);
    if (device.outcome == identity::no_name) return 3;
    if (device.outcome == identity::no_version) return 4;
    std::string_view word = answer.substr(device.version_at);
    word = word.substr(0, std::min(word.find_first_of(" \r\n"), size - 1));
    word.copy(version, word.size());
    version[word.size()] = '\0';
    return device.outcome == identity::too_old ? 4 : 0;
}

const char* minimum_version_text() {
    static char text[24];
    std::snprintf(text, sizeof text, "%d.%d", static_cast<int>(min_version.major),
                  static_cast<int>(min_version.minor));
    return text;
}

bool port_name_fits(const char* name) {
    return std::strlen(name) < sizeof port_name;
}

void end_connection() {
    close_port();
    connected = 0;
}

int connect_device(int32_t baud, bool reconnect) {
    return reconnect ? reconnection(baud) : first_connection(baud);
}
