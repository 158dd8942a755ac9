#include "RasterDecoders.h"

#include "formats/Reader.h"

#include <QFile>

namespace dv::raster {

void checkImageSize(const QString& path, int64_t width, int64_t height) {
    if (width <= 0 || height <= 0)
        throw ReadError(path, QStringLiteral("the file is damaged or truncated (the image "
                                             "has no pixels)"));
    if (width > kMaxSide || height > kMaxSide || width * height * 4 > kMaxBytes)
        throw ReadError(path, QStringLiteral("the image is too large (%1 x %2 pixels; at most "
                                             "%3 pixels on a side and %4 MB in memory)")
                                  .arg(width)
                                  .arg(height)
                                  .arg(kMaxSide)
                                  .arg(kMaxBytes >> 20));
}

QString damagedFile(const QString& detail) {
    return QStringLiteral("the file is damaged or truncated (%1)").arg(detail);
}

QByteArray readWholeFile(const QString& path) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        throw ReadError(path, file.errorString());
    if (file.size() > kMaxBytes)
        throw ReadError(path, QStringLiteral("the file is too large"));
    QByteArray bytes = file.readAll();
    if (bytes.size() != file.size())
        throw ReadError(path, file.errorString());
    return bytes;
}

namespace {

bool allOpaque(const QImage& image) {
    for (int y = 0; y < image.height(); ++y) {
        const auto* row = reinterpret_cast<const uint32_t*>(image.constScanLine(y));
        uint32_t alpha = 0xff000000u;
        for (int x = 0; x < image.width(); ++x)
            alpha &= row[x];
        if (alpha != 0xff000000u)
            return false;
    }
    return true;
}

} // namespace

void toDisplayFormat(QImage& image) {
    if (!image.hasAlphaChannel()) {
        if (image.format() != QImage::Format_RGB32)
            image.convertTo(QImage::Format_RGB32);
        return;
    }
    if (image.format() != QImage::Format_ARGB32 &&
        image.format() != QImage::Format_ARGB32_Premultiplied)
        image.convertTo(QImage::Format_ARGB32_Premultiplied);
    // Many files carry an alpha channel that is opaque throughout; RGB32
    // draws faster, and an opaque ARGB32 pixel is already a valid RGB32 one.
    if (allOpaque(image))
        image.reinterpretAsFormat(QImage::Format_RGB32);
    else if (image.format() == QImage::Format_ARGB32)
        image.convertTo(QImage::Format_ARGB32_Premultiplied);
}

} // namespace dv::raster
