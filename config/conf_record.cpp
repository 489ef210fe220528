#include "config/conf_record.h"

#include <cstdarg>
#include <cstring>

#include "common/file_messages.h"

// The station position of the default image (a northern latitude, a western
// longitude) stands until a Configuration file names the real one.
const conf_layout conf_defaults = {
    .host_baud = 19200,
    .gps_baud = 9600,
    .tnc_baud = 19200,
    .altitude = 0,
    .base_lat = 44.4759f,
    .base_lon = -73.2121f,
    .call = {'N', 'O', 'T', 'S', 'E', 'T', '\0', '\0'},
    .ssid = 0,
    .widemax = 3,
    .widetotal = 6,
    .relaydrop = 0,
    .uitrace = 0,
    .nsr = 0,
    .havegps = 0,
    .dupewin = 28,
    .beacon = 600,
    .icon = ('/' << 8) | '#',
    .log = 1,
    .haltonerr = 0,
    .dropmangled = 1,
    .fixvalid = 1,
    .nonaprs = 0,
    .ratelimcall = 0,
    .run_mode = 0x0070,
    .implicit_action = 0,
    .rule_count = 0,
    .digipath = {},
    .bcomment = {},
    .controlcall = {},
    .subst_count = 0,
    .delete_count = 0,
    .path_edits = {},
    .subst_paths = {},
};

conf_layout conf_record = conf_defaults;

const char* conf_file_name = nullptr;
int32_t conf_line_no = 0;
char conf_line_buf[256];
char conf_line_copy[256];
int comment_pos = -1;
int32_t digipath_count = 0;
int32_t conf_processed = 0;

void conf_reset() { std::memcpy(&conf_record, &conf_defaults, sizeof conf_record); }

void conf_line_fault(const char* format, ...) {
    va_list values;
    va_start(values, format);
    report_file_message_v(FileMessage::line_fault, conf_file_name, conf_line_no, format, values);
    va_end(values);
}
