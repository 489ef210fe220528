// The soak run (make soak SOAK_TIME=S): the console program against the
// device simulator on a paced line with noise and lost bytes, session after
// session for S seconds: downloads at every host rate, firmware updates of a
// 64 KiB image in 16-byte records, and of a 1 KiB image to a slow loader that
// holds its answers back for up to a second. On every session it checks that
//   - a reported success left the device with exactly what the program meant
//     to send (the record and rules it parsed, the firmware file's image);
//   - the session ended within what the protocol's own time-outs allow;
//   - the program ended by its exit command, not by a crash;
//   - the program kept to the wire grammar: the strict simulator saw no
//     departure that a fault it injected itself does not explain.
// Prints one line per session and the figures at the end; the exit status is
// 1 when an invariant failed.

#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <map>
#include <random>
#include <string>
#include <vector>

#include "config/conf_parser.h"
#include "config/conf_record.h"
#include "rules/rule_parser.h"
#include "rules/rule_record.h"
#include "tests/support/sim_process.h"
#include "tests/support/transcript.h"

namespace {

using soak_clock = std::chrono::steady_clock;

constexpr int32_t rates[] = {4800, 9600, 19200, 38400, 57600};
constexpr int32_t loader_rate = 19200;

// Per byte and direction; every noise fault flips a single bit.
struct Level {
    double noise;
    double drop;
};
constexpr Level levels[] = {{0, 0}, {2e-5, 2e-6}, {2e-4, 2e-5}, {2e-3, 2e-4}};

constexpr int firmware_bytes = 64 * 1024;
constexpr int slow_firmware_bytes = 1024;
constexpr int slow_loader_ms = 1000;
constexpr int record_data = 16;
constexpr int record_line = 1 + 2 * (4 + record_data + 1);  // ":" count address type data sum

std::string read_file(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

// The longest a read of the port may wait: time-out, margin and the time of
// 10 bits per byte asked for, as the port layer computes it (milliseconds).
double read_limit(int timeout_ms, int size, int32_t rate) {
    return timeout_ms + 10 + size * (10000 / rate);
}

double wire_ms(int bytes, int32_t rate) {
    return bytes * 10000.0 / rate;
}

// The whole session's limit from the protocol's time-outs: every exchange
// taken as often as the protocol lets the host repeat it, each waiting for
// its whole time-out; plus the port's drains and a few seconds for starting
// the two programs.
double download_limit_ms(int32_t rate, int image_bytes) {
    double limit = 5000 + 1000 + read_limit(2000, 200, loader_rate);  // start, drain, identify
    if (rate != loader_rate) limit += read_limit(2000, 1024, rate);    // baud change
    limit += read_limit(10, 64, rate);                                 // download's discard
    int packets = 3 + (904 + 59) / 60 + (image_bytes - 904 + 59) / 60;
    return limit + packets * 5 * (wire_ms(64 + 1, rate) + read_limit(5000, 1, rate));
}

double firmware_limit_ms(int records, int slow_ms) {
    double limit = 5000 + 2000 + read_limit(50, 32, loader_rate);  // start, drains, reset
    limit += read_limit(20000, 1, loader_rate) + read_limit(100, 19, loader_rate);
    limit += read_limit(20000, 1, loader_rate) + read_limit(30, 19, loader_rate);
    limit += read_limit(5000, 1, loader_rate) + read_limit(200, 19, loader_rate);
    // Every error may cost the wait for a late answer and then a read until
    // the line is quiet: a late byte, then a read that finds nothing.
    limit += 10 * (read_limit(1200, 1, loader_rate) + 2 * read_limit(100, 1, loader_rate));
    return limit + (records + 10) * (wire_ms(record_line + 2, loader_rate) + slow_ms +
                                     read_limit(100, 1, loader_rate));
}

// The firmware: random bytes, in records of 16 from address 0, and the end.
struct Firmware {
    int bytes;
    std::string image;
    std::string hex;
    int records = 0;
};

Firmware make_firmware(unsigned seed, int bytes) {
    Firmware firmware{bytes, {}, {}};
    std::mt19937 random(seed);
    for (int i = 0; i < bytes; ++i) firmware.image += static_cast<char>(random() & 0xFF);
    for (int address = 0; address < bytes; address += record_data) {
        char line[record_line + 2];
        unsigned sum = record_data + (address >> 8) + (address & 0xFF);
        int at = std::snprintf(line, sizeof line, ":%02X%04X00", record_data, address);
        for (int i = 0; i < record_data; ++i) {
            unsigned byte = static_cast<unsigned char>(firmware.image[size_t(address + i)]);
            sum += byte;
            at += std::snprintf(line + at, sizeof line - size_t(at), "%02X", byte);
        }
        std::snprintf(line + at, sizeof line - size_t(at), "%02X\n", (0x100 - (sum & 0xFF)) & 0xFF);
        firmware.hex += line;
        ++firmware.records;
    }
    firmware.hex += ":00000001FF\n";
    ++firmware.records;
    return firmware;
}

// The device's memory after the record lines it saved; false when a line is
// not a data or end record, or bytes are missing.
bool image_of_records(const std::string& lines, int bytes, std::string* image) {
    image->assign(size_t(bytes), '\0');
    std::vector<bool> written(size_t(bytes), false);
    size_t at = 0;
    while (at < lines.size()) {
        size_t end = lines.find('\n', at);
        std::string line = lines.substr(at, end - at);
        at = end == std::string::npos ? lines.size() : end + 1;
        unsigned count, address, type;
        if (line.size() < 11 || std::sscanf(line.c_str(), ":%2x%4x%2x", &count, &address, &type) != 3 ||
            line.size() != 11 + 2 * count) {
            return false;
        }
        if (type == 1) continue;
        if (type != 0 || address + count > unsigned(bytes)) return false;
        for (unsigned i = 0; i < count; ++i) {
            unsigned byte;
            if (std::sscanf(line.c_str() + 9 + 2 * i, "%2x", &byte) != 1) return false;
            (*image)[address + i] = static_cast<char>(byte);
            written[address + i] = true;
        }
    }
    for (bool done : written) {
        if (!done) return false;
    }
    return true;
}

// The failure a session ended with, from the program's own messages: the
// abort of a firmware update, the code of a download, a lost connection.
std::string failure_of(const std::string& out) {
    struct Known {
        const char* message;
        const char* failure;
    };
    static const Known known[] = {
        {"maximum Firmware updating errors", "firmware -12 (ten errors)"},
        {"Firmware updating error: fatal", "firmware -13 (fatal answer)"},
        {"Firmware updating error: buffer full", "firmware -14 (buffer full)"},
        {"did not receive the Vestrimond Firmware prompt", "firmware -6 (no loader prompt)"},
        {"did not synchronize", "firmware -8 (no sync answer)"},
        {"identifier acknowledgement", "firmware -10 (no identifier answer)"},
        {"prompt!\nExpected: Vestrimond", "connect 3 (no device answer)"},
        {"Vestrimond version", "connect 4 (no version)"},
        {"did not receive the Vestrimond prompt!\n", "baud 8 (no prompt after the change)"},
    };
    size_t download = out.find("Download failed: ");
    if (download != std::string::npos) {
        const char* packet = out.find("reading ack or nak: got") != std::string::npos ? "wrong answer"
                             : out.find("reading ack or nak: 0") != std::string::npos
                                 ? "no answer"
                                 : "five NAKs";
        return "download " + std::to_string(std::atoi(out.c_str() + download + 17)) + " (" +
               packet + ")";
    }
    for (const Known& k : known) {
        if (out.find(k.message) != std::string::npos) return k.failure;
    }
    size_t error = out.find("Error: ");
    return "other: " + out.substr(error == std::string::npos ? 0 : error, 60);
}

struct Figures {
    int sessions = 0;
    int successes = 0;
    int silent_corruptions = 0;
    int overruns = 0;
    int crashes = 0;
    int violations = 0;
    int line_departures = 0;  // departures the line's own faults explain
    unsigned long long bytes = 0;
    unsigned long long faults = 0;
    std::map<std::string, int> failures;
    double longest_s = 0;
    std::string longest;
};

struct Session {
    std::string name;
    std::vector<std::string> sim_options;
    std::string script;
    double limit_ms;
    // Whether the device, saving into `directory`, holds what the program
    // meant to send.
    bool (*device_holds)(const std::string& directory, const void* expected);
    std::string directory;
    const void* expected;
    bool firmware;
};

void run(const Session& session, Figures& figures) {
    SimProcess sim(session.sim_options);
    sim.expect_violations();  // counted here, as a failed invariant
    if (sim.path().empty()) {
        std::printf("%s: the simulator did not start: %s\n", session.name.c_str(), sim.log().c_str());
        std::exit(2);
    }
    RunOptions options;
    options.env = {{"VESTRIMOND_COM1", sim.path()}};
    options.timeout_seconds = static_cast<int>(std::ceil(session.limit_ms / 1000)) + 30;
    auto start = soak_clock::now();
    RunResult result = run_console(session.script, options);
    double seconds = std::chrono::duration<double>(soak_clock::now() - start).count();
    const bool violated = sim.stop() == 3;

    unsigned long long from_host = 0, to_host = 0, flipped = 0, lost = 0;
    std::string log = sim.log();
    int line_departures = 0;
    size_t departures = log.rfind(" departures from the wire grammar");
    if (departures != std::string::npos) {
        std::sscanf(log.c_str() + log.rfind("vestrimond-sim: ", departures), "vestrimond-sim: %d",
                    &line_departures);
        figures.line_departures += line_departures;
    }
    size_t counts = log.rfind("line: ");
    if (counts != std::string::npos) {
        std::sscanf(log.c_str() + counts,
                    "line: %llu bytes from the host, %llu to the host; %llu with a bit flipped, %llu",
                    &from_host, &to_host, &flipped, &lost);
    }
    ++figures.sessions;
    figures.bytes += from_host + to_host;
    figures.faults += flipped + lost;
    if (seconds > figures.longest_s) {
        figures.longest_s = seconds;
        char text[160];
        std::snprintf(text, sizeof text, "%s (limit %.0f s)", session.name.c_str(),
                      session.limit_ms / 1000);
        figures.longest = text;
    }

    std::string outcome;
    const std::string& out = result.out;
    bool succeeded = session.firmware ? out.find("Firmware update succeeded!") != std::string::npos
                                      : out.find("Downloading Rules succeeded\nDisconnected\n") !=
                                                std::string::npos &&
                                            out.find("Download failed") == std::string::npos;
    if (result.signal != 0 || result.status != 0) {
        if (seconds * 1000 > session.limit_ms) {
            ++figures.overruns;
            outcome = "OVERRAN its time-outs and was stopped";
        } else {
            ++figures.crashes;
            outcome = "CRASHED (status " + std::to_string(result.status) + ", signal " +
                      std::to_string(result.signal) + ")";
        }
    } else if (seconds * 1000 > session.limit_ms) {
        ++figures.overruns;
        outcome = "OVERRAN its time-outs";
    } else if (violated) {
        ++figures.violations;
        outcome = "BROKE THE WIRE GRAMMAR";
    } else if (succeeded) {
        if (session.device_holds(session.directory, session.expected)) {
            ++figures.successes;
            outcome = "success";
        } else {
            ++figures.silent_corruptions;
            outcome = "SILENT CORRUPTION: reported success, the device holds something else";
        }
    } else {
        outcome = failure_of(out);
        ++figures.failures[outcome];
    }
    // What no fault explains is kept for a look: the program's output and
    // the device's log.
    std::string kept;
    const bool clean_failure = figures.failures.count(outcome) != 0;
    if (outcome != "success" && (flipped + lost == 0 || !clean_failure)) {
        kept = session.directory + "/session-" + std::to_string(figures.sessions) + ".txt";
        std::ofstream(kept) << session.name << "\n\n" << out << "\n\n" << log;
        kept = " (kept in " + kept + ")";
    }
    std::string excused;
    if (line_departures > 0) excused = " (" + std::to_string(line_departures) + " after faults)";
    std::printf("%4d %-52s %6.1f s  %7llu bytes %3llu faults  %s%s%s\n", figures.sessions,
                session.name.c_str(), seconds, from_host + to_host, flipped + lost,
                outcome.c_str(), excused.c_str(), kept.c_str());
    std::fflush(stdout);
}

struct DownloadImages {
    std::string conf;
    std::string rules;
};

bool device_holds_download(const std::string& directory, const void* expected) {
    const auto* images = static_cast<const DownloadImages*>(expected);
    return read_file(directory + "/conf.bin") == images->conf &&
           read_file(directory + "/rules.bin") == images->rules;
}

bool device_holds_firmware(const std::string& directory, const void* expected) {
    const auto* firmware = static_cast<const Firmware*>(expected);
    std::string image;
    return image_of_records(read_file(directory + "/firmware.txt"), firmware->bytes, &image) &&
           image == firmware->image;
}

std::vector<std::string> line_options(const Level& level, unsigned seed) {
    char noise[48], drop[48];
    std::snprintf(noise, sizeof noise, "%g:%u", level.noise, seed);
    std::snprintf(drop, sizeof drop, "%g:%u", level.drop, seed + 1);
    return {"--pace", "--verbose", "--noise", noise, "--drop", drop};
}

std::string level_name(const Level& level) {
    char text[48];
    std::snprintf(text, sizeof text, "noise %g drop %g", level.noise, level.drop);
    return text;
}

}  // namespace

int main(int argc, char** argv) {
    const double budget_s = argc > 1 ? std::atof(argv[1]) : 60;
    char directory_template[] = "/tmp/vestrimond-soak-XXXXXX";
    const std::string directory = mkdtemp(directory_template);

    // What the program means to send: the same parse in this process.
    std::fflush(stdout);
    conf_reset();
    const std::string cfg = std::string(TEST_SOURCE_DIR) + "/examples/site.cfg";
    const std::string rul = std::string(TEST_SOURCE_DIR) + "/examples/site.rul";
    if (conf_process(cfg.c_str()) != 0 || rules_process(rul.c_str()) != 0) return 2;
    DownloadImages download;
    download.conf.assign(reinterpret_cast<const char*>(&conf_record), sizeof conf_record);
    download.rules.assign(reinterpret_cast<const char*>(rule_table.data()),
                          conf_record.rule_count * sizeof(rule_record));
    const std::string download_script = "configure " + cfg + "\nrules " + rul + "\nconnect 1\n";

    unsigned seed = 1;  // of each session's line faults
    const Firmware firmware = make_firmware(1, firmware_bytes);
    const std::string hex_path = directory + "/firmware.hex";
    std::ofstream(hex_path) << firmware.hex;
    const Firmware slow_firmware = make_firmware(2, slow_firmware_bytes);
    const std::string slow_hex_path = directory + "/slow-firmware.hex";
    std::ofstream(slow_hex_path) << slow_firmware.hex;
    // One firmware update: the session's name, the image, its file, and the
    // longest time the loader holds an answer back (0: it answers at once).
    auto firmware_session = [&](const std::string& name, const Firmware& image,
                                const std::string& path, int slow_ms, const Level& level) {
        Session session;
        session.name = name + ", " + level_name(level);
        session.sim_options = line_options(level, seed++);
        session.sim_options.insert(session.sim_options.end(),
                                   {"--save-firmware", directory + "/firmware.txt"});
        if (slow_ms > 0) {
            session.sim_options.insert(session.sim_options.end(),
                                       {"--slow-loader", std::to_string(slow_ms) + ":" +
                                                             std::to_string(seed)});
        }
        session.script = "firmware 1 " + path + "\ny\n\nx\n";
        session.limit_ms = firmware_limit_ms(image.records, slow_ms);
        session.device_holds = device_holds_firmware;
        session.directory = directory;
        session.expected = &image;
        session.firmware = true;
        return session;
    };

    std::printf("\nSoak: %.0f s, paced line, noise and loss per byte in each direction\n\n",
                budget_s);
    Figures figures;
    const auto start = soak_clock::now();
    auto time_left = [&] {
        return std::chrono::duration<double>(soak_clock::now() - start).count() < budget_s;
    };
    for (int round = 0; time_left(); ++round) {
        for (size_t l = 0; l < std::size(levels) && time_left(); ++l) {
            const Level& level = levels[(size_t(round) + l) % std::size(levels)];
            for (int32_t rate : rates) {
                if (!time_left()) break;
                Session session;
                session.name = "download at " + std::to_string(rate) + ", " + level_name(level);
                session.sim_options = line_options(level, seed++);
                session.sim_options.insert(session.sim_options.end(),
                                           {"--save-conf", directory + "/conf.bin", "--save-rules",
                                            directory + "/rules.bin"});
                session.script = download_script +
                                 (rate == loader_rate ? "" : "baud " + std::to_string(rate) + "\n") +
                                 "download\nx\n";
                session.limit_ms = download_limit_ms(rate, int(download.conf.size() + download.rules.size()));
                session.device_holds = device_holds_download;
                session.directory = directory;
                session.expected = &download;
                session.firmware = false;
                std::remove((directory + "/conf.bin").c_str());
                std::remove((directory + "/rules.bin").c_str());
                run(session, figures);
            }
            if (l != 0 || !time_left()) continue;
            // Two firmware updates a round, at the next noise level each time:
            // the small image to a slow loader, and the large one.
            const Level& fw_level = levels[size_t(round + 1) % std::size(levels)];
            std::remove((directory + "/firmware.txt").c_str());
            run(firmware_session("firmware 1 KiB, slow loader", slow_firmware, slow_hex_path,
                                 slow_loader_ms, fw_level),
                figures);
            if (!time_left()) break;
            std::remove((directory + "/firmware.txt").c_str());
            run(firmware_session("firmware 64 KiB at 19200", firmware, hex_path, 0, fw_level),
                figures);
        }
    }
    std::printf("\nSessions              %d in %.0f s\n", figures.sessions,
                std::chrono::duration<double>(soak_clock::now() - start).count());
    std::printf("Bytes on the line     %llu\n", figures.bytes);
    std::printf("Faults injected       %llu (bytes with a bit flipped or lost)\n", figures.faults);
    std::printf("Successes             %d\n", figures.successes);
    std::printf("Clean failures        %d\n", figures.sessions - figures.successes -
                                                   figures.silent_corruptions - figures.overruns -
                                                   figures.crashes - figures.violations);
    for (const auto& [failure, count] : figures.failures) {
        std::printf("    %-40s %d\n", failure.c_str(), count);
    }
    std::printf("Silent corruptions    %d\n", figures.silent_corruptions);
    std::printf("Overran the time-outs %d\n", figures.overruns);
    std::printf("Crashes               %d\n", figures.crashes);
    std::printf("Grammar violations    %d sessions (%d departures explained by injected faults)\n",
                figures.violations, figures.line_departures);
    std::printf("Longest session       %.1f s: %s\n", figures.longest_s, figures.longest.c_str());
    std::remove(hex_path.c_str());
    std::remove(slow_hex_path.c_str());
    std::remove((directory + "/conf.bin").c_str());
    std::remove((directory + "/rules.bin").c_str());
    std::remove((directory + "/firmware.txt").c_str());
    if (std::remove(directory.c_str()) != 0) std::printf("Sessions kept in %s\n", directory.c_str());
    return figures.silent_corruptions + figures.overruns + figures.crashes + figures.violations == 0
               ? 0
               : 1;
}
