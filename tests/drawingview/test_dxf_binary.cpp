// Binary DXF: the same drawing read from its ASCII and binary forms gives
// the same document; damage is reported with its byte offset.

#include "formats/Reader.h"
#include "formats/dxf/DxfReader.h"

#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QRandomGenerator>
#include <QtTest>

#include <cstring>

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

// vistrel-tool's description of a file, without what names the file or times it.
QJsonObject info(const QString& path) {
    QProcess p;
    p.start(VISTREL_TOOL, {QStringLiteral("info"), path});
    if (!p.waitForFinished(60000) || p.exitCode() != 0)
        return {};
    QJsonObject o = QJsonDocument::fromJson(p.readAllStandardOutput()).object();
    o.remove(QStringLiteral("file"));
    o.remove(QStringLiteral("loadMs"));
    return o;
}

QString errorFor(const QByteArray& bytes) {
    try {
        readDxfBytes(bytes.constData(), size_t(bytes.size()), QStringLiteral("mem.dxf"));
    } catch (const ReadError& e) {
        return QString::fromStdString(e.what());
    }
    return {};
}

QByteArray code16(int code) {
    const char b[2] = {char(code & 0xff), char(code >> 8)};
    return QByteArray(b, 2);
}

QByteArray str(const char* s) {
    return QByteArray(s, qsizetype(std::strlen(s) + 1));
}

QByteArray real(double v) {
    return QByteArray(reinterpret_cast<const char*>(&v), 8);
}

const QByteArray kSentinel("AutoCAD Binary DXF\r\n\x1a\0", 22);

// A binary R13+ file with one ENTITIES section holding `body`.
QByteArray binaryEntities(const QByteArray& body) {
    return kSentinel + code16(0) + str("SECTION") + code16(2) + str("ENTITIES") + body + code16(0) +
           str("ENDSEC") + code16(0) + str("EOF");
}

} // namespace

class TestDxfBinary : public QObject {
    Q_OBJECT

private slots:
    void sameDocumentAsAscii_data() {
        QTest::addColumn<QString>("ascii");
        QTest::addColumn<QString>("binary");
        QTest::newRow("R2000, 2-byte codes")
            << fixture("entities.dxf") << fixture("entities_binary.dxf");
        QTest::newRow("R12, 1-byte codes") << fixture("r12.dxf") << fixture("r12_binary.dxf");
    }
    void sameDocumentAsAscii() {
        QFETCH(QString, ascii);
        QFETCH(QString, binary);
        const QJsonObject a = info(ascii), b = info(binary);
        QVERIFY(!a.isEmpty());
        QVERIFY(a.value(QStringLiteral("entities")).toObject().size() > 0);
        QCOMPARE(b, a);

        // Beyond the summary: the geometry itself, point for point.
        const auto da = ReaderRegistry::builtin().load(ascii);
        const auto db = ReaderRegistry::builtin().load(binary);
        QCOMPARE(db->blocks.size(), da->blocks.size());
        for (size_t i = 0; i < da->blocks.size(); ++i) {
            const Block &x = da->blocks[i], &y = db->blocks[i];
            QCOMPARE(y.shapes.size(), x.shapes.size());
            QCOMPARE(y.points.size(), x.points.size());
            for (size_t k = 0; k < x.points.size(); ++k) {
                QCOMPARE(y.points[k].x, x.points[k].x);
                QCOMPARE(y.points[k].y, x.points[k].y);
            }
            QCOMPARE(y.texts.size(), x.texts.size());
            for (size_t k = 0; k < x.texts.size(); ++k)
                QCOMPARE(y.texts[k].text, x.texts[k].text);
        }
    }

    void typedValuesAndComments() {
        // 999 comment, a 64-bit int, a bool, a binary chunk and extended data
        // around a LINE: only the line's own values count.
        const QByteArray body =
            code16(999) + str("made by hand") + code16(0) + str("LINE") + code16(8) + str("Pipes") +
            code16(160) + QByteArray(8, '\x7f') + code16(290) + QByteArray(1, '\1') + code16(310) +
            QByteArray("\x03\x01\x02\xff", 4) + code16(62) + QByteArray("\x05\x00", 2) +
            code16(10) + real(1.5) + code16(20) + real(-2.25) + code16(11) + real(3) + code16(21) +
            real(4) + code16(1001) + str("APP") + code16(1071) + QByteArray("\x01\x00\x00\x00", 4) +
            code16(1004) + QByteArray("\x01\x00", 2);
        const QByteArray bytes = binaryEntities(body);
        const auto doc = readDxfBytes(bytes.constData(), size_t(bytes.size()), "typed.dxf");
        const Block& model = doc->blocks[size_t(doc->blockIndex("*Model_Space"))];
        QCOMPARE(model.shapes.size(), size_t(1));
        QCOMPARE(model.points[0].x, 1.5);
        QCOMPARE(model.points[0].y, -2.25);
        QCOMPARE(model.points[1].y, 4.0);
        QCOMPARE(model.shapes[0].color, Color::fromAci(5));
        QCOMPARE(doc->layers[size_t(model.shapes[0].layer)].name, QStringLiteral("Pipes"));
    }

    void errorsNameTheByteOffset_data() {
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<QString>("expected");
        QTest::newRow("sentinel only") << kSentinel << "";
        QTest::newRow("sentinel cut") << kSentinel.left(20) << "byte offset 0";
        QTest::newRow("string without end")
            << kSentinel + code16(0) + QByteArray("SECT") << "truncated at byte offset 22";
        const QByteArray line = code16(0) + str("LINE");
        // The LINE starts at 22 + 2 + 8 + 2 + 9 = 43; its code 10 at 43 + 7 = 50.
        QTest::newRow("double cut off")
            << kSentinel + code16(0) + str("SECTION") + code16(2) + str("ENTITIES") + line +
                   code16(10) + QByteArray(5, '\0')
            << "truncated at byte offset 50";
        QTest::newRow("unknown code") << kSentinel + code16(0) + str("SECTION") + code16(2) +
                                             str("ENTITIES") + line + code16(85) + real(1)
                                      << "unknown group code 85";
        QTest::newRow("not a number")
            << binaryEntities(line + code16(10) + real(std::numeric_limits<double>::quiet_NaN()))
            << "malformed at byte offset 50";
        QTest::newRow("chunk longer than the file")
            << kSentinel + code16(0) + str("SECTION") + code16(310) + QByteArray("\xff\x01", 2)
            << "truncated at byte offset 32";
    }
    void errorsNameTheByteOffset() {
        QFETCH(QByteArray, bytes);
        QFETCH(QString, expected);
        const QString message = errorFor(bytes);
        if (expected.isEmpty()) {
            QVERIFY2(message.isEmpty(), qPrintable(message));
            return;
        }
        QVERIFY2(message.contains(expected), qPrintable(message));
        QVERIFY2(message.contains(QLatin1String("mem.dxf")), qPrintable(message));
    }

    // Every prefix of a binary file loads or names its byte offset.
    void everyTruncationIsHandled() {
        const QByteArray full = readAll(fixture("entities_binary.dxf"));
        int loaded = 0, refused = 0;
        for (int n = 1; n < full.size(); n += 3) {
            const QString message = errorFor(full.left(n));
            if (message.isEmpty()) {
                ++loaded;
                continue;
            }
            ++refused;
            QVERIFY2(message.contains(QLatin1String("byte offset")) ||
                         message.contains(QLatin1String("not a DXF file")),
                     qPrintable(message));
        }
        QVERIFY(loaded > 0 && refused > 0);
    }

    void randomDamageIsHandled() {
        const QByteArray full = readAll(fixture("entities_binary.dxf"));
        QRandomGenerator rng(99);
        for (int round = 0; round < 400; ++round) {
            QByteArray bytes = full;
            for (int e = 0; e < 1 + int(rng.bounded(4)); ++e) {
                const int at = 22 + int(rng.bounded(bytes.size() - 22));
                if (rng.bounded(2))
                    bytes[at] = char(rng.bounded(256));
                else
                    bytes.remove(at, int(rng.bounded(9)));
            }
            const QString message = errorFor(bytes);
            QVERIFY2(message.isEmpty() || message.contains(QLatin1String("mem.dxf")),
                     qPrintable(message));
        }
    }
};

QTEST_GUILESS_MAIN(TestDxfBinary)
#include "test_dxf_binary.moc"
