#include "RasterDecoders.h"

#include "formats/Reader.h"

#include <Magick++.h>

#include <QFile>

#include <mutex>

namespace dv::raster {

namespace {

void initialiseMagick() {
    static std::once_flag once;
    std::call_once(once, [] { Magick::InitializeMagick(nullptr); });
}

// ImageMagick's messages end in " @ error/coder.c/Function/line" and quote
// an empty file name for blobs; keep only the reason.
QString reason(const Magick::Exception& e) {
    QString text = QString::fromLocal8Bit(e.what());
    const int at = text.indexOf(QLatin1String(" @ "));
    if (at >= 0)
        text.truncate(at);
    text.remove(QLatin1String(" `'"));
    const int colon = text.indexOf(QLatin1String(": "));
    if (colon >= 0 && text.startsWith(QLatin1String("Magick")))
        text = text.mid(colon + 2);
    return text.trimmed();
}

void checkHeader(const QString& path, const RasterFormat& format, const Magick::Blob& blob) {
    const std::string coder = format.codec.toStdString();
    Magick::Image probe;
    probe.quiet(true);
    if (coder != "PCD")
        probe.subRange(1);
    probe.magick(coder);
    probe.ping(blob);
    checkImageSize(path, int64_t(probe.columns()), int64_t(probe.rows()));
    const auto widthLimit = int64_t(Magick::ResourceLimits::width());
    const auto heightLimit = int64_t(Magick::ResourceLimits::height());
    if (int64_t(probe.columns()) > widthLimit || int64_t(probe.rows()) > heightLimit)
        throw ReadError(path, QStringLiteral("the image is too large for the %1 reader (%2 x %3 "
                                             "pixels; at most %4 x %5)")
                                  .arg(format.name)
                                  .arg(probe.columns())
                                  .arg(probe.rows())
                                  .arg(widthLimit)
                                  .arg(heightLimit));
}

} // namespace

QImage decodeWithMagick(const QString& path, const RasterFormat& format) {
    initialiseMagick();
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        throw ReadError(path, file.errorString());
    if (file.size() > kMaxBytes)
        throw ReadError(path, QStringLiteral("the file is too large"));
    const QByteArray bytes = file.readAll();
    file.close();
    // Reading from memory with the coder named keeps ImageMagick from
    // interpreting the path ("[0]", "%d", "fmt:") or choosing a coder of
    // its own from the content.
    const Magick::Blob blob(bytes.constData(), size_t(bytes.size()));
    const std::string coder = format.codec.toStdString();
    try {
        // A header read first refuses oversized images before any pixels
        // are allocated. Raw fax data has no header: the coder decodes a
        // whole page even to ping, so there it would only double the work.
        if (coder != "FAX")
            checkHeader(path, format, blob);

        Magick::Image image;
        image.quiet(true);
        // Asked for one scene, the Photo CD coder gives its thumbnail
        // instead of the base image; it reads only that base image anyway.
        if (coder != "PCD")
            image.subRange(1);
        image.magick(coder);
        image.read(blob);
        const int64_t w = int64_t(image.columns());
        const int64_t h = int64_t(image.rows());
        checkImageSize(path, w, h);
        // Photo CD holds YCC and Photoshop may hold CMYK or Lab: the export
        // below hands over channel values as they are stored.
        const auto space = image.colorSpace();
        if (space != Magick::sRGBColorspace && space != Magick::RGBColorspace &&
            space != Magick::GRAYColorspace)
            image.colorSpace(Magick::sRGBColorspace);
        QImage out(int(w), int(h), QImage::Format_ARGB32);
        if (out.isNull())
            throw std::bad_alloc();
        // ARGB32 is one 0xAARRGGBB word per pixel, so its byte order follows
        // the machine's.
        const char* order = QSysInfo::ByteOrder == QSysInfo::LittleEndian ? "BGRA" : "ARGB";
        image.write(0, 0, size_t(w), size_t(h), order, Magick::CharPixel, out.bits());
        // Without an alpha channel the exported alpha is not to be trusted:
        // the TGA coder leaves it unset for colour-mapped pixels.
        if (!image.matte()) {
            auto* p = reinterpret_cast<uint32_t*>(out.bits());
            for (qsizetype i = 0, n = qsizetype(w) * h; i < n; ++i)
                p[i] |= 0xff000000u;
        }
        toDisplayFormat(out);
        return out;
    } catch (const Magick::ErrorResourceLimit& e) {
        throw ReadError(path, QStringLiteral("the image is too large to read (%1)").arg(reason(e)));
    } catch (const Magick::Exception& e) {
        throw ReadError(path,
                        QStringLiteral("the file is damaged or truncated (%1)").arg(reason(e)));
    }
}

} // namespace dv::raster
