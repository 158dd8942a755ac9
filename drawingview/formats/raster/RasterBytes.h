#pragma once

// Reads of little- and big-endian fields from a file held in memory. A read
// past the end gives 0 instead of touching memory it does not own; decoders
// still check `has()` first so that a short file is reported, not guessed.

#include <QByteArray>

#include <cstdint>

namespace dv::raster {

class Bytes {
public:
    explicit Bytes(const QByteArray& data)
        : m_data(reinterpret_cast<const uint8_t*>(data.constData())), m_size(data.size()) {}

    qsizetype size() const { return m_size; }
    bool has(qsizetype pos, qsizetype count) const {
        return pos >= 0 && count >= 0 && pos <= m_size && count <= m_size - pos;
    }
    const uint8_t* at(qsizetype pos) const { return m_data + pos; }

    uint8_t u8(qsizetype pos) const { return has(pos, 1) ? m_data[pos] : 0; }
    uint16_t le16(qsizetype pos) const { return uint16_t(u8(pos) | u8(pos + 1) << 8); }
    uint32_t le32(qsizetype pos) const {
        return uint32_t(le16(pos)) | uint32_t(le16(pos + 2)) << 16;
    }
    uint16_t be16(qsizetype pos) const { return uint16_t(u8(pos) << 8 | u8(pos + 1)); }
    uint32_t be32(qsizetype pos) const {
        return uint32_t(be16(pos)) << 16 | uint32_t(be16(pos + 2));
    }

private:
    const uint8_t* m_data;
    qsizetype m_size;
};

} // namespace dv::raster
