// Opening Enhanced Metafiles as drawings in millimetres, and refusing
// damaged record structures before the converter sees them.

#include "formats/Reader.h"
#include "formats/metafile/EmfReader.h"
#include "formats/metafile/EmfRecords.h"
#include "render/RenderScene.h"
#include "render/Renderer.h"

#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>
#include <QtEndian>

using namespace dv;

namespace {

const QString kData = QStringLiteral(TEST_DATA_DIR "/emf/");

QByteArray readFile(const QString& path) {
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

uint32_t u32(const QByteArray& b, int at) {
    return qFromLittleEndian<uint32_t>(b.constData() + at);
}

void put32(QByteArray& b, int at, uint32_t v) {
    qToLittleEndian(v, b.data() + at);
}

// Byte offset of the first record of `type` after the header.
int recordOffset(const QByteArray& b, uint32_t type) {
    for (int at = int(u32(b, 4)); at + 8 <= b.size(); at += int(u32(b, at + 4)))
        if (u32(b, at) == type)
            return at;
    return -1;
}

bool near(QColor a, QColor b, int tolerance = 40) {
    return std::abs(a.red() - b.red()) <= tolerance &&
           std::abs(a.green() - b.green()) <= tolerance &&
           std::abs(a.blue() - b.blue()) <= tolerance;
}

#define COMPARE_PIXEL(image, x, y, expected)                                                       \
    QVERIFY2(near((image).pixelColor(x, y), expected),                                             \
             qPrintable(QStringLiteral("pixel %1,%2 is %3")                                        \
                            .arg(x)                                                                \
                            .arg(y)                                                                \
                            .arg((image).pixelColor(x, y).name())))

} // namespace

class TestEmfReader : public QObject {
    Q_OBJECT

    QTemporaryDir m_dir;

    QString write(const QString& name, const QByteArray& bytes) {
        const QString path = m_dir.filePath(name);
        QFile f(path);
        if (f.open(QIODevice::WriteOnly))
            f.write(bytes);
        return path;
    }

private slots:
    void infoGivesTheFrameInMillimetres() {
        QProcess p;
        p.start(VISTREL_TOOL, {"info", kData + "shapes.emf"});
        QVERIFY(p.waitForFinished(60000));
        QCOMPARE(p.exitCode(), 0);
        const QJsonObject o = QJsonDocument::fromJson(p.readAllStandardOutput()).object();
        QCOMPARE(o["format"].toString(), QString("EMF"));
        QCOMPARE(o["kind"].toString(), QString("drawing"));
        QCOMPARE(o["header"].toObject()["$INSUNITS"].toString(), QString("4"));
        QCOMPARE(o["units"].toString(), QString("millimetres"));
        const QJsonArray extents = o["layouts"].toArray()[0].toObject()["extents"].toArray();
        QCOMPARE(extents, QJsonArray({0, 0, 100, 50}));
        QCOMPARE(o["layers"].toArray().size(), 1);
    }

    void shapesAreWhereTheRecordsPutThem() {
        std::shared_ptr<Document> doc = ReaderRegistry::builtin().load(kData + "shapes.emf");
        QVERIFY(doc->exactColors);
        RenderScene scene(doc);
        // 100 x 50 mm at 10 px/mm: one pixel per metafile unit.
        const QImage page = renderFitted(scene, 0, QSize(1000, 500), true);
        COMPARE_PIXEL(page, 200, 200, QColor(255, 0, 0));    // rectangle 50..350
        COMPARE_PIXEL(page, 550, 200, QColor(0, 0, 255));    // ellipse about 550,200
        COMPARE_PIXEL(page, 420, 70, QColor(255, 255, 255)); // outside the ellipse
        COMPARE_PIXEL(page, 850, 300, QColor(0, 160, 0));    // triangle
        COMPARE_PIXEL(page, 760, 100, QColor(255, 255, 255));
        // The one-unit black outline darkens the rectangle's edge.
        QVERIFY2(page.pixelColor(50, 200).red() < 160, qPrintable(page.pixelColor(50, 200).name()));
        int ink = 0;
        for (int y = 400; y < 500; ++y)
            for (int x = 40; x < 300; ++x)
                ink += qGray(page.pixel(x, y)) < 100;
        QVERIFY2(ink > 300, qPrintable(QString::number(ink))); // the text "EMF"
    }

    void damagedStructureIsRefused_data() {
        QTest::addColumn<QString>("file");
        QTest::addColumn<QString>("expected");
        QTest::newRow("truncated") << kData + "truncated.emf"
                                   << "cut off or damaged";
        QTest::newRow("size past the end") << kData + "damaged_size.emf"
                                           << "byte offset 108";
        QTest::newRow("point count") << kData + "damaged_count.emf"
                                     << "points run past";

        const QByteArray good = readFile(kData + "shapes.emf");
        QVERIFY(!good.isEmpty());
        QTest::newRow("no end-of-file record")
            << write("noeof.emf", good.left(good.size() - 20)) << "end-of-file record";
        QByteArray b = good;
        put32(b, int(u32(b, 4)) + 4, 10);
        QTest::newRow("size not whole words") << write("odd.emf", b) << "whole number of words";
        b = good;
        put32(b, int(u32(b, 4)), 9999);
        QTest::newRow("unknown type") << write("type.emf", b) << "type 9999";
        b = good;
        b[40] = 'X';
        QTest::newRow("no signature") << write("sig.emf", b) << "not an EMF";
        b = good;
        const int text = recordOffset(b, 84);
        QVERIFY(text > 0);
        put32(b, text + 44, 100000); // characters
        QTest::newRow("text length") << write("text.emf", b) << "characters run past";
        b = good;
        for (int i = 8; i < 40; ++i)
            b[i] = 0; // no bounds, no frame
        for (int i = 72; i < 88; ++i)
            b[i] = 0; // no reference device
        QTest::newRow("no size") << write("nosize.emf", b) << "neither a frame";
        b = good;
        const int eof = recordOffset(b, 14);
        b.insert(eof, b.mid(0, int(u32(b, 4))));
        QTest::newRow("second header") << write("twoheaders.emf", b) << "second header";
    }

    void damagedStructureIsRefused() {
        QFETCH(QString, file);
        QFETCH(QString, expected);
        QString message = "<loaded>";
        try {
            ReaderRegistry::builtin().load(file);
        } catch (const ReadError& e) {
            message = QString::fromStdString(e.what());
        }
        QVERIFY2(message.contains(file) && message.contains(expected), qPrintable(message));
    }

    void glyphIndexTextIsLeftOutNotFatal_data() {
        QTest::addColumn<QString>("file");
        QTest::newRow("made") << kData + "glyph_index.emf";
        QTest::newRow("found by fuzzing") << kData + "fuzz_fontconfig_shutdown.emf";
    }

    void glyphIndexTextIsLeftOutNotFatal() {
        // The converter would shut fontconfig down under Qt and abort.
        QFETCH(QString, file);
        std::shared_ptr<Document> doc = ReaderRegistry::builtin().load(file);
        QCOMPARE(doc->skippedEntities["EXTTEXTOUT (glyph indexes)"], 1);
        RenderScene scene(doc);
        const QImage page = renderFitted(scene, 0, QSize(1000, 500), true);
        COMPARE_PIXEL(page, 200, 200, QColor(255, 0, 0));
    }

    void farFlungContentLoads() {
        // Found by fuzzing: bounds near the int range made the recorded
        // picture's width overflow.
        std::shared_ptr<Document> doc =
            ReaderRegistry::builtin().load(kData + "fuzz_far_bounds.emf");
        const Box box = doc->layouts[0].extents;
        QVERIFY(box.isValid());
        QVERIFY(std::isfinite(box.width()) && std::isfinite(box.height()));
        QVERIFY(box.width() >= 100 && box.height() >= 50); // the frame at least
    }

    void emptyDescriptionNamesNoPlace() {
        // Found by fuzzing: an empty description with an offset past the
        // header sent the converter reading beyond the file.
        const QByteArray bytes = readFile(kData + "fuzz_empty_description.emf");
        QVERIFY(qFromLittleEndian<quint32>(bytes.constData() + 64) != 0);
        const emf::Checked checked = emf::checkRecords(bytes, kData);
        QCOMPARE(qFromLittleEndian<quint32>(checked.bytes.constData() + 64), 0u);
    }

    void bytesAfterTheEndAreIgnored() {
        QByteArray b = readFile(kData + "shapes.emf");
        const int size = int(b.size());
        b.append(QByteArray(100, '\xee'));
        const auto doc = readEmfBytes(b, "tail.emf");
        QCOMPARE(doc->layouts[0].extents.maxX, 100.0);
        QVERIFY(size < b.size());
    }

    void recognisedByContent() {
        const QByteArray head = readFile(kData + "shapes.emf").left(4096);
        const Reader* r = ReaderRegistry::builtin().choose(head, "bin");
        QVERIFY(r);
        QCOMPARE(r->name(), QString("EMF"));
        r = ReaderRegistry::builtin().choose(head, "png");
        QVERIFY(r);
        QCOMPARE(r->name(), QString("EMF"));
    }
};

QTEST_MAIN(TestEmfReader)
#include "test_emf_reader.moc"
