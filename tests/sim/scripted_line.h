#pragma once

#include <deque>
#include <string>

#include "sim/line.h"
#include "sim/log.h"

// The host's end of the line as a script: bytes to hand out, with pauses
// (timed_out) where the host keeps quiet, and faults of the line reported
// where they strike; after the script the host hangs up. Everything the
// device writes is recorded. No time passes.
class ScriptedLine : public sim::Line {
  public:
    void send(const std::string& bytes) {
        for (unsigned char c : bytes) input_.push_back(c);
    }
    void pause() { input_.push_back(timed_out); }
    void fault() { input_.push_back(line_fault); }

    int read_byte(int) override {
        for (; !input_.empty() && input_.front() == line_fault; input_.pop_front()) {
            sim::line_fault();
        }
        if (input_.empty()) return hung_up;
        int next = input_.front();
        input_.pop_front();
        return next;
    }
    void write(const void* bytes, std::size_t count) override {
        if (!cut_) written_.append(static_cast<const char*>(bytes), count);
    }
    using Line::write;
    void cut_line() override {
        cut_ = true;
        input_.clear();
    }

    const std::string& written() const { return written_; }
    bool finished() const { return input_.empty(); }
    bool cut() const { return cut_; }

  private:
    static constexpr int line_fault = -3;
    std::deque<int> input_;
    std::string written_;
    bool cut_ = false;
};
