#include "sim/pty_line.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

#include <chrono>
#include <string>
#include <vector>

#include "serial/line_settings.h"
#include "sim/line_faults.h"
#include "sim/wire.h"

namespace {

using Clock = std::chrono::steady_clock;

// The host's end of the line: the slave, raw at `rate`.
int open_host(const sim::PtyLine& line, int32_t rate) {
    int fd = open(line.slave_path(), O_RDWR | O_NOCTTY);
    if (fd >= 0 && (read_line_settings(fd) != 0 || write_line_settings(fd, rate) != 0)) {
        close(fd);
        return -1;
    }
    return fd;
}

void send(int fd, const std::string& bytes) {
    ASSERT_EQ(write(fd, bytes.data(), bytes.size()), static_cast<ssize_t>(bytes.size()));
}

std::vector<int> heard(uint8_t byte, int32_t sender_rate, int32_t receiver_rate) {
    sim::Misheard misheard = sim::hear(byte, sender_rate, receiver_rate);
    return {misheard.bytes.begin(), misheard.bytes.begin() + misheard.count};
}

TEST(SimWire, FramesFollowOneAnotherAtTheSendersRate) {
    const auto start = sim::wire_clock::now();
    const auto frame = sim::frame_time(9600);
    EXPECT_EQ(frame.count(), 1041666);  // 10 bits at 9600 baud
    EXPECT_EQ(sim::frame_time(57600).count(), 173611);

    sim::WireSchedule line;
    // Three bytes handed over at once leave one after the other.
    EXPECT_EQ(line.send(start, 9600), start + frame);
    EXPECT_EQ(line.send(start, 9600), start + 2 * frame);
    EXPECT_EQ(line.send(start + frame, 9600), start + 3 * frame);
    // A byte handed over after the line went quiet starts at once.
    const auto later = start + 10 * frame;
    EXPECT_EQ(line.send(later, 4800), later + sim::frame_time(4800));
    // A line without time.
    EXPECT_EQ(line.send(later, 0), later);
}

TEST(SimWire, ReceiverAtTheWrongRateHearsOtherBytes) {
    for (int byte = 0; byte < 256; ++byte) {
        EXPECT_EQ(heard(uint8_t(byte), 19200, 19200), std::vector<int>{byte});
    }
    struct Case {
        uint8_t byte;
        int32_t sender, receiver;
        std::vector<int> heard;
    };
    const Case cases[] = {
        // Slower sender: each bit is sampled twice; the fall inside the data
        // starts a second byte.
        {0x0A, 9600, 19200, {0x98, 0x80}},
        {0xFF, 9600, 19200, {0xFE}},
        // Much slower: every fall of the line makes a byte of zeros.
        {0x41, 4800, 57600, {0x00, 0x00, 0x00}},
        // Faster sender: the line is high again in the middle of every start
        // bit the receiver finds: nothing at all.
        {0x55, 38400, 19200, {}},
        {0x00, 38400, 19200, {0xF8}},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(heard(c.byte, c.sender, c.receiver), c.heard)
            << std::hex << int(c.byte) << " at " << std::dec << c.sender << " heard at " << c.receiver;
    }
}

std::vector<int> passed(sim::LineFaults faults, int count) {
    std::vector<int> out;
    for (int i = 0; i < count; ++i) out.push_back(faults.pass(uint8_t(i)));
    return out;
}

TEST(SimLineFaults, SameSeedSameFaultsEachDirectionItsOwn) {
    sim::LineOptions options;
    options.noise = {0.05, 7};
    options.drop = {0.02, 7};
    using D = sim::LineFaults::Direction;
    const std::vector<int> first = passed(sim::LineFaults(options, D::to_device), 2000);
    EXPECT_EQ(passed(sim::LineFaults(options, D::to_device), 2000), first);
    EXPECT_NE(passed(sim::LineFaults(options, D::to_host), 2000), first);
    options.noise.seed = 8;
    EXPECT_NE(passed(sim::LineFaults(options, D::to_device), 2000), first);
}

TEST(SimLineFaults, NoiseFlipsOneBitAndDropLosesTheByte) {
    struct Case {
        double noise, drop;
        int flipped_at_least, flipped_at_most, dropped_at_least, dropped_at_most;
    };
    const Case cases[] = {
        {0.0, 0.0, 0, 0, 0, 0},
        {0.01, 0.0, 900, 1100, 0, 0},
        {0.0, 0.001, 0, 0, 80, 120},
        {1.0, 0.0, 100000, 100000, 0, 0},
        {0.0, 1.0, 0, 0, 100000, 100000},
    };
    for (const Case& c : cases) {
        sim::LineOptions options;
        options.noise.probability = c.noise;
        options.drop.probability = c.drop;
        sim::LineFaults faults(options, sim::LineFaults::Direction::to_host);
        int flipped = 0, dropped = 0;
        for (int i = 0; i < 100000; ++i) {
            uint8_t sent = uint8_t(i * 37);
            int got = faults.pass(sent);
            if (got < 0) {
                ++dropped;
            } else if (got != sent) {
                ++flipped;
                EXPECT_EQ(__builtin_popcount(unsigned(got ^ sent)), 1);
            }
        }
        EXPECT_EQ(faults.flipped(), uint64_t(flipped));
        EXPECT_EQ(faults.dropped(), uint64_t(dropped));
        EXPECT_GE(flipped, c.flipped_at_least) << c.noise;
        EXPECT_LE(flipped, c.flipped_at_most) << c.noise;
        EXPECT_GE(dropped, c.dropped_at_least) << c.drop;
        EXPECT_LE(dropped, c.dropped_at_most) << c.drop;
    }
}

// What the device hears of `bytes`, read until the line is quiet.
std::vector<int> device_hears(sim::PtyLine& line) {
    std::vector<int> got;
    for (int byte; (byte = line.read_byte(300)) >= 0;) got.push_back(byte);
    return got;
}

std::vector<int> misheard_text(const std::string& text, int32_t sender, int32_t receiver) {
    std::vector<int> all;
    for (unsigned char c : text) {
        std::vector<int> one = heard(c, sender, receiver);
        all.insert(all.end(), one.begin(), one.end());
    }
    return all;
}

TEST(SimLine, BytesSentAtAnotherRateThanTheDevicesArriveDamaged) {
    sim::PtyLine line;
    ASSERT_TRUE(line.open(19200));
    int host = open_host(line, 19200);
    ASSERT_GE(host, 0);
    send(host, "ok");
    EXPECT_EQ(line.read_byte(1000), 'o');
    EXPECT_EQ(line.read_byte(1000), 'k');

    line.set_rate(9600);
    send(host, "lost");
    EXPECT_EQ(device_hears(line), misheard_text("lost", 19200, 9600));

    // The host follows: the device hears it again.
    ASSERT_EQ(write_line_settings(host, 9600), 0);
    send(host, "x");
    EXPECT_EQ(line.read_byte(1000), 'x');

    // The device writes at its rate; a host at another rate hears damage.
    ASSERT_EQ(write_line_settings(host, 19200), 0);
    line.write("\n");
    std::vector<int> host_heard;
    pollfd watch{host, POLLIN, 0};
    unsigned char byte;
    while (poll(&watch, 1, 300) == 1 && read(host, &byte, 1) == 1) host_heard.push_back(byte);
    EXPECT_EQ(host_heard, misheard_text("\n", 9600, 19200));
    close(host);
}

TEST(SimLine, HostWhoseEndShowsNoRateIsHeardAndHearsAtTheDevicesRate) {
    // QEMU's PL011 leaves the pty at the rate its backend set at the start.
    sim::LineOptions blind;
    blind.ignore_host_rate = true;
    sim::PtyLine line(blind);
    ASSERT_TRUE(line.open(19200));
    int host = open_host(line, 115200);
    ASSERT_GE(host, 0);
    line.set_rate(4800);
    send(host, "ok");
    EXPECT_EQ(device_hears(line), (std::vector<int>{'o', 'k'}));
    line.write("\n");
    pollfd watch{host, POLLIN, 0};
    unsigned char byte = 0;
    ASSERT_EQ(poll(&watch, 1, 1000), 1);
    ASSERT_EQ(read(host, &byte, 1), 1);
    EXPECT_EQ(byte, '\n');

    // Not even 0 baud: the end at it has not hung up, and is heard and hears.
    ASSERT_EQ(write_line_settings(host, 0), 0);
    send(host, "at0");
    EXPECT_EQ(device_hears(line), (std::vector<int>{'a', 't', '0'}));
    EXPECT_EQ(line.read_byte(sim::PtyLine::hang_up_after_ms + 200), sim::Line::timed_out);
    line.write("\r");
    ASSERT_EQ(poll(&watch, 1, 1000), 1);
    ASSERT_EQ(read(host, &byte, 1), 1);
    EXPECT_EQ(byte, '\r');
    close(host);
}

TEST(SimLine, EachByteIsHeardAtTheRateTheDeviceHasWhenItTakesIt) {
    // Paced, the bytes of two writes are on their way together: the device
    // changes its rate after the first write's bytes, before the second's.
    sim::LineOptions paced;
    paced.pace = true;
    sim::PtyLine line(paced);
    ASSERT_TRUE(line.open(4800));
    int host = open_host(line, 4800);
    ASSERT_GE(host, 0);
    const std::string first(20, 'x');
    send(host, first);
    std::string got(1, static_cast<char>(line.read_byte(1000)));
    ASSERT_EQ(got, "x");
    ASSERT_EQ(write_line_settings(host, 9600), 0);
    send(host, "y");
    if (int byte = line.read_byte(0); byte >= 0) got += static_cast<char>(byte);
    usleep(100 * 1000);  // every byte has arrived
    for (int byte; (byte = line.read_byte(300)) >= 0;) {
        got += static_cast<char>(byte);
        if (got == first) line.set_rate(9600);
    }
    EXPECT_EQ(got, first + "y");
    close(host);
}

TEST(SimLine, HostHeardAtTheRateItHadWhenItWroteBeforeReopening) {
    // The line reads the pty only after the host has written, closed its
    // port and reopened it at the device's new rate: what was written before
    // still counts as sent at the old rate, what follows at the new one.
    sim::PtyLine line;
    ASSERT_TRUE(line.open(19200));
    int host = open_host(line, 19200);
    ASSERT_GE(host, 0);
    send(host, "A");
    EXPECT_EQ(line.read_byte(1000), 'A');
    send(host, "host 9600\n");
    close(host);
    host = open_host(line, 9600);
    send(host, "\n");
    std::string got;
    for (int byte; (byte = line.read_byte(300)) >= 0;) {
        got += static_cast<char>(byte);
        if (byte == '\n' && got.size() == 10) line.set_rate(9600);
    }
    EXPECT_EQ(got, "host 9600\n\n");
    close(host);
}

TEST(SimLine, HostWhoseRateChangesWithoutReopeningIsHeardAtEitherRateUntilItsEndSettles) {
    // An emulated port's backend sets the pty's rate as its guest does, and
    // the line may read what was sent before the change only after it.
    sim::PtyLine line;
    ASSERT_TRUE(line.open(19200));
    int host = open_host(line, 19200);
    ASSERT_GE(host, 0);
    send(host, "A");
    EXPECT_EQ(line.read_byte(1000), 'A');
    send(host, "host 9600\n");
    ASSERT_EQ(write_line_settings(host, 9600), 0);
    std::string got;
    for (int byte; (byte = line.read_byte(300)) >= 0;) got += static_cast<char>(byte);
    EXPECT_EQ(got, "host 9600\n");

    // A loaded machine's pty hands the bytes over in pieces, the second one
    // after the line took the first at the new rate: it is still heard.
    line.set_rate(9600);
    send(host, "\x03");
    ASSERT_EQ(write_line_settings(host, 4800), 0);
    EXPECT_EQ(line.read_byte(1000), 0x03);
    send(host, "host 4800\n");  // stands for the piece that came late
    got.clear();
    for (int byte; (byte = line.read_byte(50)) >= 0;) got += static_cast<char>(byte);
    EXPECT_EQ(got, "host 4800\n");

    // Once the end has been seen quiet after the change, what the host sends
    // is sent at its new rate.
    EXPECT_EQ(line.read_byte(sim::PtyLine::settle_ms + 100), sim::Line::timed_out);
    send(host, "x");
    EXPECT_EQ(device_hears(line), misheard_text("x", 4800, 9600));
    close(host);
}

TEST(SimLine, AdapterHoldsBytesForTheHostUntilItsTimerRunsOutOrItHoldsAPacket) {
    struct Case {
        int latency_ms;
        std::size_t written;
        std::size_t at_once;  // bytes the host has within a few milliseconds
    } cases[] = {{0, 100, 100}, {40, 1, 0}, {40, 100, 62}};
    for (const Case& c : cases) {
        sim::LineOptions options;
        options.latency_ms = c.latency_ms;
        sim::PtyLine line(options);
        ASSERT_TRUE(line.open(19200));
        int host = open_host(line, 19200);
        ASSERT_GE(host, 0);
        auto start = Clock::now();
        line.write(std::string(c.written, 'z'));
        auto host_has = [&](int wait_ms) {
            line.read_byte(wait_ms);
            int count = 0;
            ioctl(host, FIONREAD, &count);
            return static_cast<std::size_t>(count);
        };
        EXPECT_EQ(host_has(5), c.at_once) << c.latency_ms << " " << c.written;
        // The rest reaches the host when the timer runs out, not before.
        auto whole_at = Clock::time_point::max();
        while (Clock::now() - start < std::chrono::seconds(1)) {
            if (host_has(1) < c.written) continue;
            whole_at = Clock::now();
            break;
        }
        ASSERT_NE(whole_at, Clock::time_point::max()) << c.latency_ms << " " << c.written;
        EXPECT_GE(whole_at - start, std::chrono::milliseconds(c.latency_ms))
            << c.latency_ms << " " << c.written;
        close(host);
    }
}

TEST(SimLine, WhatTheDeviceWritesReachesTheHost) {
    sim::PtyLine line;
    ASSERT_TRUE(line.open(19200));
    int host = open_host(line, 19200);
    ASSERT_GE(host, 0);
    line.write("Vestro> ");
    char got[8];
    ASSERT_EQ(read(host, got, sizeof got), 8);
    EXPECT_EQ(std::string(got, 8), "Vestro> ");
    close(host);
}

TEST(SimLine, HostThatStaysAwayHangsUpTheLineAndAQuickReopenDoesNot) {
    sim::PtyLine line;
    ASSERT_TRUE(line.open(19200));
    int host = open_host(line, 19200);
    ASSERT_GE(host, 0);
    send(host, "r");
    close(host);
    // What the host sent before it closed still arrives.
    EXPECT_EQ(line.read_byte(1000), 'r');

    host = open_host(line, 19200);  // back within the grace time
    send(host, "s");
    EXPECT_EQ(line.read_byte(2000), 's');
    close(host);

    auto start = Clock::now();
    EXPECT_EQ(line.read_byte(5000), sim::Line::hung_up);
    auto waited = std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - start);
    EXPECT_GE(waited.count(), sim::PtyLine::hang_up_after_ms - 20);
    EXPECT_LT(waited.count(), 2000);

    // A host that sets its end to 0 baud hangs up as well: what the device
    // sends it is lost, and what it sends does not arrive.
    host = open_host(line, 19200);
    send(host, "t");
    EXPECT_EQ(line.read_byte(2000), 't');
    termios settings{};
    ASSERT_EQ(tcgetattr(host, &settings), 0);
    cfsetspeed(&settings, B0);
    ASSERT_EQ(tcsetattr(host, TCSANOW, &settings), 0);
    line.write("lost");
    send(host, "x");
    start = Clock::now();
    EXPECT_EQ(line.read_byte(5000), sim::Line::hung_up);
    waited = std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - start);
    EXPECT_GE(waited.count(), sim::PtyLine::hang_up_after_ms - 20);
    pollfd watch{host, POLLIN, 0};
    EXPECT_EQ(poll(&watch, 1, 100), 0) << "the host at 0 baud heard the device";
    close(host);
}

}  // namespace
