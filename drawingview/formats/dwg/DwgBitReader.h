#pragma once

// Reads the bit-packed values of DWG data: each value starts at any bit, and
// numbers carry a short prefix that says how many bytes follow. Every read is
// checked against the end of the data (or a narrower limit) and throws
// FormatError past it.

#include "DwgSections.h"

#include <QtEndian>

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>

namespace dv::dwg {

struct Point3 {
    double x = 0, y = 0, z = 0;
};

struct Point2 {
    double x = 0, y = 0;
};

// A reference to another object: the code says how the value relates to
// the referring object's own handle.
struct HandleRef {
    uint8_t code = 0;
    uint64_t value = 0; // already resolved to an absolute handle
};

// CMC and ENC colours. `index` is the ACI (256 ByLayer, 0 ByBlock); `rgb`
// is set when the colour is a true colour.
struct CmColor {
    int index = 256;
    int64_t rgb = -1;
    int32_t transparency = -1; // raw value when stored
    bool book = false;         // a colour book's handle follows among the handles
};

class BitReader {
public:
    BitReader(const char* data, size_t size, Release release);
    // Values come from the first `size` bytes alone; the `readable` bytes
    // from `data` on (at least `size`) may be loaded a word at a time.
    BitReader(const char* data, size_t size, size_t readable, Release release);

    Release release() const { return m_release; }
    bool atLeast(Release r) const { return m_release >= r; }
    size_t bitPosition() const { return m_bit; }
    // Places the reader at `bit`; FormatError beyond the limit.
    void seek(size_t bit);
    // Reads stop at `bits` (within the data) from now on.
    void setLimit(size_t bits);
    size_t limit() const { return m_limit; }
    size_t bitsLeft() const { return m_limit - m_bit; }

    bool B();
    uint8_t BB();
    uint8_t B3(); // 1 to 3 bits: 0, 2, 6 or 7
    int16_t BS();
    int32_t BL();
    int64_t BLL();
    double BD();
    double DD(double fallback);
    double BT(); // thickness
    Point3 BE(); // extrusion
    uint8_t RC();
    int16_t RS();
    int32_t RL();
    double RD();
    Point2 RD2();
    Point2 BD2();
    Point2 DD2(Point2 fallback);
    Point3 BD3();
    Point3 DD3(Point3 fallback);
    uint32_t MC();      // unsigned modular char
    int64_t MCSigned(); // the last byte's 0x40 is the sign
    uint32_t MS();      // modular short
    uint16_t BOT();     // object type, R2010 on
    // A handle reference; `base` is the handle relative codes count from.
    HandleRef H(uint64_t base = 0);
    // Text as stored before R2007: bytes in the drawing's code page.
    std::string TV();
    // Text as UTF-16 (R2007 on), returned as UTF-8.
    std::string TU();
    // TV before R2007, TU from then on: raw code-page bytes or UTF-8. From
    // R2007 on the texts of an object or section lie in a stream of their
    // own at the end of its data; T() reads them from there once
    // useStringsEndingAt() has found it.
    std::string T();
    // Finds the text stream that ends the data at `endBit` (the last bit
    // is its presence flag, the bits before it its size) and returns the
    // bit where it starts, which is where the other data ends. Without
    // one, T() reads empty texts and `endBit` - 1 comes back.
    size_t useStringsEndingAt(size_t endBit);
    // The header variables keep their handles in a stream of their own
    // too, from `bit` on; H() reads them there, ownH() in the data.
    void useHandlesFrom(size_t bit);
    HandleRef ownH() { return readHandle(0); }
    CmColor CMC();
    CmColor ENC();
    // Skips `bytes` raw bytes (graphics, preview data).
    void skipBytes(size_t bytes);

    // Throws the FormatError for a read past the end.
    [[noreturn]] void pastEnd(size_t bits) const;
    // Throws the FormatError for a prefix no value uses.
    [[noreturn]] static void badPrefix(const char* what);

private:
    void need(size_t bits) const {
        if (bits > m_limit - m_bit)
            pastEnd(bits);
    }
    // Up to 64 bits, least significant first in value order.
    uint64_t raw(unsigned bits) {
        need(bits);
        const size_t first = m_bit >> 3;
        // Eight bytes at once where they lie within the data: every value up
        // to 56 bits fits in them whatever its offset within the first byte.
        if (bits - 1 < 56 && m_readable - first >= 8) {
            const uint64_t word = qFromBigEndian<quint64>(m_data + first);
            const uint64_t v = (word << (m_bit & 7)) >> (64 - bits);
            m_bit += bits;
            return v;
        }
        return rawByBytes(bits);
    }
    // The same a byte at a time: the data's last bytes, and wider values.
    uint64_t rawByBytes(unsigned bits);
    HandleRef readHandle(uint64_t base);

    // A second read position over the same bytes, taken up while one read
    // lasts.
    struct Stream {
        bool used = false;
        size_t bit = 0, limit = 0;
    };
    template <typename Read> auto readFrom(Stream& s, Read read);

    const unsigned char* m_data;
    size_t m_size;
    size_t m_readable;
    size_t m_bit = 0;
    size_t m_limit;
    Release m_release;
    Stream m_strings, m_handles;
    bool m_noStrings = false;
};

// The values every object is made of, inline: they are most of the reading.

inline bool BitReader::B() {
    return raw(1) != 0;
}

inline uint8_t BitReader::BB() {
    return uint8_t(raw(2));
}

inline uint8_t BitReader::RC() {
    return uint8_t(raw(8));
}

// Raw numbers lie least significant byte first in the bit stream.
inline int16_t BitReader::RS() {
    return int16_t(qbswap(uint16_t(raw(16))));
}

inline int32_t BitReader::RL() {
    return int32_t(qbswap(uint32_t(raw(32))));
}

inline double BitReader::RD() {
    const uint64_t lo = uint32_t(RL());
    const uint64_t bits = lo | (uint64_t(uint32_t(RL())) << 32);
    double d;
    std::memcpy(&d, &bits, sizeof d);
    return d;
}

inline int16_t BitReader::BS() {
    switch (BB()) {
    case 0:
        return RS();
    case 1:
        return RC();
    case 2:
        return 0;
    default:
        return 256;
    }
}

inline int32_t BitReader::BL() {
    switch (BB()) {
    case 0:
        return RL();
    case 1:
        return RC();
    case 2:
        return 0;
    default:
        badPrefix("long number");
    }
}

inline double BitReader::BD() {
    switch (BB()) {
    case 0:
        return RD();
    case 1:
        return 1.0;
    case 2:
        return 0.0;
    default:
        badPrefix("real number");
    }
}

// CRC-16 as DWG sections use it (reflected polynomial 0xA001).
uint16_t crc16(uint16_t seed, const char* data, size_t size);

} // namespace dv::dwg
