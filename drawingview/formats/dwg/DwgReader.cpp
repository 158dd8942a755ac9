#include "formats/Reader.h"

#include <QFile>

namespace dv {

// DWG drawings are not read yet. This reader claims them, by their version
// string or by their suffix, so that the user is told so plainly instead of
// learning that the bytes match no format.

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

class DwgReader : public Reader {
public:
    QString name() const override { return QStringLiteral("DWG"); }

    int score(const QByteArray& head, const QString& suffix) const override {
        if (releaseOf(head) || looksLikeDwg(head))
            return 120;
        return suffix.compare(QLatin1String("dwg"), Qt::CaseInsensitive) == 0 ? 40 : 0;
    }

    std::unique_ptr<Document> read(const QString& path, const ProgressFn& progress) const override {
        progress(0);
        QFile file(path);
        if (!file.open(QIODevice::ReadOnly))
            throw ReadError(path, file.errorString());
        const QByteArray head = file.read(6);
        QString version;
        if (const Release* r = releaseOf(head))
            version = QStringLiteral(" (%1 format)").arg(QLatin1String(r->name));
        else if (looksLikeDwg(head))
            version = QStringLiteral(" (version %1)").arg(QString::fromLatin1(head));
        throw ReadError(path, QStringLiteral("DWG drawings are not supported yet%1").arg(version));
    }
};

} // namespace

std::unique_ptr<Reader> makeDwgReader() {
    return std::make_unique<DwgReader>();
}

} // namespace dv
