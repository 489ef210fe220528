#include "sim/options.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <string>
#include <string_view>
#include <vector>

#include "sim/tty_settings.h"

namespace sim {

namespace {

// A whole argument as a number: decimal, or hexadecimal after 0x.
bool read_number(const char* text, int* value) {
    char* end;
    errno = 0;
    long number = std::strtol(text, &end, 0);
    if (end == text || *end != '\0' || errno != 0 || number != static_cast<int32_t>(number)) {
        return false;
    }
    *value = static_cast<int>(number);
    return true;
}

bool read_count(const char* text, int* value) {
    return read_number(text, value) && *value >= 0;
}

bool read_byte_value(const char* text, int* value) {
    return read_number(text, value) && *value >= 0 && *value <= 0xFF;
}

// "N:M" with two numbers, the second read by `second`.
bool read_pair(const char* text, int* first, int* value, bool (*second)(const char*, int*)) {
    const char* colon = std::strchr(text, ':');
    if (colon == nullptr) return false;
    std::string head(text, colon);
    return read_count(head.c_str(), first) && second(colon + 1, value);
}

// Backslash escapes of a banner given on the command line: \n \r \t \\ \xHH.
bool unescape(const char* text, std::string* out) {
    out->clear();
    for (const char* c = text; *c != '\0'; ++c) {
        if (*c != '\\') {
            *out += *c;
            continue;
        }
        ++c;
        switch (*c) {
            case 'n':
                *out += '\n';
                break;
            case 'r':
                *out += '\r';
                break;
            case 't':
                *out += '\t';
                break;
            case '\\':
                *out += '\\';
                break;
            case 'x': {
                char hex[3] = {c[1], c[1] != '\0' ? c[2] : '\0', '\0'};
                char* end;
                long value = std::strtol(hex, &end, 16);
                if (end != hex + 2) return false;
                *out += static_cast<char>(value);
                c += 2;
                break;
            }
            default:
                return false;
        }
    }
    return true;
}

// "REC:B1,B2,..." with bytes or "none" for silence.
bool read_loader_answers(const char* text, Options& options) {
    const char* colon = std::strchr(text, ':');
    if (colon == nullptr) return false;
    std::string record_text(text, colon);
    int record;
    if (!read_count(record_text.c_str(), &record) || record < 1) return false;
    std::vector<int> answers;
    std::string rest(colon + 1);
    std::size_t start = 0;
    for (;;) {
        std::size_t comma = rest.find(',', start);
        std::string item = rest.substr(start, comma - start);
        int answer;
        if (item == "none") {
            answer = -1;
        } else if (!read_byte_value(item.c_str(), &answer)) {
            return false;
        }
        answers.push_back(answer);
        if (comma == std::string::npos) break;
        start = comma + 1;
    }
    options.loader.record_answers.emplace_back(record, std::move(answers));
    return true;
}

// The "[:SEED]" that ends an option's value: nothing, or ':' and a number.
bool read_seed(const char* tail, uint64_t* seed) {
    if (*tail == '\0') return true;
    if (tail[0] != ':' || tail[1] < '0' || tail[1] > '9') return false;
    char* end;
    *seed = std::strtoull(tail + 1, &end, 0);
    return *end == '\0';
}

// "P[:SEED]": a probability from 0 to 1, and the seed of its faults.
bool read_fault_rate(const char* text, FaultRate* rate) {
    char* end;
    rate->probability = std::strtod(text, &end);
    if (end == text || !(rate->probability >= 0.0 && rate->probability <= 1.0)) return false;
    return read_seed(end, &rate->seed);
}

// "MS[:SEED]": the longest time a slow loader holds an answer back.
bool read_slow_loader(const char* text, LoaderOptions* loader) {
    std::string ms(text, std::strcspn(text, ":"));
    if (!read_count(ms.c_str(), &loader->slow_answer_ms) || loader->slow_answer_ms < 1 ||
        loader->slow_answer_ms > 10000) {
        return false;
    }
    return read_seed(text + ms.size(), &loader->slow_seed);
}

struct OptionRule {
    const char* name;
    const char* value_name;  // nullptr: a flag without value
    const char* help;
    bool (*apply)(Options&, const char* value);
};

const OptionRule option_rules[] = {
    {"--link", "PATH", "also make PATH a symlink to the pty slave",
     [](Options& o, const char* v) { return (o.link = v, !o.link.empty()); }},
    {"--version", "TEXT", "firmware version shown by \"version\" (default 2.83b)",
     [](Options& o, const char* v) { return (o.version = v, true); }},
    {"--banner", "TEXT",
     "whole answer to \"version\" instead of the banner (escapes \\n \\r \\t \\\\ \\xHH)",
     [](Options& o, const char* v) { return unescape(v, &o.banner); }},
    {"--baud", "N", "rate of the device's host port at start (default 19200)",
     [](Options& o, const char* v) {
         int rate;
         if (!read_number(v, &rate) || !device_rate(rate)) return false;
         return (o.baud = rate, true);
     }},
    {"--silent", nullptr, "never answer anything",
     [](Options& o, const char*) { return (o.silent = true); }},
    {"--no-baud-prompt", nullptr, "after \"host N\", leave the next line feed unanswered",
     [](Options& o, const char*) { return (o.no_baud_prompt = true); }},
    {"--ignore-command", "WORD", "leave the console command WORD unanswered",
     [](Options& o, const char* v) { return (o.ignored_command = v, !o.ignored_command.empty()); }},
    {"--echo-stop-after", "K", "loop test: echo K bytes, then no more",
     [](Options& o, const char* v) { return read_count(v, &o.echo_stop_after); }},
    {"--echo-corrupt", "K", "loop test: send the K-th echoed byte with bit 7 set",
     [](Options& o, const char* v) { return read_count(v, &o.echo_corrupt); }},
    {"--vanish-on-reset", nullptr, "\"reset\" removes the --link path, as an unplugged port",
     [](Options& o, const char*) { return (o.vanish_on_reset = true); }},
    {"--save-conf", "FILE", "download: write the received configuration record to FILE",
     [](Options& o, const char* v) { return (o.download.save_conf = v, true); }},
    {"--save-rules", "FILE", "download: write the received rule records to FILE",
     [](Options& o, const char* v) { return (o.download.save_rules = v, true); }},
    {"--summary", nullptr, "download: print the received configuration and rules when done",
     [](Options& o, const char*) { return (o.download.summary = true); }},
    {"--nak", "N:K", "download: answer packet N with NAK K times, then accept it",
     [](Options& o, const char* v) {
         return read_pair(v, &o.download.nak_packet, &o.download.nak_times, read_count);
     }},
    {"--silent-packet", "N", "download: never answer packet N",
     [](Options& o, const char* v) { return read_count(v, &o.download.silent_packet); }},
    {"--wrong-answer", "N:BYTE", "download: answer packet N with BYTE",
     [](Options& o, const char* v) {
         return read_pair(v, &o.download.wrong_packet, &o.download.wrong_byte, read_byte_value);
     }},
    {"--hang-up-at-packet", "N", "download: cut the line when packet N arrives",
     [](Options& o, const char* v) { return read_count(v, &o.download.hang_up_packet); }},
    {"--save-firmware", "FILE", "firmware: write every accepted record line to FILE",
     [](Options& o, const char* v) { return (o.loader.save_records = v, true); }},
    {"--no-loader-prompt", nullptr, "firmware: never send the loader prompt 0x05",
     [](Options& o, const char*) { return (o.loader.no_prompt = true); }},
    {"--no-sync-ack", nullptr, "firmware: answer the sync character with noise only",
     [](Options& o, const char*) { return (o.loader.no_sync_ack = true); }},
    {"--no-ident-ack", nullptr, "firmware: never acknowledge the identifier",
     [](Options& o, const char*) { return (o.loader.no_ident_ack = true); }},
    {"--hang-up-at-record", "N", "firmware: cut the line when record N (from 1) arrives",
     [](Options& o, const char* v) { return read_count(v, &o.loader.hang_up_record); }},
    {"--loader-answers", "REC:B1,B2,...",
     "firmware: first answers to record REC (from 1): bytes as 0x12 or 18, \"none\" for "
     "silence; may repeat",
     [](Options& o, const char* v) { return read_loader_answers(v, o); }},
    {"--slow-loader", "MS[:SEED]",
     "firmware: hold each record's answer back by a random time of up to MS ms",
     [](Options& o, const char* v) { return read_slow_loader(v, &o.loader); }},
    {"--pace", nullptr, "bytes take their time on the line, at the rate each end has set",
     [](Options& o, const char*) { return (o.line.pace = true); }},
    {"--latency", "MS",
     "bytes to the host wait in a USB adapter for its latency timer of MS ms, or until it "
     "holds 62",
     [](Options& o, const char* v) {
         return read_count(v, &o.line.latency_ms) && o.line.latency_ms <= 255;
     }},
    {"--ignore-host-rate", nullptr,
     "the host's end shows no rate (an emulated UART that keeps it), not even 0 baud: hear "
     "every byte as sent",
     [](Options& o, const char*) { return (o.line.ignore_host_rate = true); }},
    {"--noise", "P[:SEED]", "flip one bit of a byte with probability P, in both directions",
     [](Options& o, const char* v) { return read_fault_rate(v, &o.line.noise); }},
    {"--drop", "P[:SEED]", "lose a byte with probability P, in both directions",
     [](Options& o, const char* v) { return read_fault_rate(v, &o.line.drop); }},
    {"--record-from-host", "FILE", "write every byte the host sent, as it came, to FILE",
     [](Options& o, const char* v) {
         return (o.record_from_host = v, !o.record_from_host.empty());
     }},
    {"--record-to-host", "FILE",
     "write every byte handed to the host, after the line's faults, to FILE",
     [](Options& o, const char* v) { return (o.record_to_host = v, !o.record_to_host.empty()); }},
    {"--strict", nullptr, "at the end, list the host's protocol violations; exit 3 if any",
     [](Options& o, const char*) { return (o.strict = true); }},
    {"--verbose", nullptr, "log what the device does on standard error",
     [](Options& o, const char*) { return (o.verbose = true); }},
};

const OptionRule* find_rule(std::string_view name) {
    for (const OptionRule& rule : option_rules) {
        if (name == rule.name) return &rule;
    }
    return nullptr;
}

}  // namespace

ParseResult parse_options(int argc, char** argv, Options& options) {
    for (int i = 1; i < argc; ++i) {
        std::string_view argument = argv[i];
        if (argument == "--help" || argument == "-h") return ParseResult::help;
        std::size_t equals = argument.find('=');
        const OptionRule* rule = find_rule(argument.substr(0, equals));
        if (rule == nullptr) {
            std::fprintf(stderr, "vestrimond-sim: unknown option %s (try --help)\n", argv[i]);
            return ParseResult::error;
        }
        const char* value = "";
        if (rule->value_name != nullptr) {
            if (equals != std::string_view::npos) {
                value = argv[i] + equals + 1;
            } else if (i + 1 < argc) {
                value = argv[++i];
            } else {
                std::fprintf(stderr, "vestrimond-sim: %s needs %s\n", rule->name, rule->value_name);
                return ParseResult::error;
            }
        } else if (equals != std::string_view::npos) {
            std::fprintf(stderr, "vestrimond-sim: %s takes no value\n", rule->name);
            return ParseResult::error;
        }
        if (!rule->apply(options, value)) {
            std::fprintf(stderr, "vestrimond-sim: bad value for %s: %s\n", rule->name, value);
            return ParseResult::error;
        }
    }
    if (options.vanish_on_reset && options.link.empty()) {
        std::fprintf(stderr, "vestrimond-sim: --vanish-on-reset needs --link\n");
        return ParseResult::error;
    }
    return ParseResult::run;
}

void print_help(std::FILE* stream) {
    std::fprintf(stream,
                 "Usage: vestrimond-sim [options]\n"
                 "Plays a Vestrimond on a pty. Prints the pty's path as its first line, then\n"
                 "runs until SIGTERM or SIGINT; the host opens that path as its serial port.\n"
                 "\nOptions:\n");
    for (const OptionRule& rule : option_rules) {
        char left[48];
        std::snprintf(left, sizeof left, "%s%s%s", rule.name, rule.value_name ? " " : "",
                      rule.value_name ? rule.value_name : "");
        std::fprintf(stream, "  %-31s %s\n", left, rule.help);
    }
    std::fprintf(stream, "  %-31s %s\n", "--help", "show this text");
}

}  // namespace sim
