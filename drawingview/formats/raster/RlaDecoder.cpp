#include "RasterDecoders.h"

#include "formats/Reader.h"

#include <algorithm>
#include <vector>

namespace dv::raster {

// Wavefront RLA: a 740-byte big-endian header, a table of scanline offsets
// (bottom scanline first), and per scanline one run-length coded block per
// channel. ImageMagick 6.9.11 rejects every RLA taller than one row, so the
// format is decoded here. 3ds Max's RPF is the same layout with another
// revision number, a block of render information between the header and the
// scanline table, and G-buffer channels after the colour and matte channels
// of each scanline; those channels are left unread.

namespace {

constexpr int kHeaderSize = 740;

// How far past the header the scanline table is looked for.
constexpr qsizetype kMaxExtraHeader = 64 * 1024;

QString damaged(const QString& detail) {
    return damagedFile(detail);
}

int be16(const QByteArray& b, qsizetype i) {
    return int16_t(uint16_t(uint8_t(b[i]) << 8 | uint8_t(b[i + 1])));
}

int64_t be32(const QByteArray& b, qsizetype i) {
    return int32_t(uint32_t(uint8_t(b[i])) << 24 | uint32_t(uint8_t(b[i + 1])) << 16 |
                   uint32_t(uint8_t(b[i + 2])) << 8 | uint32_t(uint8_t(b[i + 3])));
}

// Decodes one channel's block into `out` (one byte per pixel); returns false
// when the runs do not fit the block.
bool decodeChannel(const QByteArray& data, qsizetype pos, qsizetype end,
                   std::vector<uint8_t>& out) {
    const auto* p = reinterpret_cast<const uint8_t*>(data.constData());
    size_t x = 0;
    while (pos < end && x < out.size()) {
        const int count = int8_t(p[pos++]);
        if (count >= 0) {
            if (pos >= end)
                return false;
            const uint8_t value = p[pos++];
            for (int i = 0; i <= count && x < out.size(); ++i)
                out[x++] = value;
        } else {
            for (int i = 0; i < -count; ++i) {
                if (pos >= end)
                    return false;
                const uint8_t value = p[pos++];
                if (x < out.size())
                    out[x++] = value;
            }
        }
    }
    return true;
}

// The scanline table starts right after the header in RLA; RPF may put
// render information first. Its first entry points just past the table, as
// writers put the bottom scanline there, which marks where the table is.
qsizetype findScanlineTable(const QByteArray& data, int height) {
    const qsizetype last = std::min<qsizetype>(data.size() - 4, kHeaderSize + kMaxExtraHeader);
    for (qsizetype at = kHeaderSize; at <= last; ++at)
        if (be32(data, at) == at + qsizetype(height) * 4)
            return at;
    return kHeaderSize;
}

} // namespace

QImage decodeRla(const QByteArray& data, const QString& path) {
    if (data.size() < kHeaderSize)
        throw ReadError(path, damaged(QStringLiteral("the header is incomplete")));

    const int width = be16(data, 10) - be16(data, 8) + 1;
    const int height = be16(data, 14) - be16(data, 12) + 1;
    checkImageSize(path, width, height);
    const int colorChannels = be16(data, 20) == 0 ? 3 : be16(data, 20);
    const int matteChannels = be16(data, 22);
    const int bits = be16(data, 658);
    if (colorChannels != 1 && colorChannels != 3)
        throw ReadError(path, QStringLiteral("RLA images with %1 colour channels are not supported")
                                  .arg(colorChannels));
    if (matteChannels < 0 || matteChannels > 1)
        throw ReadError(path, damaged(QStringLiteral("%1 matte channels").arg(matteChannels)));
    if (bits != 8 && bits != 0)
        throw ReadError(
            path,
            QStringLiteral("RLA images with %1 bits per channel are not supported").arg(bits));
    const qsizetype tableStart = findScanlineTable(data, height);
    const qsizetype tableEnd = tableStart + qsizetype(height) * 4;
    if (tableEnd > data.size())
        throw ReadError(path, damaged(QStringLiteral("the scanline table is incomplete")));

    // Every run of up to 128 pixels takes two bytes at least.
    if (int64_t(width) * height > int64_t(data.size()) * 64)
        throw ReadError(path, damaged(QStringLiteral("%1 x %2 pixels from a file of %3 bytes")
                                          .arg(width)
                                          .arg(height)
                                          .arg(data.size())));
    QImage image(width, height, QImage::Format_ARGB32);
    if (image.isNull())
        throw std::bad_alloc();
    image.fill(0xff000000u);
    std::vector<uint8_t> channel(size_t(width), 0);
    for (int line = 0; line < height; ++line) {
        auto* row = reinterpret_cast<uint32_t*>(image.scanLine(height - 1 - line));
        qsizetype pos = be32(data, tableStart + qsizetype(line) * 4);
        for (int c = 0; c < colorChannels + matteChannels; ++c) {
            if (pos < tableEnd || pos + 2 > data.size())
                throw ReadError(
                    path, damaged(QStringLiteral("scanline %1 lies outside the file").arg(line)));
            const int length = be16(data, pos);
            pos += 2;
            if (length < 0 || pos + length > data.size())
                throw ReadError(path,
                                damaged(QStringLiteral("scanline %1 is cut short").arg(line)));
            std::fill(channel.begin(), channel.end(), uint8_t(c < colorChannels ? 0 : 255));
            if (!decodeChannel(data, pos, pos + length, channel))
                throw ReadError(path, damaged(QStringLiteral("bad runs in scanline %1").arg(line)));
            pos += length;
            // Grey images repeat their one channel into red, green and blue.
            const int shift = c >= colorChannels ? 24 : colorChannels == 1 ? -1 : 16 - 8 * c;
            for (int x = 0; x < width; ++x) {
                const uint32_t v = channel[size_t(x)];
                if (shift < 0)
                    row[x] = (row[x] & 0xff000000u) | v << 16 | v << 8 | v;
                else
                    row[x] = (row[x] & ~(0xffu << shift)) | v << shift;
            }
        }
    }
    toDisplayFormat(image);
    return image;
}

} // namespace dv::raster
