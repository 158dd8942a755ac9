#include "EmfReader.h"

#include "EmfRecords.h"
#include "formats/svg/SvgDocument.h"

#include <QFile>

#include <emf2svg.h>

#include <algorithm>
#include <climits>
#include <cstdlib>

namespace dv {

namespace {

constexpr qint64 kMaxFileBytes = qint64(512) << 20;

class EmfReader : public Reader {
public:
    QString name() const override { return QStringLiteral("EMF"); }

    int score(const QByteArray& head, const QString& suffix) const override {
        if (emf::looksLikeEmf(head))
            return 100;
        return suffix == QLatin1String("emf") ? 50 : 0;
    }

    std::unique_ptr<Document> read(const QString& path, const ProgressFn& progress) const override {
        QFile file(path);
        if (!file.open(QIODevice::ReadOnly))
            throw ReadError(path, file.errorString());
        if (file.size() > kMaxFileBytes)
            throw ReadError(path, QStringLiteral("the file is larger than %1 MB; it is refused")
                                      .arg(kMaxFileBytes >> 20));
        return readEmfBytes(file.readAll(), path, progress);
    }
};

// libemf2svg's output, freed with the C allocator it came from.
struct CBuffer {
    char* data = nullptr;
    size_t size = 0;
    ~CBuffer() { std::free(data); }
};

QByteArray toSvg(const QByteArray& emfBytes, const QString& fileName) {
    generatorOptions options{};
    options.nameSpace = nullptr;
    options.verbose = false;
    options.emfplus = true;
    options.svgDelimiter = true;
    options.imgWidth = 0;
    options.imgHeight = 0;
    // The library reads from a mutable buffer; give it a copy of its own.
    QByteArray copy = emfBytes;
    CBuffer svg;
    const int ok = emf2svg(copy.data(), size_t(copy.size()), &svg.data, &svg.size, &options);
    if (ok != 1 || !svg.data || svg.size == 0)
        throw ReadError(fileName, QStringLiteral("the EMF records cannot be converted"));
    return QByteArray(svg.data, qsizetype(svg.size));
}

} // namespace

std::unique_ptr<Document> readEmfBytes(const QByteArray& bytes, const QString& fileName,
                                       const ProgressFn& progress) {
    const auto report = [&](int p) {
        if (progress)
            progress(p);
    };
    report(0);
    const emf::Checked checked = emf::checkRecords(bytes, fileName);
    report(10);
    const QByteArray svgText = toSvg(checked.bytes, fileName);
    report(30);
    svg::BuildOptions options;
    options.format = QStringLiteral("EMF");
    options.frameMm = checked.frameMm;
    options.userToMm = checked.pixelsToMm;
    options.singleLayer = QStringLiteral("0");
    auto doc = svg::buildDocument(
        svgText, fileName, [&](int p) { report(30 + p * 70 / 100); }, options);
    if (checked.glyphIndexTexts > 0)
        doc->skippedEntities[QStringLiteral("EXTTEXTOUT (glyph indexes)")] +=
            int(std::min<int64_t>(checked.glyphIndexTexts, INT_MAX));
    return doc;
}

std::unique_ptr<Reader> makeEmfReader() {
    return std::make_unique<EmfReader>();
}

} // namespace dv
