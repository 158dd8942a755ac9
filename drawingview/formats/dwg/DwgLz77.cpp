#include "formats/dwg/DwgLz77.h"

#include "formats/dwg/DwgBackCopy.h"
#include "formats/dwg/DwgSections.h"

#include <cstring>
#include <string>

namespace dv::dwg {

namespace {

class Lz77Decoder {
public:
    Lz77Decoder(const uint8_t* src, size_t srcSize, uint8_t* dst, size_t dstSize)
        : src_(src), srcEnd_(src + srcSize), dst_(dst), dstSize_(dstSize) {}

    void run() {
        copyLiterals(literalLength());
        for (;;) {
            const uint8_t op = next();
            if (op == 0x11)
                break;
            size_t length = 0;
            size_t offset = 0;
            size_t literals = 0;
            if (op >= 0x40) {
                length = (op >> 4) - 1;
                offset = (static_cast<size_t>(next()) << 2) | ((op & 0x0c) >> 2);
                literals = op & 3;
            } else if (op >= 0x21) {
                length = op - 0x1e;
                offset = twoByteOffset(literals);
            } else if (op == 0x20) {
                length = longCount() + 0x21;
                offset = twoByteOffset(literals);
            } else if (op >= 0x10) {
                length = (op & 7) == 0 ? longCount() + 9 : (op & 7) + 2;
                offset = (static_cast<size_t>(op & 8) << 11) + twoByteOffset(literals) + 0x3fff;
            } else {
                fail("unknown opcode");
            }
            copyMatch(offset + 1, length);
            copyLiterals(literals ? literals : literalLength());
        }
        if (out_ != dstSize_)
            fail("output ends after " + std::to_string(out_) + " of " + std::to_string(dstSize_) +
                 " bytes");
    }

private:
    [[noreturn]] static void fail(const std::string& why) { throw FormatError(why); }

    uint8_t next() {
        if (src_ == srcEnd_)
            fail("compressed data ends early");
        return *src_++;
    }

    // Runs of zero bytes each add 255; the first non-zero byte ends the count.
    size_t longCount() {
        size_t count = 0;
        uint8_t b;
        while ((b = next()) == 0)
            count += 0xff;
        return count + b;
    }

    size_t twoByteOffset(size_t& literals) {
        const uint8_t first = next();
        const uint8_t second = next();
        literals = first & 3;
        return (first >> 2) | (static_cast<size_t>(second) << 6);
    }

    // A byte of 0x10 or more is the next opcode, not a length, and stays.
    size_t literalLength() {
        if (src_ == srcEnd_)
            fail("compressed data ends early");
        const uint8_t b = *src_;
        if (b >= 0x10)
            return 0;
        ++src_;
        return b == 0 ? longCount() + 0x0f + 3 : b + 3;
    }

    void copyLiterals(size_t n) {
        if (n > static_cast<size_t>(srcEnd_ - src_))
            fail("compressed data ends early");
        room(n);
        std::memcpy(dst_ + out_, src_, n);
        src_ += n;
        out_ += n;
    }

    void copyMatch(size_t distance, size_t n) {
        if (distance > out_)
            fail("a copy reaches before the start of the output");
        room(n);
        copyBackReference(dst_ + out_, distance, n, dstSize_ - out_);
        out_ += n;
    }

    void room(size_t n) {
        if (n > dstSize_ - out_)
            fail("output exceeds the declared " + std::to_string(dstSize_) + " bytes");
    }

    const uint8_t* src_;
    const uint8_t* srcEnd_;
    uint8_t* dst_;
    size_t dstSize_;
    size_t out_ = 0;
};

} // namespace

void decompressLz77(const uint8_t* src, size_t srcSize, uint8_t* dst, size_t dstSize) {
    Lz77Decoder(src, srcSize, dst, dstSize).run();
}

} // namespace dv::dwg
