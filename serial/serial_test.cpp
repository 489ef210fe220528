#include "serial/serial_test.h"

#include <cstdint>
#include <cstdio>
#include <string_view>

#include "common/numbers.h"
#include "diagnostics/hexdump.h"
#include "serial/connection.h"
#include "serial/port.h"

namespace {

constexpr std::string_view serialtest_prompt = "Begin serial test: end with <ctrl>-c";
constexpr char serialtest_command[] = "serialtest\n";
constexpr unsigned char first_char = 0x40;
constexpr unsigned char last_char = 0x7E;
constexpr int64_t chars_per_iteration = last_char - first_char + 1;
constexpr unsigned char end_of_test = 0x03;
constexpr int answer_timeout_ms = 1000;

unsigned char test_buf[1024];

bool start_test() {
    if (write_port(port_name, serialtest_command, sizeof serialtest_command - 1) <= 0) {
        std::printf("\n\a\aError: wrote serialtest command, got error on port %s\n", port_name);
        return false;
    }
    int count = read_port(port_name, test_buf, sizeof test_buf, answer_timeout_ms);
    std::string_view answer(reinterpret_cast<const char*>(test_buf), static_cast<size_t>(count));
    if (answer.find(serialtest_prompt) == std::string_view::npos) {
        std::printf("\n\a\aError: did not receive the serialtest response!\n");
        hexdump(stdout, 1, "Got", test_buf, count, 10);
        return false;
    }
    return true;
}

// One byte out, its echo back, compared.
bool echo_one(int64_t iteration, unsigned char sent) {
    if (write_port(port_name, &sent, 1) <= 0) {
        std::printf("\n\a\aError: wrote serialtest count %ld value 0x%02x, got error on port %s\n",
                    static_cast<long>(iteration), sent, port_name);
        return false;
    }
    test_buf[0] = 0;
    if (read_port(port_name, test_buf, 1, answer_timeout_ms) != 1) {
        std::printf("\n\a\aError: did not receive the serialtest response on port %s!\n",
                    port_name);
        return false;
    }
    if (test_buf[0] != sent) {
        std::printf("\n\a\aError: serialtest mismatch character 0x%02x, got 0x%02x\n", sent,
                    test_buf[0]);
        return false;
    }
    return true;
}

}  // namespace

// The counter is wider than the count, so that it can pass the largest count.
bool run_iterations(int64_t first, int32_t last) {
    for (int64_t iteration = first; iteration <= last; ++iteration) {
        for (unsigned value = first_char; value <= last_char; ++value) {
            if (!echo_one(iteration, static_cast<unsigned char>(value))) return false;
        }
        std::printf(".");
    }
    return true;
}

int serial_test(int code, const char* iterations) {
    if (code != serialtest_code) {
        std::printf("\a\aError: Invalid command %d\n", code);
        return -1;
    }
    int32_t count = leading_decimal(iterations);
    if (count < 1) {
        std::printf("\a\aError: Invalid iteration count: %ld\n", static_cast<long>(count));
        return -2;
    }
    if (!start_test() || !run_iterations(1, count)) {
        end_connection();
        return -3;
    }
    std::printf("\nSerial test passed: wrote %lld characters\n",
                static_cast<long long>(count * chars_per_iteration));
    if (write_port(port_name, &end_of_test, 1) <= 0) {
        std::printf("\n\a\aError: wrote serialtest termination command, got error on port %s\n",
                    port_name);
        end_connection();
        return -4;
    }
    return 0;
}
