#include "formats/Reader.h"

#include "DwgDrawing.h"
#include "DwgPreR13.h"
#include "DwgSections.h"
#include "formats/common/FileBytes.h"
#include "formats/dxf/DxfContext.h"
#include "formats/dxf/DxfSections.h"

namespace dv {

// DWG drawings: the container yields the sections, the object layer turns
// them into the groups of the same drawing in DXF, and the DXF parser builds
// the document from those, so that both formats share every entity's
// meaning.

namespace {

struct Release {
    const char* tag;
    const char* name;
};

// The first six bytes of a DWG file name the release that wrote it.
constexpr Release kReleases[] = {
    {"AC1.2", "AutoCAD 1.2"},      {"AC1.40", "AutoCAD 1.40"}, {"AC1.50", "AutoCAD 2.05"},
    {"AC2.10", "AutoCAD 2.10"},    {"AC1001", "AutoCAD 2.22"}, {"AC1002", "AutoCAD 2.5"},
    {"AC1003", "AutoCAD 2.6"},     {"AC1004", "AutoCAD R9"},   {"AC1006", "AutoCAD R10"},
    {"AC1009", "AutoCAD R11/R12"}, {"AC1012", "AutoCAD R13"},  {"AC1014", "AutoCAD R14"},
    {"AC1015", "AutoCAD 2000"},    {"AC1018", "AutoCAD 2004"}, {"AC1021", "AutoCAD 2007"},
    {"AC1024", "AutoCAD 2010"},    {"AC1027", "AutoCAD 2013"}, {"AC1032", "AutoCAD 2018"},
};

const Release* releaseOf(const QByteArray& head) {
    for (const Release& r : kReleases)
        if (head.startsWith(r.tag))
            return &r;
    return nullptr;
}

// "AC10" and two digits: a release this table does not know yet.
bool looksLikeDwg(const QByteArray& head) {
    return head.size() >= 6 && head.startsWith("AC10") && QChar(head[4]).isDigit() &&
           QChar(head[5]).isDigit();
}

dwg::Sections readContainer(const QByteArray& bytes, const QString& path) {
    const QByteArray tag = bytes.left(6);
    const char* data = bytes.constData();
    const size_t size = size_t(bytes.size());
    if (tag == "AC1012" || tag == "AC1014" || tag == "AC1015")
        return dwg::readR13Container(data, size);
    if (tag == "AC1018" || tag == "AC1024" || tag == "AC1027" || tag == "AC1032")
        return dwg::readR2004Container(data, size);
    if (tag == "AC1021")
        return dwg::readR2007Container(data, size);
    QString what;
    if (const Release* r = releaseOf(tag))
        what = QStringLiteral("DWG drawings of %1 are not supported").arg(QLatin1String(r->name));
    else if (looksLikeDwg(tag))
        what = QStringLiteral("DWG version %1 is not supported").arg(QString::fromLatin1(tag));
    else
        what = QStringLiteral("not a DWG file (no version at its start)");
    throw ReadError(path, what);
}

class DwgReader : public Reader {
public:
    QString name() const override { return QStringLiteral("DWG"); }

    int score(const QByteArray& head, const QString& suffix) const override {
        if (releaseOf(head) || looksLikeDwg(head))
            return kUnsharedSignature;
        return suffix.compare(QLatin1String("dwg"), Qt::CaseInsensitive) == 0 ? 40 : 0;
    }

    std::unique_ptr<Document> read(const QString& path, const ProgressFn& progress) const override {
        if (progress)
            progress(0);
        // Pages are mapped as the reader reaches them: previews and sections
        // that are not drawn are never read.
        const FileBytes file(path, FileBytes::Pages::OnDemand);
        const QByteArray bytes = file.view();
        auto doc = std::make_unique<Document>();
        doc->kind = Document::Kind::Drawing;
        doc->format = QStringLiteral("DWG");
        doc->fileName = path;
        try {
            dwg::DecodedDrawing decoded;
            auto decodeProgress = [&](int p) {
                if (progress)
                    progress(p * 7 / 10);
            };
            dwg::Sections sections;
            if (dwg::isPreR13(bytes.left(6)))
                dwg::decodePreR13(bytes, decoded, decodeProgress);
            else {
                sections = readContainer(bytes, path);
                dwg::decodeDrawing(sections, decoded, decodeProgress);
                // The groups hold copies of what they need; the parser can
                // have the sections' memory.
                sections.header = sections.classes = sections.handles = sections.objects = {};
                sections.storage.reset();
            }
            dxf::DxfContext ctx(*doc);
            dxf::Cursor cursor(decoded.groups.ranges());
            dxf::DxfParser parser(ctx, cursor, [&](int p) {
                if (progress)
                    progress(70 + p * 3 / 10);
            });
            parser.parse();
            doc->header[QStringLiteral("$ACADVER")] = QString::fromLatin1(bytes.left(6));
            if (!dwg::isPreR13(bytes.left(6)))
                doc->header[QStringLiteral("$ACADMAINTVER")] =
                    QString::number(sections.maintenance);
            for (const auto& [what, count] : decoded.skipped)
                doc->skippedEntities[QString::fromStdString(what)] += count;
            for (const std::string& p : sections.problems)
                doc->problems.push_back(QString::fromStdString(p));
        } catch (const dwg::FormatError& e) {
            const Release* r = releaseOf(bytes.left(6));
            throw ReadError(path, QStringLiteral("%1 (%2 format)")
                                      .arg(QString::fromStdString(e.what()),
                                           QLatin1String(r ? r->name : "DWG")));
        } catch (const dxf::SyntaxError& e) {
            throw ReadError(path, QString::fromStdString(e.what()));
        }
        doc->finish();
        return doc;
    }
};

} // namespace

std::unique_ptr<Reader> makeDwgReader() {
    return std::make_unique<DwgReader>();
}

} // namespace dv
