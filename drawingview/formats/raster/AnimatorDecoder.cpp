#include "RasterBytes.h"
#include "RasterDecoders.h"

#include "formats/Reader.h"

#include <algorithm>
#include <array>

namespace dv::raster {

// Autodesk Animator keeps a picture or a cel as a 32-byte header (magic
// 0x9119), a palette of 6-bit VGA levels and one palette index a pixel.
// Animator Pro's PIC has a 64-byte header (magic 0x9500 at offset 4) and
// chunks: a palette of 8-bit levels, index pixels, or a one-bit mask.

namespace {

using Palette = std::array<QRgb, 256>;

constexpr uint16_t kAnimatorMagic = 0x9119;
constexpr uint16_t kProMagic = 0x9500;
constexpr int kAnimatorHeader = 32;
constexpr int kProHeader = 64;

enum ProChunk : uint16_t { ColourMap = 0, BytePixels = 1, BitPixels = 2 };

Palette greyPalette() {
    Palette p;
    for (int i = 0; i < 256; ++i)
        p[size_t(i)] = qRgb(i, i, i);
    return p;
}

// VGA levels run 0..63.
int vga(uint8_t level) {
    return (std::min<int>(level, 63) * 255 + 31) / 63;
}

QImage indexed(const QString& path, int width, int height, const uint8_t* pixels,
               const Palette& palette) {
    checkImageSize(path, width, height);
    QImage image(width, height, QImage::Format_RGB32);
    if (image.isNull())
        throw std::bad_alloc();
    for (int y = 0; y < height; ++y) {
        auto* row = reinterpret_cast<QRgb*>(image.scanLine(y));
        const uint8_t* src = pixels + qsizetype(y) * width;
        for (int x = 0; x < width; ++x)
            row[x] = palette[src[x]];
    }
    return image;
}

QImage decodeOriginal(const Bytes& b, const QString& path) {
    if (!b.has(0, kAnimatorHeader))
        throw ReadError(path, damagedFile(QStringLiteral("the header is incomplete")));
    const int width = b.le16(2);
    const int height = b.le16(4);
    const int depth = b.u8(10);
    const int compression = b.u8(11);
    checkImageSize(path, width, height);
    if (depth != 8)
        throw ReadError(path, QStringLiteral("Animator pictures of %1 bits a pixel are not "
                                             "supported")
                                  .arg(depth));
    if (compression != 0)
        throw ReadError(path, QStringLiteral("compressed Animator pictures are not supported"));
    if (!b.has(kAnimatorHeader, 768))
        throw ReadError(path, damagedFile(QStringLiteral("the palette is incomplete")));
    Palette palette;
    for (int i = 0; i < 256; ++i) {
        const qsizetype at = kAnimatorHeader + 3 * i;
        palette[size_t(i)] = qRgb(vga(b.u8(at)), vga(b.u8(at + 1)), vga(b.u8(at + 2)));
    }
    const qsizetype pixelsAt = kAnimatorHeader + 768;
    const qsizetype needed = qsizetype(width) * height;
    if (!b.has(pixelsAt, needed))
        throw ReadError(path, damagedFile(QStringLiteral("%1 of %2 pixel bytes present")
                                              .arg(b.size() - pixelsAt)
                                              .arg(needed)));
    return indexed(path, width, height, b.at(pixelsAt), palette);
}

QImage decodePro(const Bytes& b, const QString& path) {
    if (!b.has(0, kProHeader))
        throw ReadError(path, damagedFile(QStringLiteral("the header is incomplete")));
    const int width = b.le16(6);
    const int height = b.le16(8);
    const int depth = b.u8(18);
    checkImageSize(path, width, height);
    if (depth != 8 && depth != 1)
        throw ReadError(path, QStringLiteral("Animator Pro pictures of %1 bits a pixel are not "
                                             "supported")
                                  .arg(depth));
    Palette palette = greyPalette();
    const uint8_t* bytePixels = nullptr;
    const uint8_t* bitPixels = nullptr;
    const qsizetype bitRow = (qsizetype(width) + 7) / 8;
    qsizetype pos = kProHeader;
    while (b.has(pos, 6)) {
        const qsizetype size = b.le32(pos);
        const int type = b.le16(pos + 4);
        if (size < 6 || !b.has(pos, size))
            throw ReadError(path, damagedFile(QStringLiteral("chunk at byte %1 runs past the end "
                                                             "of the file")
                                                  .arg(pos)));
        const qsizetype data = pos + 6;
        const qsizetype length = size - 6;
        if (type == ColourMap && length >= 2 + 768) {
            for (int i = 0; i < 256; ++i) {
                const qsizetype at = data + 2 + 3 * i;
                palette[size_t(i)] = qRgb(b.u8(at), b.u8(at + 1), b.u8(at + 2));
            }
        } else if (type == BytePixels && depth == 8) {
            if (length < qsizetype(width) * height)
                throw ReadError(
                    path,
                    damagedFile(QStringLiteral("the pixel chunk at byte %1 is short").arg(pos)));
            bytePixels = b.at(data);
        } else if (type == BitPixels && depth == 1) {
            if (length < bitRow * height)
                throw ReadError(
                    path,
                    damagedFile(QStringLiteral("the mask chunk at byte %1 is short").arg(pos)));
            bitPixels = b.at(data);
        }
        // Chunks are padded to an even length.
        pos += size + (size & 1);
    }
    if (bytePixels)
        return indexed(path, width, height, bytePixels, palette);
    if (!bitPixels)
        throw ReadError(path, damagedFile(QStringLiteral("the file holds no pixels")));
    // A mask: set bits white on black, the leftmost pixel in the high bit.
    QImage image(width, height, QImage::Format_RGB32);
    if (image.isNull())
        throw std::bad_alloc();
    for (int y = 0; y < height; ++y) {
        auto* row = reinterpret_cast<QRgb*>(image.scanLine(y));
        const uint8_t* src = bitPixels + qsizetype(y) * bitRow;
        for (int x = 0; x < width; ++x)
            row[x] = (src[x >> 3] >> (7 - (x & 7))) & 1 ? qRgb(255, 255, 255) : qRgb(0, 0, 0);
    }
    return image;
}

} // namespace

QImage decodeAnimator(const QByteArray& bytes, const QString& path) {
    const Bytes b(bytes);
    if (b.le16(0) == kAnimatorMagic)
        return decodeOriginal(b, path);
    if (b.le16(4) == kProMagic)
        return decodePro(b, path);
    throw ReadError(path, QStringLiteral("the file is not an Autodesk Animator picture"));
}

} // namespace dv::raster
