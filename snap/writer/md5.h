// MD5 of a byte range, from the system's implementation: libmd natively,
// BCrypt on Windows. Safe to call from several threads at once.
#pragma once

#include <cstddef>
#include <cstdint>

enum { MD5_BYTES = 16, MD5_TEXT_SIZE = 2 * MD5_BYTES + 1 };

// The digest of `size` bytes at `bytes`. Nonzero on success (BCrypt can
// refuse, libmd cannot).
int md5Bytes(const uint8_t* bytes, size_t size, uint8_t digest[MD5_BYTES]);

// The digest in lower-case hexadecimal, NUL-terminated.
void md5Text(const uint8_t digest[MD5_BYTES], char text[MD5_TEXT_SIZE]);
