#include "formats/dwg/DwgChecksum.h"

#include <zlib.h>

#include <algorithm>

namespace dv::dwg {

uint32_t pageChecksum(uint32_t seed, const uint8_t* data, size_t size) {
    uint32_t low = seed & 0xffff;
    uint32_t high = seed >> 16;
    // The largest run whose sums cannot overflow 32 bits before the modulo.
    constexpr size_t kRun = 0x15b0;
    while (size > 0) {
        const size_t n = std::min(size, kRun);
        for (size_t i = 0; i < n; ++i) {
            low += data[i];
            high += low;
        }
        low %= 0xfff1;
        high %= 0xfff1;
        data += n;
        size -= n;
    }
    return (high << 16) | (low & 0xffff);
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
