#include "formats/dwg/DwgChecksum.h"

#include <zlib.h>

#include <algorithm>

namespace dv::dwg {

// The sum is Adler-32's, seeded; zlib's own is unrolled.
uint32_t pageChecksum(uint32_t seed, const uint8_t* data, size_t size) {
    uLong sum = seed;
    while (size > 0) {
        const uInt n = static_cast<uInt>(std::min<size_t>(size, 1u << 30));
        sum = adler32(sum, data, n);
        data += n;
        size -= n;
    }
    return static_cast<uint32_t>(sum);
}

uint32_t crc32Of(const uint8_t* data, size_t size) {
    uLong crc = crc32(0L, Z_NULL, 0);
    while (size > 0) {
        const uInt n = static_cast<uInt>(std::min<size_t>(size, 1u << 30));
        crc = crc32(crc, data, n);
        data += n;
        size -= n;
    }
    return static_cast<uint32_t>(crc);
}

} // namespace dv::dwg
