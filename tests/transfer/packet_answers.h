#pragma once

#include <cstdint>
#include <map>
#include <string>
#include <vector>

#include "tests/support/port_script.h"

// A scripted download receiver: resets the port double and answers the n-th
// write (counted from 0) with the bytes given for n, every other write with
// ACK. An empty answer is silence.
inline void answer_packets(std::map<int, std::string> answers) {
    port_script::reset();
    port_script::state.on_write = [answers = std::move(answers)](const std::string&) {
        int index = static_cast<int>(port_script::state.writes.size()) - 1;
        auto found = answers.find(index);
        port_script::feed(found != answers.end() ? found->second : std::string("\x06"));
    };
}

inline std::vector<uint8_t> bytes_of(const std::string& text) {
    return std::vector<uint8_t>(text.begin(), text.end());
}

inline std::vector<size_t> write_sizes() {
    std::vector<size_t> sizes;
    for (const std::string& w : port_script::state.writes) sizes.push_back(w.size());
    return sizes;
}
