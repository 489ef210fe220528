// A host that breaks the wire grammar one rule at a time, against the
// simulator on its pty: every departure is refused as a damaged packet or
// record would be, and the strict simulator ends with status 3 and names it.

#include <fcntl.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <termios.h>
#include <unistd.h>

#include <chrono>
#include <string>
#include <vector>

#include "tests/sim/packets.h"
#include "tests/support/sim_process.h"

namespace {

using Clock = std::chrono::steady_clock;

constexpr int prompt_byte = 0x05;
constexpr int quiet = -1;  // no answer awaited: what comes is read and dropped

// The host's end of the line, raw at the device's rate.
class WrongHost {
  public:
    explicit WrongHost(const std::string& path) : fd_(open(path.c_str(), O_RDWR | O_NOCTTY)) {
        termios settings{};
        if (fd_ < 0 || tcgetattr(fd_, &settings) != 0) return;
        cfmakeraw(&settings);
        cfsetspeed(&settings, B19200);
        tcsetattr(fd_, TCSANOW, &settings);
    }
    ~WrongHost() {
        if (fd_ >= 0) close(fd_);
    }
    bool open_ok() const { return fd_ >= 0; }

    void send(const std::string& bytes) {
        ASSERT_EQ(write(fd_, bytes.data(), bytes.size()), static_cast<ssize_t>(bytes.size()));
    }

    // The next byte within `timeout_ms`, or -1.
    int next_byte(int timeout_ms) {
        auto deadline = Clock::now() + std::chrono::milliseconds(timeout_ms);
        for (;;) {
            int left = static_cast<int>(
                std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now())
                    .count());
            pollfd watch{fd_, POLLIN, 0};
            if (left <= 0 || poll(&watch, 1, left) <= 0) return -1;
            unsigned char byte;
            if (read(fd_, &byte, 1) == 1) return byte;
        }
    }

    // The first answer byte that is not the loader's prompt (unless the
    // prompt is awaited), or -1 after `timeout_ms`.
    int answer(int awaited, int timeout_ms) {
        int byte;
        do {
            byte = next_byte(timeout_ms);
        } while (byte == prompt_byte && awaited != prompt_byte);
        return byte;
    }

    void drain(int quiet_ms) {
        while (next_byte(quiet_ms) >= 0) {
        }
    }

  private:
    int fd_;
};

struct Step {
    std::string send;
    int answer;  // the byte the device answers, or quiet
};

std::vector<Step> steps_of(const std::string& packets, int answer) {
    std::vector<Step> steps;
    for (size_t at = 0; at < packets.size();) {
        size_t length = static_cast<unsigned char>(packets[at]) << 8 |
                        static_cast<unsigned char>(packets[at + 1]);
        steps.push_back({packets.substr(at, length), answer});
        at += length;
    }
    return steps;
}

std::vector<Step> operator+(std::vector<Step> first, const std::vector<Step>& second) {
    first.insert(first.end(), second.begin(), second.end());
    return first;
}

const int ack_byte = 0x06;
const int nak_byte = 0x15;

// A download up to the point where the host goes wrong, all acknowledged.
std::vector<Step> download(const std::string& good_packets) {
    return std::vector<Step>{{"download\n", quiet}} + steps_of(good_packets, ack_byte);
}

const std::string conf_part = command("conf", "904") + data_packets(conf_image(2));
const std::string rules_part = command("rules", "56") + data_packets(image(56, 2));
const std::string finish = command("-cestfini-", "");

// The firmware update up to the loader's prompt, as the host must send it.
std::vector<Step> reset(const std::string& reset_line = "reset\n") {
    return {{"\x03\n", quiet}, {reset_line, quiet}, {"", prompt_byte}};
}

// ... and up to the records.
std::vector<Step> loader(const std::string& reset_line = "reset\n") {
    return reset(reset_line) + std::vector<Step>{{"\x16", ack_byte}, {"VeMoNd1.0", ack_byte}};
}

std::string bad_crc(std::string sent) {
    sent.back() = static_cast<char>(sent.back() ^ 0x01);
    return sent;
}

TEST(WrongHost, EveryBreachOfTheWireGrammarIsFlagged) {
    struct Case {
        const char* what;
        std::vector<Step> steps;  // the last one breaks a rule
        const char* rule;         // a part of the violation's report
        std::vector<std::string> options = {};  // of the simulator
    };
    const Case cases[] = {
        {"size with a leading zero", download("") + steps_of(command("conf", "0904"), nak_byte),
         "leading zero"},
        {"size with a sign", download("") + steps_of(command("conf", "+904"), nak_byte),
         "size field \"+904"},
        {"junk after the NUL of a command name",
         download("") + steps_of(command(std::string("conf\0X", 6), "904"), nak_byte),
         "after the command name \"conf\""},
        {"data before any command", download("") + steps_of(packet("abc"), nak_byte),
         "where the \"conf\" command packet"},
        {"unknown command", download("") + steps_of(command("config", "904"), nak_byte),
         "command \"config\" where \"conf\" belongs"},
        {"configuration of another size", download("") + steps_of(command("conf", "903"), nak_byte),
         "configuration size 903"},
        {"configuration in 30-byte packets",
         download(command("conf", "904")) + steps_of(packet(image(30, 1)), nak_byte),
         "30 payload bytes where 60 belong"},
        {"no rules packet", download(conf_part) + steps_of(finish, nak_byte),
         "\"-cestfini-\" where \"rules\" belongs"},
        {"rules not a multiple of 28",
         download(conf_part) + steps_of(command("rules", "29"), nak_byte), "rules size 29"},
        {"more rules than the table holds",
         download(conf_part) + steps_of(command("rules", "868"), nak_byte), "rules size 868"},
        {"rules of another count than the configuration's",
         download(conf_part) + steps_of(command("rules", "84"), nak_byte), "rule count makes 56"},
        {"rules in uneven packets",
         download(conf_part + command("rules", "56")) + steps_of(packet(image(28, 2)), nak_byte),
         "28 payload bytes where 56 belong"},
        {"finish before the rules are whole",
         download(conf_part + command("rules", "56")) + steps_of(finish, nak_byte),
         "17 payload bytes where 56 belong"},
        {"junk after the finish name",
         download(conf_part + rules_part) +
             steps_of(command(std::string("-cestfini-\0Z", 12), ""), nak_byte),
         "after the command name \"-cestfini-\""},
        {"finish with a size",
         download(conf_part + rules_part) + steps_of(command("-cestfini-", "0"), nak_byte),
         "size field \"0"},
        {"a packet after the finish",
         download(conf_part + rules_part + finish) + steps_of(finish, nak_byte),
         "after the finish packet"},
        {"wrong CRC", download("") + steps_of(bad_crc(command("conf", "904")), nak_byte), "CRC"},
        {"reset line ended by CR LF",
         loader("reset\r\n") + std::vector<Step>{{":00000001FF\r", ack_byte}}, "reset line"},
        {"wrong sync character", reset() + std::vector<Step>{{"\x17", quiet}},
         "byte 0x17 where the sync character"},
        {"wrong identifier",
         reset() + std::vector<Step>{{"\x16", ack_byte}, {"VeMoNd1.1", nak_byte}},
         "identifier \"VeMoNd1.1\""},
        {"record with a '-' count", loader() + std::vector<Step>{{":-1000001\r", nak_byte}},
         "only hexadecimal digits"},
        {"record with 0x", loader() + std::vector<Step>{{":0x000001FF\r", nak_byte}},
         "only hexadecimal digits"},
        {"record with a blank", loader() + std::vector<Step>{{": 0000001FF\r", nak_byte}},
         "only hexadecimal digits"},
        {"record without its CR", loader() + std::vector<Step>{{":00000001FF", nak_byte}},
         "ends in CR"},
        {"another record after a rejected one",
         loader() + std::vector<Step>{{":0100000000FF\r", 0x12}, {":00000001FF\r", ack_byte}},
         "where the same record belongs again",
         {"--loader-answers", "1:0x12"}},
        {"record ended by CR LF",
         loader() + std::vector<Step>{{":00000001FF\r\n", ack_byte}, {":00000001FF\r", 0x11}},
         "begins with ':'"},
    };
    for (const Case& c : cases) {
        SimProcess device(c.options);
        device.expect_violations();
        ASSERT_FALSE(device.path().empty()) << device.log();
        {
            WrongHost host(device.path());
            ASSERT_TRUE(host.open_ok()) << c.what;
            for (const Step& step : c.steps) {
                host.send(step.send);
                if (step.answer == quiet) {
                    host.drain(100);
                } else {
                    EXPECT_EQ(host.answer(step.answer, 3000), step.answer)
                        << c.what << ": after " << step.send.size() << " bytes";
                }
            }
            host.drain(250);
        }
        EXPECT_EQ(device.stop(), 3) << c.what;
        EXPECT_NE(device.log().find(c.rule), std::string::npos) << c.what << "\n" << device.log();
    }
}

}  // namespace
