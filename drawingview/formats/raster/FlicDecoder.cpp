#include "RasterBytes.h"
#include "RasterDecoders.h"

#include "formats/Reader.h"

#include <algorithm>
#include <array>
#include <vector>

namespace dv::raster {

// Animator Pro saves a cel as a FLIC animation (FLC, magic 0xAF12 at offset
// 4; FLI is 0xAF11) of one frame. After the 128-byte header come chunks: an
// optional prefix chunk, then frame chunks whose sub-chunks set the palette
// and the pixels. The first frame is the picture.

namespace {

constexpr int kHeaderSize = 128;
constexpr int kFrameHeader = 16;
constexpr uint16_t kFrameType = 0xf1fa;

enum SubChunk : uint16_t {
    Colour256 = 4,
    DeltaFlc = 7,
    Colour64 = 11,
    DeltaFli = 12,
    Black = 13,
    ByteRun = 15,
    Copy = 16,
};

class Frame {
public:
    Frame(const Bytes& b, const QString& path, int width, int height)
        : m_b(b), m_path(path), m_width(width), m_height(height),
          m_pixels(size_t(width) * size_t(height), 0) {
        for (int i = 0; i < 256; ++i)
            m_palette[size_t(i)] = qRgb(i, i, i);
    }

    void apply(int type, qsizetype data, qsizetype end) {
        switch (type) {
        case Colour256:
        case Colour64:
            colours(data, end, type == Colour64);
            break;
        case Black:
            std::fill(m_pixels.begin(), m_pixels.end(), uint8_t(0));
            break;
        case Copy:
            if (end - data < qsizetype(m_pixels.size()))
                fail(data, QStringLiteral("the frame's pixels are incomplete"));
            std::copy_n(m_b.at(data), m_pixels.size(), m_pixels.begin());
            break;
        case ByteRun:
            byteRun(data, end);
            break;
        case DeltaFli:
            deltaFli(data, end);
            break;
        case DeltaFlc:
            deltaFlc(data, end);
            break;
        default:
            break; // postage stamps and the like
        }
    }

    QImage image() const {
        QImage out(m_width, m_height, QImage::Format_RGB32);
        if (out.isNull())
            throw std::bad_alloc();
        for (int y = 0; y < m_height; ++y) {
            auto* row = reinterpret_cast<QRgb*>(out.scanLine(y));
            const uint8_t* src = m_pixels.data() + size_t(y) * size_t(m_width);
            for (int x = 0; x < m_width; ++x)
                row[x] = m_palette[src[x]];
        }
        return out;
    }

private:
    [[noreturn]] void fail(qsizetype at, const QString& what) const {
        throw ReadError(m_path, damagedFile(QStringLiteral("%1 at byte %2").arg(what).arg(at)));
    }

    uint8_t next(qsizetype& pos, qsizetype end) const {
        if (pos >= end)
            fail(pos, QStringLiteral("a chunk ends early"));
        return m_b.u8(pos++);
    }

    // Packets of (skip, count) and count colours; a count of 0 means 256.
    void colours(qsizetype pos, qsizetype end, bool sixBit) {
        if (end - pos < 2)
            fail(pos, QStringLiteral("a palette chunk ends early"));
        const int packets = m_b.le16(pos);
        pos += 2;
        int index = 0;
        for (int p = 0; p < packets && index < 256; ++p) {
            index += next(pos, end);
            int count = next(pos, end);
            if (count == 0)
                count = 256;
            if (end - pos < 3 * qsizetype(count))
                fail(pos, QStringLiteral("a palette chunk ends early"));
            for (int i = 0; i < count; ++i, pos += 3, ++index) {
                if (index >= 256)
                    continue;
                int r = m_b.u8(pos), g = m_b.u8(pos + 1), bl = m_b.u8(pos + 2);
                if (sixBit) {
                    r = (std::min(r, 63) * 255 + 31) / 63;
                    g = (std::min(g, 63) * 255 + 31) / 63;
                    bl = (std::min(bl, 63) * 255 + 31) / 63;
                }
                m_palette[size_t(index)] = qRgb(r, g, bl);
            }
        }
    }

    // Each line: an obsolete packet count, then signed counts: positive
    // repeats the next byte, negative copies that many bytes.
    void byteRun(qsizetype pos, qsizetype end) {
        for (int y = 0; y < m_height; ++y) {
            uint8_t* row = m_pixels.data() + size_t(y) * size_t(m_width);
            next(pos, end);
            int x = 0;
            while (x < m_width) {
                const int count = int8_t(next(pos, end));
                if (count > 0) {
                    const uint8_t value = next(pos, end);
                    const int n = std::min(count, m_width - x);
                    std::fill_n(row + x, n, value);
                    x += n;
                } else if (count < 0) {
                    if (end - pos < -count)
                        fail(pos, QStringLiteral("a run ends early"));
                    const int n = std::min(-count, m_width - x);
                    std::copy_n(m_b.at(pos), n, row + x);
                    pos += -count;
                    x += n;
                }
            }
        }
    }

    // Writes `count` bytes from `src` (step 1) or copies of `*src` (step 0)
    // at (x, y), clipped to the frame.
    void put(int x, int y, const uint8_t* src, int count, int step) {
        if (y < 0 || y >= m_height)
            return;
        uint8_t* row = m_pixels.data() + size_t(y) * size_t(m_width);
        for (int i = 0; i < count; ++i, ++x)
            if (x >= 0 && x < m_width)
                row[x] = src[step * i];
    }

    uint16_t word(qsizetype& pos, qsizetype end) const {
        const int lo = next(pos, end);
        return uint16_t(lo | next(pos, end) << 8);
    }

    // Lines of packets: skip, then a signed count of bytes to copy (positive)
    // or of copies of one byte (negative).
    void deltaFli(qsizetype pos, qsizetype end) {
        int y = word(pos, end);
        const int lines = word(pos, end);
        for (int line = 0; line < lines && y < m_height; ++line, ++y) {
            const int packets = next(pos, end);
            int x = 0;
            for (int p = 0; p < packets; ++p) {
                x += next(pos, end);
                const int count = int8_t(next(pos, end));
                if (count >= 0) {
                    if (end - pos < count)
                        fail(pos, QStringLiteral("a run ends early"));
                    put(x, y, m_b.at(pos), count, 1);
                    pos += count;
                    x += count;
                } else {
                    const uint8_t value = next(pos, end);
                    put(x, y, &value, -count, 0);
                    x -= count;
                }
            }
        }
    }

    // Like deltaFli, but in pixel pairs, and each line opens with words that
    // skip lines or set the last pixel before the packet count.
    void deltaFlc(qsizetype pos, qsizetype end) {
        const int lines = word(pos, end);
        int y = 0;
        for (int line = 0; line < lines && y < m_height; ++line, ++y) {
            int packets = 0;
            for (;;) {
                const uint16_t w = word(pos, end);
                if ((w & 0xc000) == 0xc000) {
                    y -= int16_t(w);
                } else if ((w & 0xc000) == 0x8000) {
                    const uint8_t last = uint8_t(w & 0xff);
                    put(m_width - 1, y, &last, 1, 0);
                } else {
                    packets = w;
                    break;
                }
                if (y >= m_height)
                    return;
            }
            int x = 0;
            for (int p = 0; p < packets; ++p) {
                x += next(pos, end);
                const int count = int8_t(next(pos, end));
                if (count >= 0) {
                    if (end - pos < 2 * qsizetype(count))
                        fail(pos, QStringLiteral("a run ends early"));
                    put(x, y, m_b.at(pos), 2 * count, 1);
                    pos += 2 * count;
                    x += 2 * count;
                } else {
                    if (end - pos < 2)
                        fail(pos, QStringLiteral("a run ends early"));
                    for (int i = 0; i < -count; ++i, x += 2)
                        put(x, y, m_b.at(pos), 2, 1);
                    pos += 2;
                }
            }
        }
    }

    const Bytes& m_b;
    const QString& m_path;
    int m_width;
    int m_height;
    std::vector<uint8_t> m_pixels;
    std::array<QRgb, 256> m_palette;
};

} // namespace

QImage decodeFlic(const QByteArray& bytes, const QString& path) {
    const Bytes b(bytes);
    if (!b.has(0, kHeaderSize))
        throw ReadError(path, damagedFile(QStringLiteral("the header is incomplete")));
    const uint16_t magic = b.le16(4);
    if (magic != 0xaf11 && magic != 0xaf12)
        throw ReadError(path, QStringLiteral("the file is not an Autodesk FLIC file"));
    const int width = b.le16(8);
    const int height = b.le16(10);
    const int depth = b.le16(12);
    checkImageSize(path, width, height);
    if (depth != 8 && depth != 0)
        throw ReadError(
            path, QStringLiteral("FLIC files of %1 bits a pixel are not supported").arg(depth));

    // Runs pack at most about 64 pixels into a byte; a cleared frame needs
    // no bytes at all, so small frames pass whatever the file's size.
    if (int64_t(width) * height > std::max<int64_t>(4'000'000, int64_t(b.size()) * 130))
        throw ReadError(path, damagedFile(QStringLiteral("%1 x %2 pixels from a file of %3 bytes")
                                              .arg(width)
                                              .arg(height)
                                              .arg(b.size())));

    // Skip the prefix chunk and anything else up to the first frame.
    qsizetype pos = kHeaderSize;
    for (;;) {
        if (!b.has(pos, 6))
            throw ReadError(path, damagedFile(QStringLiteral("the file holds no frame")));
        const qsizetype size = b.le32(pos);
        if (size < 6 || !b.has(pos, size))
            throw ReadError(path,
                            damagedFile(QStringLiteral("the chunk at byte %1 runs past the end "
                                                       "of the file")
                                            .arg(pos)));
        if (b.le16(pos + 4) == kFrameType)
            break;
        pos += size;
    }
    const qsizetype frameEnd = pos + b.le32(pos);
    if (frameEnd - pos < kFrameHeader)
        throw ReadError(path,
                        damagedFile(QStringLiteral("the frame at byte %1 is cut short").arg(pos)));
    const int chunks = b.le16(pos + 6);
    Frame frame(b, path, width, height);
    pos += kFrameHeader;
    for (int i = 0; i < chunks && pos < frameEnd; ++i) {
        const qsizetype size = b.le32(pos);
        if (frameEnd - pos < 6 || size < 6 || size > frameEnd - pos)
            throw ReadError(path, damagedFile(QStringLiteral("the chunk at byte %1 runs past its "
                                                             "frame")
                                                  .arg(pos)));
        frame.apply(b.le16(pos + 4), pos + 6, pos + size);
        pos += size;
    }
    return frame.image();
}

} // namespace dv::raster
