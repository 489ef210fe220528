#include "serial/nul_bytes.h"

#include <gtest/gtest.h>

#include <string>

namespace {

TEST(NulBytes, ReceivedNulBytesAreDroppedAndTheRestCloseUp) {
    struct Case {
        std::string received;
        std::string kept;
    } cases[] = {
        {"", ""},
        {std::string("\0", 1), ""},
        {std::string("a\0b", 3), "ab"},
        {std::string("\0\0V\0e\0", 6), "Ve"},
        {"\x06\x15\xff", "\x06\x15\xff"},
    };
    for (const Case& c : cases) {
        std::string bytes = c.received;
        int kept = drop_nul_bytes(reinterpret_cast<unsigned char*>(bytes.data()),
                                  static_cast<int>(bytes.size()));
        EXPECT_EQ(bytes.substr(0, static_cast<size_t>(kept)), c.kept);
    }
}

}  // namespace
