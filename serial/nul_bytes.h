#pragma once

// Removes the NUL bytes from the first `count` bytes of `bytes`, closing the
// gaps, and returns how many bytes are left. The line discards received NULs
// like a driver set to do so: they never reach a caller and never count.
int drop_nul_bytes(unsigned char* bytes, int count);
