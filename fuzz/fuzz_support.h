#pragma once

#include <cstddef>
#include <cstdint>

// What every fuzz target needs around the program: its standard output out of
// the way, the input as a file, and the program's state as at start-up.

// Sends the program's standard output to /dev/null (the fuzzer reports on
// standard error), unless FUZZ_SHOW_OUTPUT is set in the environment, as when
// a crashing input is looked at. Call once, from LLVMFuzzerInitialize.
void discard_program_output();

// The fuzzer's bytes as a file that the program can open by name: an
// in-memory file, rewritten for each input, named by its /proc path.
class InputFile {
  public:
    InputFile();
    // Replaces the contents with `data` and returns the file's name.
    const char* hold(const uint8_t* data, std::size_t size);

  private:
    int fd_;
    char path_[64];
};

// Puts back every piece of global state that a run of the program changes:
// configuration record and parse state, rule table, connection, console lines.
void reset_program_state();

// Ends the run as a finding when `condition` does not hold: the program
// reported something that contradicts what it did.
void expect(bool condition, const char* what);
