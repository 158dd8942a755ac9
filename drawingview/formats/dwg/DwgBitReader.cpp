#include "DwgBitReader.h"

#include <algorithm>
#include <array>
#include <cstring>

namespace dv::dwg {

BitReader::BitReader(const char* data, size_t size, Release release)
    : BitReader(data, size, size, release) {}

BitReader::BitReader(const char* data, size_t size, size_t readable, Release release)
    : m_data(reinterpret_cast<const unsigned char*>(data)), m_size(size),
      m_readable(std::max(size, readable)), m_limit(size * 8), m_release(release) {}

void BitReader::badPrefix(const char* what) {
    throw FormatError(std::string("a ") + what + " has the unused prefix 11");
}

void BitReader::pastEnd(size_t bits) const {
    throw FormatError("data cut off: " + std::to_string(bits) + " bits wanted at bit " +
                      std::to_string(m_bit) + " of " + std::to_string(m_limit));
}

void BitReader::seek(size_t bit) {
    if (bit > m_limit)
        throw FormatError("position " + std::to_string(bit) + " lies past the data's end (" +
                          std::to_string(m_limit) + " bits)");
    m_bit = bit;
}

void BitReader::setLimit(size_t bits) {
    if (bits > m_size * 8)
        throw FormatError("a size of " + std::to_string(bits) + " bits exceeds the " +
                          std::to_string(m_size * 8) + " bits there are");
    m_limit = bits;
    if (m_bit > m_limit)
        m_bit = m_limit;
}

// Values are stored most significant bit first.
uint64_t BitReader::rawByBytes(unsigned bits) {
    uint64_t v = 0;
    for (unsigned i = 0; i < bits;) {
        const size_t byte = m_bit >> 3;
        const unsigned offset = unsigned(m_bit & 7);
        const unsigned take = std::min(8 - offset, bits - i);
        const unsigned chunk = (m_data[byte] >> (8 - offset - take)) & ((1u << take) - 1);
        v = (v << take) | chunk;
        m_bit += take;
        i += take;
    }
    return v;
}

uint8_t BitReader::B3() {
    uint8_t v = 0;
    for (int i = 0; i < 3; ++i) {
        v = uint8_t(v << 1);
        if (!B())
            return v;
        v |= 1;
    }
    return v;
}

int64_t BitReader::BLL() {
    const unsigned n = unsigned(raw(3));
    uint64_t v = 0;
    for (unsigned i = 0; i < n; ++i)
        v |= uint64_t(RC()) << (8 * i);
    return int64_t(v);
}

// The prefix says which bytes of the fallback's little-endian form change.
double BitReader::DD(double fallback) {
    const uint8_t code = BB();
    if (code == 0)
        return fallback;
    if (code == 3)
        return RD();
    unsigned char b[8];
    std::memcpy(b, &fallback, 8);
    if (code == 2) {
        b[4] = RC();
        b[5] = RC();
    }
    for (int i = 0; i < 4; ++i)
        b[i] = RC();
    double d;
    std::memcpy(&d, b, 8);
    return d;
}

double BitReader::BT() {
    if (atLeast(Release::R2000) && B())
        return 0.0;
    return BD();
}

Point3 BitReader::BE() {
    if (atLeast(Release::R2000) && B())
        return {0, 0, 1};
    return BD3();
}

Point2 BitReader::RD2() {
    const double x = RD();
    return {x, RD()};
}

Point2 BitReader::BD2() {
    const double x = BD();
    return {x, BD()};
}

Point2 BitReader::DD2(Point2 f) {
    const double x = DD(f.x);
    return {x, DD(f.y)};
}

Point3 BitReader::BD3() {
    const double x = BD();
    const double y = BD();
    return {x, y, BD()};
}

Point3 BitReader::DD3(Point3 f) {
    const double x = DD(f.x);
    const double y = DD(f.y);
    return {x, y, DD(f.z)};
}

uint32_t BitReader::MC() {
    uint64_t v = 0;
    for (int shift = 0; shift < 35; shift += 7) {
        const uint8_t b = RC();
        v |= uint64_t(b & 0x7F) << shift;
        if (!(b & 0x80))
            return uint32_t(v);
    }
    throw FormatError("a modular number runs on for more than five bytes");
}

int64_t BitReader::MCSigned() {
    uint64_t v = 0;
    for (int shift = 0; shift < 35; shift += 7) {
        const uint8_t b = RC();
        if (b & 0x80) {
            v |= uint64_t(b & 0x7F) << shift;
            continue;
        }
        v |= uint64_t(b & 0x3F) << shift;
        return (b & 0x40) ? -int64_t(v) : int64_t(v);
    }
    throw FormatError("a modular number runs on for more than five bytes");
}

uint32_t BitReader::MS() {
    uint64_t v = 0;
    for (int shift = 0; shift < 30; shift += 15) {
        const uint16_t w = uint16_t(RS());
        v |= uint64_t(w & 0x7FFF) << shift;
        if (!(w & 0x8000))
            return uint32_t(v);
    }
    throw FormatError("a modular size runs on for more than two words");
}

uint16_t BitReader::BOT() {
    switch (BB()) {
    case 0:
        return RC();
    case 1:
        return uint16_t(RC() + 0x1F0);
    default:
        return uint16_t(RS());
    }
}

template <typename Read> auto BitReader::readFrom(Stream& s, Read read) {
    const size_t bit = m_bit, limit = m_limit;
    m_bit = s.bit;
    m_limit = s.limit;
    struct Restore {
        BitReader& r;
        Stream& s;
        size_t bit, limit;
        ~Restore() {
            s.bit = r.m_bit;
            r.m_bit = bit;
            r.m_limit = limit;
        }
    } restore{*this, s, bit, limit};
    return read();
}

std::string BitReader::T() {
    if (!atLeast(Release::R2007))
        return TV();
    if (m_strings.used)
        return readFrom(m_strings, [this] { return TU(); });
    if (m_noStrings)
        return {};
    return TU();
}

size_t BitReader::useStringsEndingAt(size_t endBit) {
    if (endBit < 1 || endBit > m_limit)
        throw FormatError("the text data's end lies outside the data");
    const size_t back = m_bit;
    m_bit = endBit - 1;
    const bool present = B();
    size_t start = endBit - 1;
    if (present) {
        if (endBit < 17)
            throw FormatError("the text data's size is cut off");
        size_t base = endBit - 17;
        m_bit = base;
        size_t size = uint16_t(RS());
        if (size & 0x8000) {
            if (base < 16)
                throw FormatError("the text data's size is cut off");
            base -= 16;
            m_bit = base;
            size = (size & 0x7FFF) | size_t(uint16_t(RS())) << 15;
        }
        if (size > base)
            throw FormatError("text data of " + std::to_string(size) +
                              " bits is larger than its object");
        start = base - size;
        m_strings = {true, start, base};
    }
    m_noStrings = !present;
    m_bit = back;
    return start;
}

void BitReader::useHandlesFrom(size_t bit) {
    if (bit > m_limit)
        throw FormatError("the handle data lies past the data's end");
    m_handles = {true, bit, m_limit};
}

HandleRef BitReader::H(uint64_t base) {
    if (m_handles.used)
        return readFrom(m_handles, [&] { return readHandle(base); });
    return readHandle(base);
}

HandleRef BitReader::readHandle(uint64_t base) {
    HandleRef h;
    const uint8_t head = RC();
    h.code = head >> 4;
    const unsigned counter = head & 15;
    if (counter > 8)
        throw FormatError("a handle claims " + std::to_string(counter) + " bytes");
    uint64_t v = 0;
    for (unsigned i = 0; i < counter; ++i)
        v = (v << 8) | RC();
    switch (h.code) {
    case 6:
        h.value = base + 1;
        break;
    case 8:
        h.value = base - 1;
        break;
    case 0xA:
        h.value = base + v;
        break;
    case 0xC:
        h.value = base - v;
        break;
    default:
        h.value = v;
        break;
    }
    return h;
}

std::string BitReader::TV() {
    const int n = uint16_t(BS());
    need(size_t(n) * 8);
    std::string s;
    s.reserve(size_t(n));
    for (int i = 0; i < n; ++i)
        s.push_back(char(RC()));
    // Writers end many strings with a NUL they count.
    while (!s.empty() && s.back() == '\0')
        s.pop_back();
    return s;
}

std::string BitReader::TU() {
    const int n = uint16_t(BS());
    need(size_t(n) * 16);
    std::string s;
    s.reserve(size_t(n));
    auto put = [&s](uint32_t c) {
        if (c < 0x80) {
            s.push_back(char(c));
        } else if (c < 0x800) {
            s.push_back(char(0xC0 | (c >> 6)));
            s.push_back(char(0x80 | (c & 0x3F)));
        } else if (c < 0x10000) {
            s.push_back(char(0xE0 | (c >> 12)));
            s.push_back(char(0x80 | ((c >> 6) & 0x3F)));
            s.push_back(char(0x80 | (c & 0x3F)));
        } else {
            s.push_back(char(0xF0 | (c >> 18)));
            s.push_back(char(0x80 | ((c >> 12) & 0x3F)));
            s.push_back(char(0x80 | ((c >> 6) & 0x3F)));
            s.push_back(char(0x80 | (c & 0x3F)));
        }
    };
    for (int i = 0; i < n; ++i) {
        uint32_t c = uint16_t(RS());
        if (c >= 0xD800 && c < 0xDC00 && i + 1 < n) {
            const uint32_t low = uint16_t(RS());
            ++i;
            c = (low >= 0xDC00 && low < 0xE000) ? 0x10000 + ((c - 0xD800) << 10) + (low - 0xDC00)
                                                : 0xFFFD;
        } else if (c >= 0xD800 && c < 0xE000) {
            c = 0xFFFD;
        }
        if (c == 0)
            break; // the counted terminator
        put(c);
    }
    return s;
}

CmColor BitReader::CMC() {
    CmColor c;
    c.index = BS();
    if (!atLeast(Release::R2004))
        return c;
    const uint32_t rgb = uint32_t(BL());
    const uint8_t flags = RC();
    if ((rgb >> 24) == 0xC2)
        c.rgb = rgb & 0xFFFFFF;
    else if ((rgb >> 24) == 0xC1)
        c.index = 256;
    else if ((rgb >> 24) == 0xC3)
        c.index = int(rgb & 0xFF);
    if (flags & 1)
        T();
    if (flags & 2)
        T();
    return c;
}

CmColor BitReader::ENC() {
    if (!atLeast(Release::R2004))
        return CMC();
    CmColor c;
    const uint16_t v = uint16_t(BS());
    c.index = v & 0x1FF;
    if (v & 0x8000) {
        const uint32_t rgb = uint32_t(BL());
        if ((rgb >> 24) == 0xC2 || (rgb >> 24) == 0)
            c.rgb = rgb & 0xFFFFFF;
    }
    c.book = (v & 0x4000) != 0;
    if (v & 0x2000)
        c.transparency = BL();
    return c;
}

void BitReader::skipBytes(size_t bytes) {
    if (bytes > bitsLeft() / 8)
        pastEnd(bytes * 8);
    m_bit += bytes * 8;
}

namespace {

constexpr std::array<uint16_t, 256> makeCrcTable() {
    std::array<uint16_t, 256> t{};
    for (unsigned i = 0; i < 256; ++i) {
        uint16_t c = uint16_t(i);
        for (int k = 0; k < 8; ++k)
            c = (c & 1) ? uint16_t((c >> 1) ^ 0xA001) : uint16_t(c >> 1);
        t[i] = c;
    }
    return t;
}

constexpr auto kCrcTable = makeCrcTable();

} // namespace

uint16_t crc16(uint16_t seed, const char* data, size_t size) {
    uint16_t crc = seed;
    for (size_t i = 0; i < size; ++i)
        crc = uint16_t((crc >> 8) ^ kCrcTable[(crc ^ uint8_t(data[i])) & 0xFF]);
    return crc;
}

} // namespace dv::dwg
