#include "formats/Reader.h"

#include "DxfContext.h"
#include "DxfSections.h"
#include "DxfTokenizer.h"

#include <QFile>

#include <cstring>

namespace dv {

namespace {

constexpr char kBinarySentinel[] = "AutoCAD Binary DXF";

bool isBinaryDxf(const char* data, size_t size) {
    const size_t n = sizeof(kBinarySentinel) - 1;
    return size >= n && std::memcmp(data, kBinarySentinel, n) == 0;
}

// True when the first pair after any 999 comments is "0 / SECTION". Only
// `head` (the first bytes) is looked at, so a cut-off pair is not an error.
bool startsLikeDxf(const char* data, size_t size) {
    try {
        dxf::Tokenizer tok(data, size);
        dxf::Group g;
        if (!tok.next(g))
            return false;
        return g.code == 0 && dxf::equalsNoCase(dxf::trimmed(g.value), "SECTION");
    } catch (const dxf::SyntaxError&) {
        return false;
    }
}

class DxfReader : public Reader {
public:
    QString name() const override { return QStringLiteral("DXF"); }

    int score(const QByteArray& head, const QString& suffix) const override {
        if (isBinaryDxf(head.constData(), size_t(head.size())) ||
            startsLikeDxf(head.constData(), size_t(head.size())))
            return 100;
        return suffix.compare(QLatin1String("dxf"), Qt::CaseInsensitive) == 0 ? 50 : 0;
    }

    std::unique_ptr<Document> read(const QString& path, const ProgressFn& progress) const override {
        QFile file(path);
        if (!file.open(QIODevice::ReadOnly))
            throw ReadError(path, file.errorString());
        // Mapping avoids a copy of large files; small or special files are read.
        QByteArray buffer;
        const char* data = nullptr;
        const size_t size = size_t(file.size());
        if (size > 0)
            data = reinterpret_cast<const char*>(file.map(0, qint64(size)));
        if (!data) {
            buffer = file.readAll();
            data = buffer.constData();
        }
        const size_t length = data == buffer.constData() ? size_t(buffer.size()) : size;
        if (isBinaryDxf(data, length))
            throw ReadError(path, QStringLiteral("binary DXF is not supported yet"));
        if (!startsLikeDxf(data, std::min<size_t>(length, 1 << 16)))
            throw ReadError(path, QStringLiteral("not a DXF file"));

        auto doc = std::make_unique<Document>();
        doc->kind = Document::Kind::Drawing;
        doc->format = QStringLiteral("DXF");
        doc->fileName = path;
        try {
            dxf::Tokenizer tokenizer(data, length);
            dxf::Cursor cursor(tokenizer);
            dxf::DxfContext ctx(*doc);
            dxf::DxfParser parser(ctx, cursor, progress);
            parser.parse();
        } catch (const dxf::SyntaxError& e) {
            throw ReadError(path, QString::fromStdString(e.what()));
        }
        doc->finish();
        return doc;
    }
};

} // namespace

std::unique_ptr<Reader> makeDxfReader() {
    return std::make_unique<DxfReader>();
}

} // namespace dv
