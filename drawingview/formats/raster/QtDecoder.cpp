#include "RasterDecoders.h"

#include "formats/Reader.h"

#include <QBuffer>
#include <QFile>
#include <QImageReader>

namespace dv::raster {

namespace {

QString damaged(const QString& detail) {
    return QStringLiteral("the file is damaged or truncated (%1)").arg(detail);
}

QImage readWith(QImageReader& reader, const QString& path) {
    reader.setAutoTransform(true);
    // Qt's default limit (256 MB) would refuse a 20,000 x 20,000 image. A
    // 16-bit image decodes at 8 bytes a pixel before it is converted to 4.
    reader.setAllocationLimit(int(kMaxDecodeBytes >> 20));
    const QSize size = reader.size();
    if (size.isValid()) {
        checkImageSize(path, size.width(), size.height());
        const int depth = QImage::toPixelFormat(reader.imageFormat()).bitsPerPixel();
        const int64_t decodeBytes = int64_t(size.width()) * size.height() * depth / 8;
        if (decodeBytes > kMaxDecodeBytes)
            throw ReadError(path, QStringLiteral("the image is too large to decode (%1 x %2 "
                                                 "pixels of %3 bits)")
                                      .arg(size.width())
                                      .arg(size.height())
                                      .arg(depth));
    }
    QImage image;
    if (!reader.read(&image) || image.isNull())
        throw ReadError(path, damaged(reader.errorString()));
    checkImageSize(path, image.width(), image.height());
    toDisplayFormat(image);
    if (image.isNull())
        throw ReadError(path, QStringLiteral("the image is too large to convert in memory"));
    return image;
}

uint32_t le32(const QByteArray& b, int i) {
    return uint32_t(uint8_t(b[i])) | uint32_t(uint8_t(b[i + 1])) << 8 |
           uint32_t(uint8_t(b[i + 2])) << 16 | uint32_t(uint8_t(b[i + 3])) << 24;
}
uint16_t le16(const QByteArray& b, int i) {
    return uint16_t(uint8_t(b[i]) | uint8_t(b[i + 1]) << 8);
}
void putLe32(QByteArray& b, uint32_t v) {
    for (int i = 0; i < 4; ++i)
        b.append(char((v >> (8 * i)) & 0xff));
}

} // namespace

QImage decodeWithQt(const QString& path, const RasterFormat& format) {
    QImageReader reader(path, format.codec);
    reader.setDecideFormatFromContent(false);
    return readWith(reader, path);
}

QByteArray bmpFileHeaderFor(const QByteArray& dib) {
    if (dib.size() < 16)
        return {};
    const uint32_t headerSize = le32(dib, 0);
    uint32_t paletteBytes = 0;
    uint32_t maskBytes = 0;
    if (headerSize == 12) {
        const uint16_t bits = le16(dib, 10);
        paletteBytes = bits <= 8 ? 3u << bits : 0;
    } else if (headerSize >= 40 && headerSize <= 124 && dib.size() >= 40) {
        const uint16_t bits = le16(dib, 14);
        const uint32_t compression = le32(dib, 16);
        const uint32_t used = std::min<uint32_t>(le32(dib, 32), 256);
        const uint32_t entries = used ? used : (bits <= 8 ? 1u << bits : 0);
        paletteBytes = 4 * entries;
        if (headerSize == 40 && compression == 3)
            maskBytes = 12;
        else if (headerSize == 40 && compression == 6)
            maskBytes = 16;
    } else {
        return {};
    }
    QByteArray header("BM");
    putLe32(header, uint32_t(14 + dib.size()));
    putLe32(header, 0);
    putLe32(header, 14 + headerSize + maskBytes + paletteBytes);
    return header;
}

QImage decodeHeaderlessDib(const QString& path) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        throw ReadError(path, file.errorString());
    if (file.size() > kMaxBytes)
        throw ReadError(path, QStringLiteral("the file is too large"));
    const QByteArray dib = file.readAll();
    const QByteArray header = bmpFileHeaderFor(dib);
    if (header.isEmpty())
        throw ReadError(path, damaged(QStringLiteral("unknown bitmap header")));
    QByteArray bmp = header + dib;
    QBuffer buffer(&bmp);
    buffer.open(QIODevice::ReadOnly);
    QImageReader reader(&buffer, "bmp");
    return readWith(reader, path);
}

} // namespace dv::raster
