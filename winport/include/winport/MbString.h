// Byte-string copies of the C runtime's multibyte family. Text is single-byte (Windows-1252),
// so a character is a byte.
#pragma once

#include <cstddef>

/// Copies at most count bytes of src to dest and fills the rest of the count with zeros, as
/// the runtime does; when src has count bytes or more, no terminator is written.
unsigned char* _mbsnbcpy(unsigned char* dest, const unsigned char* src, size_t count);
