#pragma once

// The checksums R2004 and later releases keep on their file header and pages.

#include <cstddef>
#include <cstdint>

namespace dv::dwg {

// The Adler-like sum on system and data pages; chaining calls, each seeded
// with the last result, sums their bytes as one.
uint32_t pageChecksum(uint32_t seed, const uint8_t* data, size_t size);

// The usual CRC-32 (as zlib computes it), on the decrypted file header.
uint32_t crc32Of(const uint8_t* data, size_t size);

} // namespace dv::dwg
