#include "sim/pty_line.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <chrono>
#include <string>

#include "serial/line_settings.h"

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

TEST(SimLine, BytesSentAtTheDeviceRateArriveAndOthersAreLost) {
    sim::PtyLine line;
    ASSERT_TRUE(line.open(19200));
    int host = open_host(line, 19200);
    ASSERT_GE(host, 0);
    send(host, "ok");
    EXPECT_EQ(line.read_byte(1000), 'o');
    EXPECT_EQ(line.read_byte(1000), 'k');

    line.set_rate(9600);
    send(host, "lost");
    EXPECT_EQ(line.read_byte(200), sim::Line::timed_out);

    // The host follows: the device hears it again.
    ASSERT_EQ(write_line_settings(host, 9600), 0);
    send(host, "x");
    EXPECT_EQ(line.read_byte(1000), 'x');
    close(host);
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
}

}  // namespace
