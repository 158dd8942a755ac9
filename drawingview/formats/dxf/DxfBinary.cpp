#include "DxfBinary.h"

#include <charconv>
#include <cmath>
#include <cstring>

namespace dv::dxf {

namespace {

enum class ValueType { String, Double, Int16, Int32, Int64, Bool, Chunk, Unknown };

ValueType typeOf(int code) {
    if (code < 0)
        return ValueType::Unknown;
    if (code <= 9)
        return ValueType::String;
    if (code <= 59)
        return ValueType::Double;
    if (code <= 79)
        return code >= 60 ? ValueType::Int16 : ValueType::Unknown;
    if (code >= 90 && code <= 99)
        return ValueType::Int32;
    if (code >= 100 && code <= 102)
        return ValueType::String;
    if (code == 105)
        return ValueType::String;
    if (code >= 110 && code <= 149)
        return ValueType::Double;
    if (code >= 160 && code <= 169)
        return ValueType::Int64;
    if (code >= 170 && code <= 179)
        return ValueType::Int16;
    if (code >= 210 && code <= 239)
        return ValueType::Double;
    if (code >= 270 && code <= 289)
        return ValueType::Int16;
    if (code >= 290 && code <= 299)
        return ValueType::Bool;
    if (code >= 300 && code <= 309)
        return ValueType::String;
    if (code >= 310 && code <= 319)
        return ValueType::Chunk;
    if (code >= 320 && code <= 369)
        return ValueType::String;
    if (code >= 370 && code <= 389)
        return ValueType::Int16;
    if (code >= 390 && code <= 399)
        return ValueType::String;
    if (code >= 400 && code <= 409)
        return ValueType::Int16;
    if (code >= 410 && code <= 419)
        return ValueType::String;
    if (code >= 420 && code <= 429)
        return ValueType::Int32;
    if (code >= 430 && code <= 439)
        return ValueType::String;
    if (code >= 440 && code <= 459)
        return ValueType::Int32;
    if (code >= 460 && code <= 469)
        return ValueType::Double;
    if (code >= 470 && code <= 481)
        return ValueType::String;
    if (code == 999)
        return ValueType::String;
    if (code == 1004)
        return ValueType::Chunk;
    if (code >= 1000 && code <= 1009)
        return ValueType::String;
    if (code >= 1010 && code <= 1059)
        return ValueType::Double;
    if (code >= 1060 && code <= 1070)
        return ValueType::Int16;
    if (code == 1071)
        return ValueType::Int32;
    return ValueType::Unknown;
}

[[noreturn]] void truncated(size_t offset, int code) {
    throw SyntaxError("truncated at byte offset " + std::to_string(offset) + ": group code " +
                      std::to_string(code) + " has no complete value");
}

template <typename T> T load(const unsigned char* p) {
    T v;
    std::memcpy(&v, p, sizeof v); // the format is little-endian, as is this machine
    return v;
}

} // namespace

bool isBinaryDxf(const char* data, size_t size) {
    const size_t n = 18; // "AutoCAD Binary DXF": enough to tell, and what a head may hold
    return size >= n && std::memcmp(data, kBinarySentinel, n) == 0;
}

BinaryTokenizer::BinaryTokenizer(const char* data, size_t size)
    : m_data(reinterpret_cast<const unsigned char*>(data)), m_size(size) {
    // "0 SECTION" (or a 999 comment) opens every file: with 2-byte codes the
    // first two bytes are the code; with 1-byte codes the second is text.
    const size_t p = kBinarySentinelSize;
    if (p + 2 <= size) {
        const unsigned c0 = m_data[p], c1 = m_data[p + 1];
        m_shortCodes = !((c0 == 0 && c1 == 0) || (c0 == 0xE7 && c1 == 0x03));
    }
}

int BinaryTokenizer::readCode() {
    if (m_shortCodes) {
        if (m_pos + 1 > m_size)
            truncated(m_pos, -1);
        const int c = m_data[m_pos++];
        if (c != 255)
            return c;
    }
    if (m_pos + 2 > m_size)
        throw SyntaxError("truncated at byte offset " + std::to_string(m_pos) +
                          ": group code cut off");
    const int c = load<uint16_t>(m_data + m_pos);
    m_pos += 2;
    return c;
}

bool BinaryTokenizer::next(Group& g) {
    for (;;) {
        if (m_pos >= m_size)
            return false;
        const size_t start = m_pos;
        const int code = readCode();
        g.setCode(code);
        g.setPosition(start);
        g.atOffset = true;
        g.isNumber = false;
        const size_t at = m_pos;
        const size_t left = m_size - at;
        switch (typeOf(code)) {
        case ValueType::String: {
            const void* nul = std::memchr(m_data + at, 0, left);
            if (!nul)
                truncated(start, code);
            const size_t len = size_t(static_cast<const unsigned char*>(nul) - (m_data + at));
            g.value = {reinterpret_cast<const char*>(m_data + at), len};
            m_pos = at + len + 1;
            break;
        }
        case ValueType::Double: {
            if (left < 8)
                truncated(start, code);
            const double v = load<double>(m_data + at);
            m_pos = at + 8;
            g.isNumber = true;
            g.isReal = true;
            g.number = v;
            g.value = {};
            break;
        }
        case ValueType::Int16:
        case ValueType::Int32:
        case ValueType::Int64:
        case ValueType::Bool: {
            const ValueType t = typeOf(code);
            const size_t n = t == ValueType::Int16   ? 2
                             : t == ValueType::Int32 ? 4
                             : t == ValueType::Int64 ? 8
                                                     : 1;
            if (left < n)
                truncated(start, code);
            double v = 0;
            if (t == ValueType::Int16)
                v = load<int16_t>(m_data + at);
            else if (t == ValueType::Int32)
                v = load<int32_t>(m_data + at);
            else if (t == ValueType::Int64)
                v = double(load<int64_t>(m_data + at));
            else
                v = m_data[at];
            m_pos = at + n;
            g.isNumber = true;
            g.isReal = false;
            g.number = v;
            g.value = {};
            break;
        }
        case ValueType::Chunk: {
            if (left < 1)
                truncated(start, code);
            const size_t len = m_data[at];
            if (left < 1 + len)
                truncated(start, code);
            // As hexadecimal, the way ASCII files write binary data.
            static const char digits[] = "0123456789ABCDEF";
            m_hex.resize(len * 2);
            for (size_t i = 0; i < len; ++i) {
                m_hex[2 * i] = digits[m_data[at + 1 + i] >> 4];
                m_hex[2 * i + 1] = digits[m_data[at + 1 + i] & 15];
            }
            g.value = m_hex;
            m_pos = at + 1 + len;
            break;
        }
        case ValueType::Unknown:
            throw SyntaxError("malformed at byte offset " + std::to_string(start) +
                              ": unknown group code " + std::to_string(code));
        }
        if (code != 999)
            return true;
    }
}

} // namespace dv::dxf
