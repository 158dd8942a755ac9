#include "DxfReader.h"

#include "DxfBinary.h"
#include "DxfContext.h"
#include "DxfGroupPipe.h"
#include "DxfSections.h"
#include "DxfTokenizer.h"

#include "formats/common/FileBytes.h"
#include "model/Parallel.h"

#include <cstring>

namespace dv {

namespace {

// Below this a second thread costs more than it saves.
constexpr size_t kReadAheadBytes = size_t(1) << 20;

template <typename Source>
void parseGroups(dxf::DxfContext& ctx, Source& source, const ProgressFn& progress) {
    dxf::Cursor cursor(source);
    dxf::DxfParser parser(ctx, cursor, progress);
    parser.parse();
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
        if (dxf::isBinaryDxf(head.constData(), size_t(head.size())) ||
            startsLikeDxf(head.constData(), size_t(head.size())))
            return 100;
        return suffix.compare(QLatin1String("dxf"), Qt::CaseInsensitive) == 0 ? 50 : 0;
    }

    std::unique_ptr<Document> read(const QString& path, const ProgressFn& progress) const override {
        const FileBytes bytes(path, FileBytes::Pages::Ahead);
        return readDxfBytes(bytes.data(), bytes.size(), path, progress);
    }
};

} // namespace

std::unique_ptr<Document> readDxfBytes(const char* data, size_t length, const QString& path,
                                       const ProgressFn& progress) {
    const bool binary = dxf::isBinaryDxf(data, length);
    if (binary && (length < dxf::kBinarySentinelSize ||
                   std::memcmp(data, dxf::kBinarySentinel, dxf::kBinarySentinelSize) != 0))
        throw ReadError(path, QStringLiteral("malformed at byte offset 0: the binary DXF "
                                             "sentinel is damaged or cut off"));
    if (!binary && !startsLikeDxf(data, std::min<size_t>(length, 1 << 16)))
        throw ReadError(path, QStringLiteral("not a DXF file"));

    auto doc = std::make_unique<Document>();
    doc->kind = Document::Kind::Drawing;
    doc->format = QStringLiteral("DXF");
    doc->fileName = path;
    try {
        dxf::DxfContext ctx(*doc);
        if (binary) {
            dxf::BinaryTokenizer tokenizer(data, length);
            parseGroups(ctx, tokenizer, progress);
        } else if (length >= kReadAheadBytes && workerCount() > 1) {
            dxf::GroupPipe pipe(data, length);
            parseGroups(ctx, pipe, progress);
        } else {
            dxf::Tokenizer tokenizer(data, length);
            parseGroups(ctx, tokenizer, progress);
        }
    } catch (const dxf::SyntaxError& e) {
        throw ReadError(path, QString::fromStdString(e.what()));
    }
    doc->finish();
    return doc;
}

std::unique_ptr<Reader> makeDxfReader() {
    return std::make_unique<DxfReader>();
}

} // namespace dv
