#include "formats/dwg/DwgLz2007.h"

#include "formats/dwg/DwgBackCopy.h"
#include "formats/dwg/DwgSections.h"

#include <cstring>
#include <string>

namespace dv::dwg {

namespace {

// A block of 1 to 3 bytes is stored reversed, one of 4 or 8 as is, and
// larger ones as their halves swapped, each half stored the same way.
void block(const uint8_t* src, size_t size, uint8_t* dst) {
    if (size < 4) {
        for (size_t i = 0; i < size; ++i)
            dst[i] = src[size - 1 - i];
    } else if (size <= 8) {
        std::memcpy(dst, src, size);
    } else if (size == 16) { // the one larger size the runs use: two words swapped
        std::memcpy(dst, src + 8, 8);
        std::memcpy(dst + 8, src, 8);
    } else {
        block(src + size / 2, size / 2, dst);
        block(src, size / 2, dst + size / 2);
    }
}

struct Piece {
    uint8_t from, size;
};

// How a run shorter than 32 is cut into blocks: each piece names where in
// the stored run its block begins, in the order the output takes them.
constexpr Piece kRuns[32][5] = {
    {},
    {{0, 1}},
    {{0, 2}},
    {{0, 3}},
    {{0, 4}},
    {{4, 1}, {0, 4}},
    {{5, 1}, {1, 4}, {0, 1}},
    {{5, 2}, {1, 4}, {0, 1}},
    {{0, 8}},
    {{8, 1}, {0, 8}},
    {{9, 1}, {1, 8}, {0, 1}},
    {{9, 2}, {1, 8}, {0, 1}},
    {{8, 4}, {0, 8}},
    {{12, 1}, {8, 4}, {0, 8}},
    {{13, 1}, {9, 4}, {1, 8}, {0, 1}},
    {{13, 2}, {9, 4}, {1, 8}, {0, 1}},
    {{0, 16}},
    {{9, 8}, {8, 1}, {0, 8}},
    {{17, 1}, {1, 16}, {0, 1}},
    {{16, 3}, {0, 16}},
    {{16, 4}, {0, 16}},
    {{20, 1}, {16, 4}, {0, 16}},
    {{20, 2}, {16, 4}, {0, 16}},
    {{20, 3}, {16, 4}, {0, 16}},
    {{16, 8}, {0, 16}},
    {{17, 8}, {16, 1}, {0, 16}},
    {{25, 1}, {17, 8}, {16, 1}, {0, 16}},
    {{25, 2}, {17, 8}, {16, 1}, {0, 16}},
    {{24, 4}, {16, 8}, {0, 16}},
    {{28, 1}, {24, 4}, {16, 8}, {0, 16}},
    {{28, 2}, {24, 4}, {16, 8}, {0, 16}},
    {{30, 1}, {26, 4}, {18, 8}, {2, 16}, {0, 2}},
};

class Inflater {
public:
    Inflater(const uint8_t* src, size_t srcSize, uint8_t* dst, size_t dstSize)
        : src_(src), srcSize_(srcSize), dst_(dst), dstSize_(dstSize) {}

    void run() {
        if (srcSize_ == 0) {
            if (dstSize_ != 0)
                fail("stream ends early");
            return;
        }
        size_t literals = 0;
        uint8_t op = next();
        if ((op & 0xf0) == 0x20) {
            skip(2);
            literals = next() & 7;
        }
        while (in_ < srcSize_) {
            if (literals == 0)
                literals = literalCount(op);
            copyLiterals(literals);
            literals = 0;
            if (in_ >= srcSize_)
                break;
            op = next();
            instruction(op);
            for (;;) {
                copyBack();
                literals = op & 7;
                if (literals != 0 || in_ >= srcSize_)
                    break;
                op = next();
                if ((op >> 4) == 0)
                    break;
                if ((op >> 4) == 0x0f)
                    op &= 0x0f;
                instruction(op);
            }
        }
        if (out_ != dstSize_)
            fail("stream ends after " + std::to_string(out_) + " of " + std::to_string(dstSize_) +
                 " bytes");
    }

private:
    [[noreturn]] static void fail(const std::string& why) { throw FormatError(why); }

    uint8_t next() {
        if (in_ >= srcSize_)
            fail("stream ends early");
        return src_[in_++];
    }
    void skip(size_t n) {
        if (n > srcSize_ - in_)
            fail("stream ends early");
        in_ += n;
    }

    size_t literalCount(uint8_t op) {
        size_t n = size_t(op) + 8;
        if (n == 0x17) {
            size_t more = next();
            n += more;
            if (more == 0xff) {
                do {
                    more = next();
                    more |= size_t(next()) << 8;
                    n += more;
                } while (more == 0xffff);
            }
        }
        return n;
    }

    void copyLiterals(size_t n) {
        if (n > srcSize_ - in_)
            fail("stream ends early inside literals");
        if (n > dstSize_ - out_)
            fail("literals exceed the declared size of " + std::to_string(dstSize_));
        unshuffleLiterals(src_ + in_, n, dst_ + out_);
        in_ += n;
        out_ += n;
    }

    // Reads the copy that `op` begins into offset_ and length_, and leaves
    // in `op` the byte whose low bits count the literals that follow.
    void instruction(uint8_t& op) {
        switch (op >> 4) {
        case 0: {
            length_ = (op & 0x0f) + 0x13;
            offset_ = next();
            op = next();
            length_ += (op >> 3) & 0x10;
            offset_ += ((op & 0x78) << 5) + 1;
            break;
        }
        case 1: {
            length_ = (op & 0x0f) + 3;
            offset_ = next();
            op = next();
            offset_ += ((op & 0xf8) << 5) + 1;
            break;
        }
        case 2: {
            offset_ = next();
            offset_ |= size_t(next()) << 8;
            length_ = op & 7;
            if ((op & 8) == 0) {
                op = next();
                length_ += op & 0xf8;
            } else {
                ++offset_;
                length_ += size_t(next()) << 3;
                op = next();
                length_ += (size_t(op & 0xf8) << 8) + 0x100;
            }
            break;
        }
        default: {
            length_ = op >> 4;
            offset_ = op & 0x0f;
            op = next();
            offset_ += ((op & 0xf8) << 1) + 1;
            break;
        }
        }
    }

    void copyBack() {
        if (offset_ > out_)
            fail("copy from before the start of the output");
        if (length_ > dstSize_ - out_)
            fail("copy exceeds the declared size of " + std::to_string(dstSize_));
        if (length_ == 0)
            return;
        if (offset_ == 0)
            fail("a copy from no distance back");
        copyBackReference(dst_ + out_, offset_, length_, dstSize_ - out_);
        out_ += length_;
    }

    const uint8_t* src_;
    size_t srcSize_;
    uint8_t* dst_;
    size_t dstSize_;
    size_t in_ = 0;
    size_t out_ = 0;
    size_t offset_ = 0;
    size_t length_ = 0;
};

} // namespace

void unshuffleLiterals(const uint8_t* src, size_t n, uint8_t* dst) {
    // A block of 32 is its four words of 8 in reverse order.
    for (; n >= 32; n -= 32, src += 32, dst += 32)
        for (int w = 0; w < 4; ++w)
            std::memcpy(dst + 8 * w, src + 8 * (3 - w), 8);
    for (const Piece& p : kRuns[n]) {
        if (p.size == 0)
            break;
        block(src + p.from, p.size, dst);
        dst += p.size;
    }
}

void decompressLz2007(const uint8_t* src, size_t srcSize, uint8_t* dst, size_t dstSize) {
    Inflater(src, srcSize, dst, dstSize).run();
}

} // namespace dv::dwg
