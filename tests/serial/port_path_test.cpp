#include "serial/port_path.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <cstdlib>
#include <string>

namespace {

TEST(PortPath, ComNameOpensItsVariableOrTheMatchingTtyS) {
    struct Case {
        const char* name;
        const char* variable;  // value of VESTRIMOND_COM3, nullptr: unset
        const char* path;
    } cases[] = {
        {"COM3", "/tmp/vestrimond-com3", "/tmp/vestrimond-com3"},
        {"COM3", nullptr, "/dev/ttyS2"},
        {"COM3", "", "/dev/ttyS2"},
        {"COM1", "/tmp/vestrimond-com3", "/dev/ttyS0"},
        {"COM20", nullptr, "/dev/ttyS19"},
        {"COM21", nullptr, "COM21"},
        {"/dev/ttyUSB0", nullptr, "/dev/ttyUSB0"},
        {"COM0", nullptr, "COM0"},
        {"COM3x", nullptr, "COM3x"},
        {"COM03", nullptr, "COM03"},
        {"COM+3", nullptr, "COM+3"},
        {"COM 3", nullptr, "COM 3"},
    };
    for (const Case& c : cases) {
        if (c.variable != nullptr) {
            setenv("VESTRIMOND_COM3", c.variable, 1);
        } else {
            unsetenv("VESTRIMOND_COM3");
        }
        char path[64];
        ASSERT_TRUE(port_device_path(c.name, path, sizeof path)) << c.name;
        EXPECT_STREQ(path, c.path) << c.name;
    }
    unsetenv("VESTRIMOND_COM3");
}

TEST(PortPath, PathThatDoesNotFitIsRefused) {
    setenv("VESTRIMOND_COM3", std::string(300, 'x').c_str(), 1);
    char path[256];
    errno = 0;
    EXPECT_FALSE(port_device_path("COM3", path, sizeof path));
    EXPECT_EQ(errno, ENAMETOOLONG);
    unsetenv("VESTRIMOND_COM3");
}

}  // namespace
