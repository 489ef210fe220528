#pragma once

// The keywords of a Configuration file line, each with the handler that reads
// its argument(s) from the rest of the line and stores them in conf_record.

// `rest` is the text after the delimiter that ended the keyword, inside
// conf_line_buf; handlers cut their arguments from it in place. 0, or a
// negative code after the line's message.
using conf_handler = int (*)(char* rest);

struct conf_keyword {
    const char* name;
    conf_handler handler;
};

extern const conf_keyword conf_keywords[30];
