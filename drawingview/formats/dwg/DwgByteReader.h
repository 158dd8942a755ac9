#pragma once

// Little-endian fields from a buffer of known length. Every read is checked,
// so a count or size taken from a file can never lead past its end.

#include "formats/dwg/DwgSections.h"

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>
#include <utility>

namespace dv::dwg {

class ByteReader {
public:
    // `what` names the structure in the error that a short read raises.
    ByteReader(const uint8_t* data, size_t size, std::string what)
        : data_(data), size_(size), what_(std::move(what)) {}

    size_t pos() const { return pos_; }
    size_t size() const { return size_; }
    size_t remaining() const { return size_ - pos_; }
    bool atEnd() const { return pos_ == size_; }

    void seek(size_t pos) {
        if (pos > size_)
            fail();
        pos_ = pos;
    }
    void skip(size_t n) { seek(need(n) + n); }

    uint8_t u8() {
        const size_t at = need(1);
        ++pos_;
        return data_[at];
    }
    uint16_t u16() { return static_cast<uint16_t>(le(2)); }
    uint32_t u32() { return static_cast<uint32_t>(le(4)); }
    int32_t i32() { return static_cast<int32_t>(u32()); }
    uint64_t u64() { return le(8); }
    double f64() {
        const uint64_t bits = u64();
        double v;
        std::memcpy(&v, &bits, sizeof v);
        return v;
    }

    // A view of the next n bytes, valid as long as the buffer is.
    const uint8_t* bytes(size_t n) {
        const size_t at = need(n);
        pos_ += n;
        return data_ + at;
    }

private:
    size_t need(size_t n) const {
        if (n > size_ - pos_)
            fail();
        return pos_;
    }
    uint64_t le(int n) {
        const uint8_t* p = bytes(static_cast<size_t>(n));
        uint64_t v = 0;
        for (int i = n - 1; i >= 0; --i)
            v = (v << 8) | p[i];
        return v;
    }
    [[noreturn]] void fail() const { throw FormatError("truncated " + what_); }

    const uint8_t* data_;
    size_t size_;
    size_t pos_ = 0;
    std::string what_;
};

} // namespace dv::dwg
