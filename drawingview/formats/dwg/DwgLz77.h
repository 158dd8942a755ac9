#pragma once

// The LZ77 variant that R2004 and later releases compress their pages with.

#include <cstddef>
#include <cstdint>

namespace dv::dwg {

// Decompresses src into exactly dstSize bytes at dst. A stream that copies
// from before the start of its output, would write past dstSize, ends early
// or stops short of dstSize throws FormatError.
void decompressLz77(const uint8_t* src, size_t srcSize, uint8_t* dst, size_t dstSize);

} // namespace dv::dwg
