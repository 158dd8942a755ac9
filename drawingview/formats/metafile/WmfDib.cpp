#include "WmfDib.h"

#include <QBuffer>
#include <QByteArray>
#include <QImageReader>

#include <cstdint>

namespace dv::wmf {

namespace {

// Bitmaps larger than this are refused rather than decoded.
constexpr int64_t kMaxPixels = 16 * 1024 * 1024;

uint32_t le32(const unsigned char* p) {
    return uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16 | uint32_t(p[3]) << 24;
}
uint16_t le16(const unsigned char* p) {
    return uint16_t(p[0] | p[1] << 8);
}

void put32(QByteArray& b, uint32_t v) {
    for (int i = 0; i < 4; ++i)
        b.append(char(v >> (8 * i) & 0xFF));
}

} // namespace

QImage decodeDib(const unsigned char* data, size_t size, QString& problem,
                 const std::vector<uint32_t>* paletteColors) {
    if (size < 12) {
        problem = QStringLiteral("the bitmap header is cut off");
        return {};
    }
    const uint32_t headerSize = le32(data);
    int64_t width = 0, height = 0;
    uint32_t bits = 0, compression = 0, colorsUsed = 0, imageSize = 0;
    size_t entrySize = 4;
    if (headerSize == 12) {
        width = le16(data + 4);
        height = int16_t(le16(data + 6));
        bits = le16(data + 10);
        entrySize = 3;
    } else if (headerSize >= 40 && headerSize <= 124 && size >= headerSize) {
        width = int32_t(le32(data + 4));
        height = int32_t(le32(data + 8));
        bits = le16(data + 14);
        compression = le32(data + 16);
        imageSize = le32(data + 20);
        colorsUsed = le32(data + 32);
    } else {
        problem = QStringLiteral("the bitmap header is damaged");
        return {};
    }
    const int64_t rows = height < 0 ? -height : height;
    if (width <= 0 || rows <= 0 || width * rows > kMaxPixels) {
        problem =
            QStringLiteral("the bitmap's size %1 x %2 is out of range").arg(width).arg(height);
        return {};
    }
    if (bits != 1 && bits != 4 && bits != 8 && bits != 16 && bits != 24 && bits != 32) {
        problem = QStringLiteral("%1 bits per pixel are not supported").arg(bits);
        return {};
    }
    if (colorsUsed > 256 || (bits > 8 && headerSize == 12))
        colorsUsed = 0;
    const size_t entries = bits <= 8 ? (colorsUsed ? colorsUsed : 1u << bits) : 0;
    if (paletteColors && entries > 0) {
        // Rewrite the index table as colours and decode that.
        const size_t indexBytes = entries * 2;
        if (headerSize + indexBytes > size) {
            problem = QStringLiteral("the bitmap's colour table is cut off");
            return {};
        }
        std::vector<unsigned char> copy(data, data + headerSize);
        for (size_t i = 0; i < entries; ++i) {
            const uint16_t index = le16(data + headerSize + 2 * i);
            const uint32_t rgb = index < paletteColors->size() ? (*paletteColors)[index] : 0;
            const unsigned char quad[4] = {uint8_t(rgb), uint8_t(rgb >> 8), uint8_t(rgb >> 16), 0};
            copy.insert(copy.end(), quad, quad + (headerSize == 12 ? 3 : 4));
        }
        copy.insert(copy.end(), data + headerSize + indexBytes, data + size);
        return decodeDib(copy.data(), copy.size(), problem);
    }
    size_t tableSize = entries * entrySize;
    if (compression == 3 && headerSize == 40)
        tableSize = 12; // the three channel masks follow the header
    const size_t bitsOffset = headerSize + tableSize;
    if (bitsOffset > size) {
        problem = QStringLiteral("the bitmap's colour table is cut off");
        return {};
    }
    const size_t available = size - bitsOffset;
    if (compression == 0 || compression == 3) {
        const int64_t stride = ((width * bits + 31) / 32) * 4;
        if (int64_t(available) < stride * rows) {
            problem = QStringLiteral("the bitmap's pixels are cut off");
            return {};
        }
    } else if (compression == 1 || compression == 2) {
        if ((compression == 1 && bits != 8) || (compression == 2 && bits != 4) || height < 0 ||
            imageSize > available) {
            problem = QStringLiteral("the run-length bitmap is damaged");
            return {};
        }
    } else {
        problem = QStringLiteral("bitmap compression %1 is not supported").arg(compression);
        return {};
    }

    // A file header in front turns the packed DIB into a BMP that Qt reads.
    QByteArray bmp;
    bmp.reserve(int(14 + size));
    bmp.append("BM");
    put32(bmp, uint32_t(14 + size));
    put32(bmp, 0);
    put32(bmp, uint32_t(14 + bitsOffset));
    bmp.append(reinterpret_cast<const char*>(data), qsizetype(size));
    QBuffer buffer(&bmp);
    buffer.open(QIODevice::ReadOnly);
    QImageReader reader(&buffer, "bmp");
    QImage image = reader.read();
    if (image.isNull()) {
        problem = QStringLiteral("the bitmap cannot be decoded (%1)").arg(reader.errorString());
        return {};
    }
    return image;
}

uint32_t averageRgb(const QImage& image) {
    if (image.isNull())
        return 0x808080;
    const QImage small = image.scaled(1, 1, Qt::IgnoreAspectRatio, Qt::SmoothTransformation)
                             .convertToFormat(QImage::Format_RGB32);
    return small.pixel(0, 0) & 0xFFFFFF;
}

} // namespace dv::wmf
