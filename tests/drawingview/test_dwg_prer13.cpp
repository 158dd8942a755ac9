#include "formats/Reader.h"

#include <QFile>
#include <QTemporaryDir>
#include <QTest>

#include <cmath>
#include <cstring>
#include <numbers>

using namespace dv;

// DWG drawings before R13, read from the fixture that
// tests/data/dwg/make_fixtures.py writes.

namespace {

QByteArray fixture() {
    QFile f(QStringLiteral(TEST_DATA_DIR "/dwg/small_r12.dwg"));
    if (!f.open(QIODevice::ReadOnly))
        qFatal("the fixture small_r12.dwg is missing");
    return f.readAll();
}

void putLe(QByteArray& b, int at, uint32_t v, int bytes) {
    std::memcpy(b.data() + at, &v, size_t(bytes));
}

uint32_t le32(const QByteArray& b, int at) {
    uint32_t v;
    std::memcpy(&v, b.constData() + at, 4);
    return v;
}

const Layer* layerNamed(const Document& doc, const char* name) {
    for (const Layer& l : doc.layers)
        if (l.name == QLatin1String(name))
            return &l;
    return nullptr;
}

int countOf(const Block& b, const char* type) {
    const auto it = b.entityCounts.find(QString::fromLatin1(type));
    return it == b.entityCounts.end() ? 0 : it->second;
}

} // namespace

class TestDwgPreR13 : public QObject {
    Q_OBJECT
private:
    QTemporaryDir m_dir;

    QString write(const QByteArray& bytes) {
        const QString path = m_dir.filePath(QStringLiteral("drawing.dwg"));
        QFile f(path);
        if (!f.open(QIODevice::WriteOnly) || f.write(bytes) != bytes.size())
            qFatal("cannot write %s", qPrintable(path));
        return path;
    }

private slots:
    void opensWithItsTablesAndSpaces() {
        const auto doc =
            ReaderRegistry::builtin().load(QStringLiteral(TEST_DATA_DIR "/dwg/small_r12.dwg"));
        QCOMPARE(doc->format, QStringLiteral("DWG"));
        QCOMPARE(doc->header.at(QStringLiteral("$ACADVER")), QStringLiteral("AC1009"));
        const Layer* walls = layerNamed(*doc, "WALLS");
        const Layer* frozen = layerNamed(*doc, "FROZEN");
        QVERIFY(walls && frozen && layerNamed(*doc, "0"));
        QVERIFY(!walls->on); // a negative colour
        QVERIFY(frozen->frozen);
        QVERIFY(walls->lineType >= 0);
        QCOMPARE(doc->lineTypes[size_t(walls->lineType)].name, QStringLiteral("DASHED"));

        QCOMPARE(doc->layouts.size(), size_t(2));
        const Block& model = doc->blocks[size_t(doc->layouts[0].block)];
        QCOMPARE(countOf(model, "LINE"), 2);
        QCOMPARE(countOf(model, "CIRCLE"), 1);
        QCOMPARE(countOf(model, "ARC"), 1);
        QCOMPARE(countOf(model, "POINT"), 1);
        QCOMPARE(countOf(model, "TEXT"), 1);
        QCOMPARE(countOf(model, "INSERT"), 1);
        // The line with extended data lies in paper space.
        const Block& paper = doc->blocks[size_t(doc->layouts[1].block)];
        QCOMPARE(countOf(paper, "LINE"), 1);
        // Its window onto the model takes the view from its extended data.
        QCOMPARE(paper.viewports.size(), size_t(1));
        const Viewport& vp = paper.viewports[0];
        QCOMPARE(vp.center.x, 30.0);
        QCOMPARE(vp.width, 40.0);
        QCOMPARE(vp.viewHeight, 20.0);
        QCOMPARE(vp.viewCenter.x, 30.0);
        QCOMPARE(vp.viewCenter.y, 10.0);
        // The erased line is gone without a trace; the short one is counted.
        QCOMPARE(doc->skippedEntities.size(), size_t(1));
        QCOMPARE(doc->skippedEntities.at(QStringLiteral("LINE (damaged)")), 1);
    }

    void readsOptionalFieldsByTheirBits() {
        const auto doc =
            ReaderRegistry::builtin().load(QStringLiteral(TEST_DATA_DIR "/dwg/small_r12.dwg"));
        const Block& model = doc->blocks[size_t(doc->layouts[0].block)];
        QCOMPARE(model.texts.size(), size_t(1));
        const Text& t = model.texts[0];
        QCOMPARE(t.text, QStringLiteral("\u00D8 25\u00B0")); // from Windows-1252
        QCOMPARE(t.hAlign, Text::Center);
        QCOMPARE(t.position.x, 5.0);
        QCOMPARE(t.position.y, 20.0);
        QVERIFY(std::abs(t.rotation - std::numbers::pi / 6) < 1e-9);
        // The model reaches from the circle's bottom (20, 0) radius 3 to the
        // insert of BOX, scaled by 2 in x only: its line ends at (58, 4).
        const Box e = doc->layouts[0].extents;
        QCOMPARE(e.minY, -3.0);
        QCOMPARE(e.maxX, 58.0);
    }

    void readsTheRecordsOfR10() {
        const auto doc =
            ReaderRegistry::builtin().load(QStringLiteral(TEST_DATA_DIR "/dwg/small_r10.dwg"));
        QCOMPARE(doc->header.at(QStringLiteral("$ACADVER")), QStringLiteral("AC1006"));
        QVERIFY(doc->skippedEntities.empty());
        const Block& model = doc->blocks[size_t(doc->layouts[0].block)];
        for (const char* type : {"LINE", "POLYLINE", "3DFACE", "TEXT", "INSERT"})
            QVERIFY2(countOf(model, type) == 1, type);
        // Record type 18 is a closed polyline before R11.
        bool closedPolyline = false;
        for (const Shape& sh : model.shapes)
            closedPolyline = closedPolyline ||
                             (doc->entityTypeNames[sh.entityType] == QLatin1String("POLYLINE") &&
                              (sh.flags & Closed) && sh.count == 3);
        QVERIFY(closedPolyline);
        QCOMPARE(model.texts.at(0).text, QStringLiteral("caf\u00E9"));
        // The 3D face is flat: no z, so the model's extents come from x and y.
        QCOMPARE(doc->layouts[0].extents.maxX, 48.0);
    }

    void readsTheOneByteLayerIndexOf205() {
        const auto doc =
            ReaderRegistry::builtin().load(QStringLiteral(TEST_DATA_DIR "/dwg/small_r205.dwg"));
        QCOMPARE(doc->header.at(QStringLiteral("$ACADVER")), QStringLiteral("AC1.50"));
        const Block& model = doc->blocks[size_t(doc->layouts[0].block)];
        QCOMPARE(countOf(model, "LINE"), 1);
        QCOMPARE(countOf(model, "CIRCLE"), 1);
        for (const Shape& sh : model.shapes) {
            const QString& type = doc->entityTypeNames[sh.entityType];
            QCOMPARE(doc->layers[size_t(sh.layer)].name,
                     QLatin1String(type == QLatin1String("LINE") ? "WALLS" : "0"));
        }
    }

    void readsAutoCad140() {
        const auto doc =
            ReaderRegistry::builtin().load(QStringLiteral(TEST_DATA_DIR "/dwg/small_r14.dwg"));
        QCOMPARE(doc->header.at(QStringLiteral("$ACADVER")), QStringLiteral("AC1.40"));
        const Layer* three = layerNamed(*doc, "3");
        QVERIFY(three && layerNamed(*doc, "0"));
        QCOMPARE(three->color, Color::fromAci(1));
        const Block& model = doc->blocks[size_t(doc->layouts[0].block)];
        for (const char* type : {"LINE", "TEXT", "INSERT"})
            QVERIFY2(countOf(model, type) == 1, type);
        QCOMPARE(model.texts.at(0).text, QStringLiteral("TITLE"));
        // The block found among the entities holds its line and no more.
        bool box = false;
        for (const Block& b : doc->blocks)
            box = box || (b.name == QLatin1String("BOX") && countOf(b, "LINE") == 1 &&
                          b.entityCounts.size() == 1);
        QVERIFY(box);
        // The erased circle leaves no trace; the repeat is not drawn.
        QCOMPARE(doc->skippedEntities.size(), size_t(2));
        QCOMPARE(doc->skippedEntities.at(QStringLiteral("REPEAT")), 1);
        // The insert turns the block's line by 90 degrees about (20, 0).
        QCOMPARE(doc->layouts[0].extents.maxX, 20.0);
    }

    void damagedCopiesGiveOneClearError_data() {
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<QString>("expected");
        const QByteArray good = fixture();
        QByteArray tag = good;
        tag.replace(0, 6, "XC1009");
        QTest::newRow("bad tag") << tag << "not a DWG file";
        QTest::newRow("cut in the header") << good.left(0x20) << "truncated file header";
        QTest::newRow("cut in the entities") << good.left(0x720) << "lies outside the file";
        QByteArray outside = good;
        putLe(outside, 0x1C, uint32_t(good.size() + 10), 4); // the block section's start
        QTest::newRow("section outside the file") << outside << "lies outside the file";
        QByteArray record = good;
        putLe(record, int(le32(good, 0x14)) + 2, 0xFFFF, 2); // the first record's length
        QTest::newRow("record past its section") << record << "runs past the end";
        QByteArray table = good;
        putLe(table, 0x2C + 10 + 2, 0xFFFF, 2); // layer count
        QTest::newRow("table outside the file") << table << "layer table lies outside";

        QFile early(QStringLiteral(TEST_DATA_DIR "/dwg/small_r14.dwg"));
        if (!early.open(QIODevice::ReadOnly))
            qFatal("the fixture small_r14.dwg is missing");
        const QByteArray r14 = early.readAll();
        QByteArray unknown = r14;
        putLe(unknown, 0x202, 99, 2); // the first record's type
        QTest::newRow("1.40 record of unknown type") << unknown << "unknown type 99";
        QByteArray longText = r14;
        putLe(longText, 0x202 + 36 + 28 + 4, 0x7000, 2); // the block name's length
        QTest::newRow("1.40 name past the end") << longText << "truncated entity record";
        QByteArray end = r14;
        putLe(end, 0x24, uint32_t(r14.size() + 1), 4);
        QTest::newRow("1.40 entities past the file") << end << "lies outside the file";
    }

    void damagedCopiesGiveOneClearError() {
        QFETCH(QByteArray, bytes);
        QFETCH(QString, expected);
        const QString path = write(bytes);
        try {
            ReaderRegistry::builtin().load(path);
            QFAIL("a damaged drawing opened");
        } catch (const ReadError& e) {
            const QString message = QString::fromUtf8(e.what());
            QVERIFY2(message.contains(QLatin1String("drawing.dwg")), qPrintable(message));
            QVERIFY2(message.contains(expected), qPrintable(message));
        }
    }

    void everyCutOpensOrFailsCleanly() {
        for (const char* name :
             {"small_r12.dwg", "small_r10.dwg", "small_r205.dwg", "small_r14.dwg"}) {
            QFile f(QStringLiteral(TEST_DATA_DIR "/dwg/") + QLatin1String(name));
            QVERIFY(f.open(QIODevice::ReadOnly));
            const QByteArray good = f.readAll();
            for (qsizetype cut = 0; cut < good.size(); cut += 13) {
                const QString path = write(good.left(cut));
                try {
                    QVERIFY(ReaderRegistry::builtin().load(path) != nullptr);
                } catch (const ReadError&) {
                }
            }
        }
    }
};

QTEST_MAIN(TestDwgPreR13)
#include "test_dwg_prer13.moc"
