#pragma once

// The back reference of LZ77-style compression: `n` bytes written at `to`,
// copied from `distance` bytes before it. Where the two overlap, the copy
// repeats the last `distance` bytes, as if made a byte at a time; a byte
// loop would make every store wait on the one before, so the copy goes in
// pieces that do not overlap, each twice as long as the one before.

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstring>

namespace dv::dwg {

// The caller has checked that `distance` (at least 1) bytes lie before `to`
// and that `n` bytes fit in the `room` bytes from `to` on. Bytes past `n`
// within the room may be written too: the output fills them later.
inline void copyBackReference(uint8_t* to, size_t distance, size_t n, size_t room) {
    const uint8_t* from = to - distance;
    // Most copies are short: one fixed move of 16 bytes, not a library call.
    if (n <= 16 && distance >= 16 && room >= 16) {
        std::memcpy(to, from, 16);
        return;
    }
    if (distance >= n) {
        std::memcpy(to, from, n);
        return;
    }
    if (distance == 1) {
        std::memset(to, *from, n);
        return;
    }
    // [from, to + done) repeats with period `distance`, and `done` stays a
    // multiple of it, so copying from `from` continues the pattern.
    for (size_t done = 0; done < n;) {
        const size_t piece = std::min(distance + done, n - done);
        std::memcpy(to + done, from, piece);
        done += piece;
    }
}

} // namespace dv::dwg
