#pragma once

// Splits a binary DXF buffer into the same (group code, value) pairs the
// ASCII tokenizer yields. Strings are views into the buffer; numbers come
// as read, for toDouble() and toInt() to hand on without parsing.

#include "DxfTokenizer.h"

#include <cstddef>
#include <string>

namespace dv::dxf {

constexpr char kBinarySentinel[] = "AutoCAD Binary DXF\r\n\x1a";
constexpr size_t kBinarySentinelSize = 22; // the text above and its NUL

bool isBinaryDxf(const char* data, size_t size);

class BinaryTokenizer {
public:
    // `data` starts with the sentinel. Group codes are 1 byte (R12 and
    // before, 255 escaping a 2-byte code) or 2 bytes; the first group tells.
    BinaryTokenizer(const char* data, size_t size);

    // False at the end of the data; throws SyntaxError naming the byte
    // offset on an unknown group code or a value cut off by the end.
    bool next(Group& g);

    size_t position() const { return m_pos; }
    size_t size() const { return m_size; }
    bool shortCodes() const { return m_shortCodes; }

private:
    int readCode();

    const unsigned char* m_data;
    size_t m_size;
    size_t m_pos = kBinarySentinelSize;
    bool m_shortCodes = false;
    std::string m_hex;
};

} // namespace dv::dxf
