#pragma once

#include <bit>
#include <cstddef>
#include <cstdint>

// The configuration record: every operating parameter of the digipeater as
// the one 904-byte little-endian image that the download sends to the device
// byte for byte. The layout is shared with the device firmware: every offset
// and width below is fixed.

static_assert(std::endian::native == std::endian::little,
              "the record images are little-endian and are sent as they lie in memory");

#pragma pack(push, 1)

// One "deletepath" or "substitutepath" line.
struct path_edit_entry {
    char call[7];          // match call, upper case, NUL-terminated; zero for the bare '*'
    uint8_t ssid;          // match SSID shifted left by one; 0 when none was named
    uint8_t match_index;   // 0..8, 0 stands for '*'
    uint8_t action_index;  // delete or substitution index 0..8, 0 stands for '*'
    uint8_t subst_index;   // index of this substitution's subst_path; 0 for a delete
    uint8_t flags;         // path_edit_flag bits
};

enum path_edit_flag : uint8_t {
    pe_substitute = 0x01,
    pe_delete = 0x02,
    pe_call_star = 0x10,   // call written with a trailing '*' (also the bare '*')
    pe_any_call = 0x20,    // the bare '*'
    pe_has_ssid = 0x40,
};

// One address of a substitution path, laid out like an AX.25 address.
struct subst_address {
    char call[7];  // upper case, NUL-terminated
    uint8_t ssid;  // bit 7 has-been-repeated, bits 6 and 5 set, bits 4..1 SSID
};

struct subst_path {
    subst_address address[8];
    uint8_t count;  // addresses in use, 0..8
};

struct conf_layout {
    uint32_t host_baud;
    uint32_t gps_baud;
    uint32_t tnc_baud;
    int32_t altitude;
    float base_lat;
    float base_lon;
    char call[8];
    uint16_t ssid;
    uint16_t widemax;
    uint16_t widetotal;
    uint16_t relaydrop;
    uint16_t uitrace;
    uint16_t nsr;
    uint16_t havegps;
    uint16_t dupewin;
    uint16_t beacon;
    uint16_t icon;  // low byte symbol code, high byte symbol table identifier
    uint16_t log;
    uint16_t haltonerr;
    uint16_t dropmangled;
    uint16_t fixvalid;
    uint16_t nonaprs;
    uint16_t ratelimcall;
    uint16_t run_mode;
    uint16_t implicit_action;  // 'p' pass, 'd' drop, 0 before any parse
    uint16_t rule_count;
    char digipath[8][8];  // an entry of exactly 8 characters has no terminator
    char bcomment[44];
    char controlcall[10];
    uint16_t subst_count;
    uint16_t delete_count;
    path_edit_entry path_edits[16];
    subst_path subst_paths[8];
};

#pragma pack(pop)

static_assert(sizeof(path_edit_entry) == 12);
static_assert(offsetof(path_edit_entry, ssid) == 7);
static_assert(offsetof(path_edit_entry, match_index) == 8);
static_assert(offsetof(path_edit_entry, action_index) == 9);
static_assert(offsetof(path_edit_entry, subst_index) == 10);
static_assert(offsetof(path_edit_entry, flags) == 11);
static_assert(sizeof(subst_address) == 8);
static_assert(sizeof(subst_path) == 65);
static_assert(offsetof(subst_path, count) == 64);

static_assert(sizeof(conf_layout) == 904);
static_assert(offsetof(conf_layout, host_baud) == 0);
static_assert(offsetof(conf_layout, gps_baud) == 4);
static_assert(offsetof(conf_layout, tnc_baud) == 8);
static_assert(offsetof(conf_layout, altitude) == 12);
static_assert(offsetof(conf_layout, base_lat) == 16);
static_assert(offsetof(conf_layout, base_lon) == 20);
static_assert(offsetof(conf_layout, call) == 24);
static_assert(offsetof(conf_layout, ssid) == 32);
static_assert(offsetof(conf_layout, widemax) == 34);
static_assert(offsetof(conf_layout, widetotal) == 36);
static_assert(offsetof(conf_layout, relaydrop) == 38);
static_assert(offsetof(conf_layout, uitrace) == 40);
static_assert(offsetof(conf_layout, nsr) == 42);
static_assert(offsetof(conf_layout, havegps) == 44);
static_assert(offsetof(conf_layout, dupewin) == 46);
static_assert(offsetof(conf_layout, beacon) == 48);
static_assert(offsetof(conf_layout, icon) == 50);
static_assert(offsetof(conf_layout, log) == 52);
static_assert(offsetof(conf_layout, haltonerr) == 54);
static_assert(offsetof(conf_layout, dropmangled) == 56);
static_assert(offsetof(conf_layout, fixvalid) == 58);
static_assert(offsetof(conf_layout, nonaprs) == 60);
static_assert(offsetof(conf_layout, ratelimcall) == 62);
static_assert(offsetof(conf_layout, run_mode) == 64);
static_assert(offsetof(conf_layout, implicit_action) == 66);
static_assert(offsetof(conf_layout, rule_count) == 68);
static_assert(offsetof(conf_layout, digipath) == 70);
static_assert(offsetof(conf_layout, bcomment) == 134);
static_assert(offsetof(conf_layout, controlcall) == 178);
static_assert(offsetof(conf_layout, subst_count) == 188);
static_assert(offsetof(conf_layout, delete_count) == 190);
static_assert(offsetof(conf_layout, path_edits) == 192);
static_assert(offsetof(conf_layout, subst_paths) == 384);

inline constexpr uint16_t implicit_pass = 0x70;  // 'p'
inline constexpr uint16_t implicit_drop = 0x64;  // 'd'

extern conf_layout conf_record;
extern const conf_layout conf_defaults;

// Copies the default image over conf_record.
void conf_reset();

// Parse state shared by the Configuration file parser, the path edits and the
// Rules file parser (only one parse runs at a time). Never sent.
extern const char* conf_file_name;  // the path given to the parse, for messages
extern int32_t conf_line_no;        // lines read, blank and comment ones too; stops at INT32_MAX
extern char conf_line_buf[256];     // the current line, cut into tokens in place
extern char conf_line_copy[256];    // the current line without its line feed, for messages
extern int comment_pos;             // index of the first '#', '/' or ';' in the line, or -1
extern int32_t digipath_count;      // digipath entries stored, 0..8
extern int32_t conf_processed;      // 1 once a Configuration file parsed completely

// Reports the fault of the line being parsed (conf_file_name, conf_line_no):
// `format` is the message after its "FILE[LINE]: " head.
[[gnu::format(printf, 1, 2)]] void conf_line_fault(const char* format, ...);
