// Bad DXF input: every broken file gives a ReadError that names the file and
// the place, or loads what can be read; nothing crashes or runs away.

#include "formats/Reader.h"

#include <QFile>
#include <QRandomGenerator>
#include <QTemporaryDir>
#include <QtTest>

using namespace dv;

namespace {

QString fixture(const char* name) {
    return QStringLiteral(TEST_DATA_DIR "/dxf/") + QLatin1String(name);
}

QByteArray readAll(const QString& path) {
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly))
        qFatal("cannot read %s", qPrintable(path));
    return f.readAll();
}

const QByteArray kEntitiesStart = "  0\nSECTION\n  2\nENTITIES\n";

} // namespace

class TestDxfErrors : public QObject {
    Q_OBJECT

    QTemporaryDir m_dir;

    QString write(const char* name, const QByteArray& bytes) {
        const QString path = m_dir.filePath(QLatin1String(name));
        QFile f(path);
        if (!f.open(QIODevice::WriteOnly | QIODevice::Truncate))
            qFatal("cannot write %s", qPrintable(path));
        f.write(bytes);
        return path;
    }

    // The ReadError message for a file, or "" when it loaded.
    QString errorFor(const QString& path) {
        try {
            ReaderRegistry::builtin().load(path);
        } catch (const ReadError& e) {
            return QString::fromStdString(e.what());
        }
        return {};
    }

private slots:
    void clearErrorsNamingFileAndLine_data() {
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<QString>("expected");
        QTest::newRow("garbage") << QByteArray("\x01\xfe\0garbage\xff\n\n\x7f", 14)
                                 << "not a DXF file";
        QTest::newRow("only a comment") << QByteArray("999\nhello\n") << "not a DXF file";
        QTest::newRow("text") << QByteArray("hello world\n") << "not a DXF file";
        QTest::newRow("binary") << QByteArray("AutoCAD Binary DXF\r\n\x1a\0\0\0", 24)
                                << "truncated at byte offset 22";
        QTest::newRow("pair cut in half") << kEntitiesStart + "  0\nLINE\n 10\n1.0\n 20\n"
                                          << "truncated at line 9";
        QTest::newRow("bad group code") << kEntitiesStart + "  0\nLINE\n1x0\n1.0\n"
                                        << "malformed at line 7";
        QTest::newRow("empty line as code") << kEntitiesStart + "  0\nLINE\n\n1.0\n 20\n1\n"
                                            << "malformed at line 7";
        QTest::newRow("bad number") << kEntitiesStart + "  0\nLINE\n 10\n1.0\n 20\n1,5\n"
                                    << "malformed at line 9";
        QTest::newRow("huge number") << kEntitiesStart + "  0\nCIRCLE\n 40\n1e999\n"
                                     << "malformed at line 7";
        QTest::newRow("bad colour") << kEntitiesStart + "  0\nLINE\n 62\nred\n"
                                    << "malformed at line 7";
    }
    void clearErrorsNamingFileAndLine() {
        QFETCH(QByteArray, bytes);
        QFETCH(QString, expected);
        const QString path = write("bad.dxf", bytes);
        const QString message = errorFor(path);
        QVERIFY2(message.contains(expected), qPrintable(message));
        QVERIFY2(message.contains(path), qPrintable(message));
    }

    void unterminatedSectionKeepsWhatWasRead() {
        const QString path =
            write("open.dxf", kEntitiesStart + "  0\nLINE\n 10\n1.0\n 20\n2.0\n 11\n3\n 21\n4");
        auto doc = ReaderRegistry::builtin().load(path);
        const Block& model = doc->blocks[size_t(doc->layouts[0].block)];
        QCOMPARE(model.shapes.size(), size_t(1));
        QCOMPARE(model.points[1].y, 4.0);
        QCOMPARE(doc->layouts[0].extents.maxX, 3.0);
    }

    // A group code far beyond any DXF's is passed over; narrowed, 65546 would
    // read as 10 and move the line's start.
    void codesNoReaderTakesArePassedOver() {
        const QString path =
            write("odd-code.dxf", kEntitiesStart + "  0\nLINE\n 10\n1.0\n 20\n2.0\n"
                                                   "65546\n99\n 11\n3\n 21\n4\n"
                                                   "  0\nENDSEC\n  0\nEOF\n");
        auto doc = ReaderRegistry::builtin().load(path);
        const Block& model = doc->blocks[size_t(doc->layouts[0].block)];
        QCOMPARE(model.shapes.size(), size_t(1));
        QCOMPARE(model.points.at(0).x, 1.0);
        QCOMPARE(model.points.at(1).x, 3.0);
    }

    void missingEndMarkersLoseNothing() {
        const QByteArray bytes = "  0\nSECTION\n  2\nBLOCKS\n"
                                 "  0\nBLOCK\n  2\nA\n  0\nPOINT\n 10\n1\n 20\n1\n"
                                 "  0\nBLOCK\n  2\nB\n  0\nPOINT\n 10\n2\n 20\n2\n"
                                 "  0\nSECTION\n  2\nENTITIES\n"
                                 "  0\nINSERT\n  2\nA\n  0\nINSERT\n  2\nB\n";
        auto doc = ReaderRegistry::builtin().load(write("open-ends.dxf", bytes));
        const int a = doc->blockIndex(QStringLiteral("A"));
        const int b = doc->blockIndex(QStringLiteral("B"));
        QVERIFY(a >= 0 && b >= 0);
        QCOMPARE(doc->blocks[size_t(a)].shapes.size(), size_t(1));
        QCOMPARE(doc->blocks[size_t(b)].points.at(0).x, 2.0);
        const Block& model = doc->blocks[size_t(doc->layouts[0].block)];
        QCOMPARE(model.inserts.size(), size_t(2));
        QCOMPARE(model.inserts[1].block, b);
    }

    void countFieldsAreNotTrusted() {
        auto doc = ReaderRegistry::builtin().load(fixture("huge_counts.dxf"));
        const Block& model = doc->blocks[size_t(doc->layouts[0].block)];
        QCOMPARE(model.shapes.front().count, 2u);
        QCOMPARE(model.points.size(), size_t(2));
        QCOMPARE(model.inserts.front().columns, 32767);
        QCOMPARE(model.inserts.front().rows, 1);
    }

    void selfInsertingBlocksAreCut() {
        auto doc = ReaderRegistry::builtin().load(fixture("cycle.dxf"));
        const int self = doc->blockIndex(QStringLiteral("Self"));
        QCOMPARE(doc->blocks[size_t(self)].inserts.front().block, -1);
        const int a = doc->blockIndex(QStringLiteral("A"));
        const int b = doc->blockIndex(QStringLiteral("B"));
        // Exactly one edge of the A-B loop is cut.
        const bool aCut = doc->blocks[size_t(a)].inserts.front().block == -1;
        const bool bCut = doc->blocks[size_t(b)].inserts.front().block == -1;
        QVERIFY(aCut != bCut);
        const Box e = doc->layouts[0].extents;
        QVERIFY(e.isValid());
        QCOMPARE(e.minX, 0.0);
    }

    // Every cut of a real file either loads or gives a ReadError.
    void everyTruncationIsHandled() {
        const QByteArray full = readAll(fixture("entities.dxf"));
        int loaded = 0, refused = 0;
        for (int n = 1; n < full.size(); n += 5) {
            const QString path = write("cut.dxf", full.left(n));
            const QString message = errorFor(path);
            if (message.isEmpty()) {
                ++loaded;
            } else {
                ++refused;
                QVERIFY2(message.contains(QLatin1String("truncated at line")) ||
                             message.contains(QLatin1String("malformed at line")) ||
                             message.contains(QLatin1String("not a DXF file")),
                         qPrintable(message));
            }
        }
        QVERIFY(loaded > 0 && refused > 0);
    }

    void randomDamageIsHandled() {
        const QByteArray full = readAll(fixture("entities.dxf"));
        QRandomGenerator rng(4711);
        for (int round = 0; round < 300; ++round) {
            QByteArray bytes = full;
            const int edits = 1 + int(rng.bounded(4));
            for (int e = 0; e < edits; ++e) {
                const int at = int(rng.bounded(bytes.size()));
                switch (rng.bounded(3)) {
                case 0:
                    bytes[at] = char(rng.bounded(256));
                    break;
                case 1:
                    bytes.remove(at, int(rng.bounded(20)));
                    break;
                default:
                    bytes.insert(at, "\n  0\nINSERT\n  2\n");
                    break;
                }
            }
            const QString path = write("damaged.dxf", bytes);
            try {
                ReaderRegistry::builtin().load(path);
            } catch (const ReadError&) {
            }
        }
    }

    void scoreSniffsContent() {
        auto reader = ReaderRegistry::builtin().choose("0\nSECTION\n", QString());
        QVERIFY(reader);
        QCOMPARE(reader->name(), QStringLiteral("DXF"));
        QCOMPARE(reader->score("999\nmade by hand\n  0\r\nSECTION\r\n", QString()), 100);
        QCOMPARE(reader->score("AutoCAD Binary DXF\r\n", QString()), 100);
        QCOMPARE(reader->score("something else", QStringLiteral("dxf")), 50);
        QCOMPARE(reader->score("something else", QStringLiteral("txt")), 0);
        QCOMPARE(reader->score("  0\nLINE\n", QString()), 0);
    }

    void progressRisesToTheEnd() {
        // Enough entities that the reader reports many steps.
        QByteArray bytes = kEntitiesStart;
        for (int i = 0; i < 2000; ++i)
            bytes += "  0\nLINE\n  8\nL" + QByteArray::number(i % 7) + "\n 10\n" +
                     QByteArray::number(i) + "\n 20\n0\n 11\n1\n 21\n1\n";
        bytes += "  0\nENDSEC\n  0\nEOF\n";
        std::vector<int> seen;
        auto doc = ReaderRegistry::builtin().load(write("many.dxf", bytes),
                                                  [&](int p) { seen.push_back(p); });
        QCOMPARE(doc->blocks[size_t(doc->layouts[0].block)].shapes.size(), size_t(2000));
        QCOMPARE(doc->layers.size(), size_t(8)); // "0" and L0..L6
        QVERIFY(seen.size() >= 20);
        QVERIFY(std::is_sorted(seen.begin(), seen.end()));
        QCOMPARE(seen.back(), 100);
    }
};

QTEST_GUILESS_MAIN(TestDxfErrors)
#include "test_dxf_errors.moc"
