// Linked into every program of the coverage build (scripts/coverage.sh): a
// process that ends through abort(), as fatal_exit ends the program, writes
// its coverage counts first. Otherwise gcov writes them only at a normal exit,
// and the lines that lead to an abnormal end would never count as run.

#include <csignal>

extern "C" void __gcov_dump();

namespace {

void dump_counts_and_abort(int) {
    __gcov_dump();
    std::signal(SIGABRT, SIG_DFL);
    std::raise(SIGABRT);
}

const bool installed = std::signal(SIGABRT, dump_counts_and_abort) != SIG_ERR;

}  // namespace
