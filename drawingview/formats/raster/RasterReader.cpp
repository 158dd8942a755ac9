#include "RasterReader.h"
#include "RasterDecoders.h"
#include "RasterFormat.h"
#include "RasterPyramid.h"

#include "formats/Reader.h"

#include <QFile>
#include <QFileInfo>

namespace dv {

namespace {

using namespace raster;

QImage decodeOwn(const QByteArray& bytes, const QString& path, const RasterFormat& format) {
    switch (format.decoder) {
    case Decoder::Rla:
        return decodeRla(bytes, path);
    case Decoder::Animator:
        return decodeAnimator(bytes, path);
    case Decoder::Flic:
        return decodeFlic(bytes, path);
    case Decoder::Psp:
        return decodePsp(bytes, path);
    case Decoder::Palette:
        throw ReadError(path,
                        QStringLiteral("a %1 file holds colours, not a picture").arg(format.name));
    case Decoder::Unsupported:
        throw ReadError(path,
                        QStringLiteral("the %1 image format is not supported").arg(format.name));
    default:
        throw ReadError(path,
                        QStringLiteral("the %1 image is read from files only").arg(format.name));
    }
}

std::unique_ptr<Document> makeDocument(QImage image, const QString& path,
                                       const RasterFormat& format, const ProgressFn& progress) {
    progress(60);
    auto doc = std::make_unique<Document>();
    doc->kind = Document::Kind::Raster;
    doc->fileName = path;
    doc->format = format.name;
    doc->rasterPyramid =
        buildPyramid(image, 256, [&](int percent) { progress(60 + percent * 39 / 100); });
    doc->raster = std::move(image);
    doc->finish();
    progress(100);
    return doc;
}

// Content decides, the suffix only when the bytes say nothing; formats known
// but not decoded are claimed too, so the user learns which format it was.
class RasterReader : public Reader {
public:
    QString name() const override { return QStringLiteral("Raster image"); }

    int score(const QByteArray& head, const QString& suffix) const override {
        // The registry hands over at most 4096 bytes: a shorter head is the
        // whole file, whose end may carry a footer signature.
        const QByteArray tail = head.size() < 4096 ? head.right(kTailSize) : QByteArray();
        if (const auto f = identifyByContent(head, tail))
            return f->decoder == Decoder::Unsupported ? 60 : 110;
        return identifyBySuffix(suffix.toLower()) ? 50 : 0;
    }

    std::unique_ptr<Document> read(const QString& path, const ProgressFn& progress) const override {
        progress(0);
        const RasterFormat format = identifyFile(path);
        QImage image;
        switch (format.decoder) {
        case Decoder::Qt:
            image = decodeWithQt(path, format);
            break;
        case Decoder::HeaderlessDib:
            image = decodeHeaderlessDib(path);
            break;
        case Decoder::Magick:
            image = decodeWithMagick(path, format);
            break;
        default:
            image = decodeOwn(readWholeFile(path), path, format);
            break;
        }
        return makeDocument(std::move(image), path, format, progress);
    }

private:
    static RasterFormat identifyFile(const QString& path) {
        QFile file(path);
        if (!file.open(QIODevice::ReadOnly))
            throw ReadError(path, file.errorString());
        const QByteArray head = file.read(4096);
        QByteArray tail;
        if (file.size() > kTailSize && file.seek(file.size() - kTailSize))
            tail = file.read(kTailSize);
        else
            tail = head;
        const auto format = identify(head, tail, QFileInfo(path).suffix().toLower());
        if (!format)
            throw ReadError(path, QStringLiteral("the file is not an image of a known format"));
        return *format;
    }
};

} // namespace

std::unique_ptr<Document> readRasterBytes(const QByteArray& bytes, const QString& fileName,
                                          const ProgressFn& progress) {
    const ProgressFn report = progress ? progress : ProgressFn([](int) {});
    report(0);
    const auto format =
        identify(bytes.left(4096), bytes.right(kTailSize), QFileInfo(fileName).suffix().toLower());
    if (!format)
        throw ReadError(fileName, QStringLiteral("the file is not an image of a known format"));
    try {
        return makeDocument(decodeOwn(bytes, fileName, *format), fileName, *format, report);
    } catch (const std::bad_alloc&) {
        throw ReadError(fileName, QStringLiteral("the file is too large to read into memory"));
    }
}

std::unique_ptr<Reader> makeRasterReader() {
    return std::make_unique<RasterReader>();
}

} // namespace dv
