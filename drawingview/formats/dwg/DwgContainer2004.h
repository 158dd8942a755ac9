#pragma once

// Pieces of the R2004 container that tests and the other containers use.

#include <cstddef>
#include <cstdint>

namespace dv::dwg {

// The file header at 0x80 is XORed with a fixed pseudo-random byte sequence;
// applying the mask a second time restores the bytes.
void applyHeaderMask(uint8_t* bytes, size_t size);

// A data page's 32-byte header is XORed word by word with a value that
// depends on the page's file address.
void applyPageHeaderMask(uint8_t* header, uint64_t address);

} // namespace dv::dwg
