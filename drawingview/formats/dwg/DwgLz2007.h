#pragma once

// The compression AutoCAD 2007 (AC1021) files use for their header, maps and
// pages: an LZ77 of its own whose literal runs are stored in a shuffled
// byte order.

#include <cstddef>
#include <cstdint>

namespace dv::dwg {

// Decompresses src into exactly dstSize bytes at dst. A stream that copies
// from before the start of its output, would write past dstSize, ends inside
// an instruction or stops short of dstSize throws FormatError.
void decompressLz2007(const uint8_t* src, size_t srcSize, uint8_t* dst, size_t dstSize);

// Writes n literal bytes from src to dst in the order the stream keeps them
// shuffled in; exposed so that tests can build streams.
void unshuffleLiterals(const uint8_t* src, size_t n, uint8_t* dst);

} // namespace dv::dwg
