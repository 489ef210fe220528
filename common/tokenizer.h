#pragma once

// Cuts the next token out of `text` in place.
//
// Leading delimiters are skipped. The token runs up to the next character of
// `delims` or the end of the text. A delimiter found there is overwritten with
// NUL and *rest points just after it; otherwise *rest points at the end of the
// text. *cut receives the delimiter that ended the token (NUL at the end).
// When `text` is null or holds nothing but delimiters, *rest becomes null, *cut
// NUL, and the result is null. Keeps no state between calls.
//
// Every parser of the program (console, Configuration file, Rules file, path
// edits) cuts its lines with this one function and its own delimiter set.
char* next_token(char* text, const char* delims, char** rest, char* cut = nullptr);

// Where next_token would begin its token: `text` past its leading delimiters
// (at its end when it holds nothing else).
char* skip_delimiters(char* text, const char* delims);
