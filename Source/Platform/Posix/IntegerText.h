// Reading a profile value as an integer.
#pragma once

#include <cstdint>

namespace skarvel {

// Reads `text` as the store reads an integer: leading blanks and control
// characters, an optional sign, then decimal digits, or hexadecimal after "0x",
// binary after "0b", octal after "0o" (lowercase prefixes only, as Windows reads
// them), up to the first other character.
// Text without digits reads as 0; overflow wraps modulo 2^32.
uint32_t ParseProfileInteger(const char* text);

}  // namespace skarvel
