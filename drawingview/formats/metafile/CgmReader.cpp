#include "CgmReader.h"

#include "CgmBinary.h"
#include "CgmClearText.h"
#include "CgmInterpreter.h"

#include <QFile>

namespace dv {

namespace {

class CgmReader : public Reader {
public:
    QString name() const override { return QStringLiteral("CGM"); }

    int score(const QByteArray& head, const QString& suffix) const override {
        if (sniffCgm(head) != 0)
            return 100;
        return suffix.compare(QLatin1String("cgm"), Qt::CaseInsensitive) == 0 ? 50 : 0;
    }

    std::unique_ptr<Document> read(const QString& path, const ProgressFn& progress) const override {
        QFile file(path);
        if (!file.open(QIODevice::ReadOnly))
            throw ReadError(path, file.errorString());
        return readCgmBytes(file.readAll(), path, progress);
    }
};

} // namespace

int sniffCgm(const QByteArray& head) {
    if (head.size() >= 2) {
        const unsigned w = (unsigned(uint8_t(head[0])) << 8) | uint8_t(head[1]);
        if ((w >> 12) == 0 && ((w >> 5) & 0x7F) == 1)
            return 2;
    }
    const QByteArray text = head.trimmed();
    if (text.left(5).toUpper() == "BEGMF")
        return 1;
    return 0;
}

namespace {

// Applies the elements of either encoding; returns what stopped it early,
// or an empty string when END METAFILE was reached.
template <class Stream>
QString interpret(Stream& stream, cgm::Interpreter& interpreter, const ProgressFn& progress) {
    cgm::Element element;
    int lastPercent = -1;
    bool inElement = false;
    try {
        while (!interpreter.ended()) {
            inElement = false;
            if (!stream.next(element))
                break;
            inElement = true;
            interpreter.apply(element);
            const int percent = int(stream.offset() * 100 / std::max<size_t>(1, stream.size()));
            if (percent != lastPercent && progress) {
                progress(percent);
                lastPercent = percent;
            }
        }
    } catch (const cgm::FormatError& e) {
        const QString what = QString::fromStdString(e.what());
        if (inElement)
            return QStringLiteral("%1 at byte offset %2: %3")
                .arg(element.label.isEmpty() ? cgm::elementName(element.cls, element.id)
                                             : element.label)
                .arg(element.offset)
                .arg(what);
        return QStringLiteral("damaged at byte offset %1: %2").arg(stream.elementStart()).arg(what);
    }
    if (!interpreter.ended())
        return QStringLiteral("the file ends at byte offset %1 before END METAFILE")
            .arg(stream.size());
    return {};
}

} // namespace

std::unique_ptr<Document> readCgmBytes(const QByteArray& bytes, const QString& path,
                                       const ProgressFn& progress) {
    const int kind = sniffCgm(bytes.left(4096));
    if (kind == 0)
        throw ReadError(path, QStringLiteral("not a CGM file: it does not begin with BEGIN "
                                             "METAFILE"));

    auto doc = std::make_unique<Document>();
    doc->kind = Document::Kind::Drawing;
    doc->format = QStringLiteral("CGM");
    doc->fileName = path;
    doc->exactColors = true;

    cgm::Interpreter interpreter(*doc);
    QString problem;
    if (kind == 2) {
        cgm::ElementStream stream(bytes.constData(), size_t(bytes.size()));
        problem = interpret(stream, interpreter, progress);
    } else {
        cgm::ClearTextStream stream(bytes.constData(), size_t(bytes.size()));
        interpreter.setPrecisions(cgm::ClearTextStream::precisions());
        problem = interpret(stream, interpreter, progress);
    }
    if (!problem.isEmpty()) {
        // Whole pictures before the damage are kept, the damage noted.
        if (interpreter.picturesDone() == 0)
            throw ReadError(path, problem);
        ++doc->skippedEntities[QStringLiteral("unreadable rest of the file (%1)").arg(problem)];
    }
    try {
        // A figure left open at the end is closed here, and may be damaged too.
        interpreter.finishOpenPicture();
    } catch (const cgm::FormatError& e) {
        if (interpreter.picturesDone() == 0)
            throw ReadError(path, QString::fromStdString(e.what()));
        ++doc->skippedEntities[QStringLiteral("unreadable rest of the file (%1)")
                                   .arg(QString::fromStdString(e.what()))];
    }
    if (doc->layouts.empty())
        throw ReadError(path, QStringLiteral("the metafile holds no picture"));
    doc->activeLayout = 0;
    doc->header[QStringLiteral("$INSUNITS")] =
        interpreter.anyMetric() ? QStringLiteral("4") : QStringLiteral("0");
    doc->finish();
    if (progress)
        progress(100);
    return doc;
}

std::unique_ptr<Reader> makeCgmReader() {
    return std::make_unique<CgmReader>();
}

} // namespace dv
