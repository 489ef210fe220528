#pragma once

#include <cstdio>

// Prints `length` bytes as lines of 16: offset, hexadecimal bytes and their
// printable characters, under a heading chosen by `flags` (bit 0: "title:
// length n (0xn):", bit 1: "length n (0xn):", 0: with the buffer address).
// The column header recurs every `header_every` lines (0: never).
void hexdump(std::FILE* stream, int flags, const char* title, const void* bytes, int length,
             int header_every);
