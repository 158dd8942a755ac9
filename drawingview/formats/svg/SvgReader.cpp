#include "SvgReader.h"

#include "SvgDocument.h"
#include "SvgSource.h"

#include <QFile>

namespace dv {

namespace {

// Compressed files beyond this are refused before reading; unpacked ones
// are bounded by svg::kMaxInflatedBytes as well.
constexpr qint64 kMaxFileBytes = svg::kMaxInflatedBytes;

class SvgReader : public Reader {
public:
    QString name() const override { return QStringLiteral("SVG"); }

    int score(const QByteArray& head, const QString& suffix) const override {
        if (svg::looksLikeSvg(svg::sniffHead(head)))
            return 100;
        return suffix == QLatin1String("svg") || suffix == QLatin1String("svgz") ? 50 : 0;
    }

    std::unique_ptr<Document> read(const QString& path, const ProgressFn& progress) const override {
        QFile file(path);
        if (!file.open(QIODevice::ReadOnly))
            throw ReadError(path, file.errorString());
        if (file.size() > kMaxFileBytes)
            throw ReadError(path, QStringLiteral("the file is larger than %1 MB; it is refused")
                                      .arg(kMaxFileBytes >> 20));
        return readSvgBytes(file.readAll(), path, progress);
    }
};

} // namespace

std::unique_ptr<Document> readSvgBytes(const QByteArray& bytes, const QString& fileName,
                                       const ProgressFn& progress) {
    if (bytes.isEmpty())
        throw ReadError(fileName, QStringLiteral("the file is empty"));
    if (svg::isGzip(bytes))
        return svg::buildDocument(svg::inflateGzip(bytes, fileName), fileName, progress);
    return svg::buildDocument(bytes, fileName, progress);
}

std::unique_ptr<Reader> makeSvgReader() {
    return std::make_unique<SvgReader>();
}

} // namespace dv
