#include "formats/Reader.h"
#include "formats/dwg/DwgBitReader.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>

#include <cstring>

using namespace dv;

namespace {

void putLe32(QByteArray& b, int at, uint32_t v) {
    std::memcpy(b.data() + at, &v, 4);
}

const char kHeaderEnd[] = "\x95\xA0\x4E\x28\x99\x82\x1A\xE5\x5E\x41\xE0\x5F\x9D\x3A\x4D\x00";
const char kVarsStart[] = "\xCF\x7B\x1F\x23\xFD\xDE\x38\xA9\x5F\x7C\x68\xB8\x4E\x6D\x33\x5F";
const char kClassesStart[] = "\x8D\xA1\xC4\xB8\xC4\xA9\xF8\xC5\xC0\xDC\xF4\x5F\xE7\xCF\xB6\x8A";

// A smallest R2000 file: the file header with three section locators, empty
// header variables and classes, and `objectMap` as the object map.
QByteArray makeDwg(const QByteArray& objectMap, bool goodCrc = true) {
    QByteArray f("AC1015", 6);
    f.append(QByteArray(0x19 - 6, '\0'));
    f[0x0B] = 0x0F;
    f[0x13] = 30; // code page
    putLe32(f, 0x15, 3);
    f.append(QByteArray(27, '\0'));
    const int crcAt = f.size();
    f.append(QByteArray(2, '\0'));
    f.append(kHeaderEnd, 16);
    auto section = [&](int number, const QByteArray& body) {
        const int at = f.size();
        f.append(body);
        char* rec = f.data() + 0x19 + number * 9;
        rec[0] = char(number);
        std::memcpy(rec + 1, &at, 4);
        const uint32_t size = uint32_t(body.size());
        std::memcpy(rec + 5, &size, 4);
    };
    auto framed = [](const char* sentinel) {
        QByteArray b(sentinel, 16);
        b.append(QByteArray(4 + 2, '\0')); // size 0, CRC
        return b;
    };
    section(0, framed(kVarsStart));
    section(1, framed(kClassesStart));
    section(2, objectMap);
    const uint16_t crc = dwg::crc16(0, f.constData(), size_t(crcAt)) ^ 0xA598;
    std::memcpy(f.data() + crcAt, &crc, 2);
    if (!goodCrc)
        f[crcAt] = char(f[crcAt] ^ 0x55);
    return f;
}

const QByteArray kEmptyMap("\x00\x02", 2);

} // namespace

class TestDwgFiles : public QObject {
    Q_OBJECT
private:
    QTemporaryDir m_dir;

    QString write(const QString& name, const QByteArray& bytes) {
        const QString path = m_dir.filePath(name);
        QFile f(path);
        if (!f.open(QIODevice::WriteOnly) || f.write(bytes) != bytes.size())
            qFatal("cannot write %s", qPrintable(path));
        return path;
    }

    // The one error loading `path` gives; fails when it loads.
    QString errorOf(const QString& path) {
        try {
            ReaderRegistry::builtin().load(path);
        } catch (const ReadError& e) {
            return QString::fromUtf8(e.what());
        }
        return {};
    }

    QString sharedFile(const QString& name) {
        return QDir(QStringLiteral(SHARED_DWG_DIR)).filePath(name);
    }

private slots:
    // The release at a file's start decides, whatever its name says; a DWG
    // name alone loses to content another reader knows.
    void theSignatureChoosesTheReader() {
        const ReaderRegistry& registry = ReaderRegistry::builtin();
        for (const char* suffix : {"dwg", "dxf", "png", ""}) {
            const Reader* r = registry.choose(QByteArray("AC1032") + QByteArray(200, '\0'), suffix);
            QVERIFY(r);
            QCOMPARE(r->name(), QStringLiteral("DWG"));
        }
        const Reader* dxf = registry.choose("  0\nSECTION\n  2\nHEADER\n", "dwg");
        QVERIFY(dxf);
        QCOMPARE(dxf->name(), QStringLiteral("DXF"));
        const Reader* png = registry.choose("\x89PNG\r\n\x1a\n", "dwg");
        QVERIFY(png);
        QVERIFY(png->name() != QStringLiteral("DWG"));
    }

    void aSmallestDrawingOpens() {
        const QString path = write("empty.dwg", makeDwg(kEmptyMap));
        auto doc = ReaderRegistry::builtin().load(path);
        QCOMPARE(doc->format, QStringLiteral("DWG"));
        QCOMPARE(doc->header.at(QStringLiteral("$ACADVER")), QStringLiteral("AC1015"));
        QVERIFY(!doc->layouts.empty());
        // Its empty header variables are reported, not fatal.
        QVERIFY(!doc->problems.empty());
    }

    void aBadChecksumIsReportedAndTheFileOpens() {
        const QString path = write("badcrc.dwg", makeDwg(kEmptyMap, false));
        auto doc = ReaderRegistry::builtin().load(path);
        bool named = false;
        for (const QString& p : doc->problems)
            named = named || p.contains(QLatin1String("CRC"));
        QVERIFY(named);
    }

    void damagedFilesGiveOneClearError_data() {
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<QString>("expected");
        QByteArray outside = makeDwg(QByteArray("\x00\x05\x01\xFF\x3F\x00\x00\x00\x02", 9));
        QTest::newRow("object map points outside") << outside << "outside the objects";
        QByteArray magic = makeDwg(kEmptyMap);
        magic.replace(0, 6, "XY1015");
        QTest::newRow("bad magic") << magic << "not a DWG file";
        QTest::newRow("cut inside the header") << makeDwg(kEmptyMap).left(40) << "cut off";
        QByteArray map = makeDwg(kEmptyMap);
        putLe32(map, 0x19 + 2 * 9 + 1, uint32_t(map.size() + 100));
        QTest::newRow("section outside the file") << map << "lies outside the file";
        QByteArray r12("AC1009", 6);
        r12.append(QByteArray(100, '\0'));
        QTest::newRow("R12 cut inside its header") << r12 << "truncated file header";
        QByteArray early("AC1.2", 5);
        early.append(QByteArray(100, '\0'));
        QTest::newRow("1.2") << early << "not supported";
        QByteArray runOn = makeDwg(QByteArray("\x00\x05\x01\xFF\xFF", 5));
        QTest::newRow("object map cut off") << runOn << "object map";
    }

    void damagedFilesGiveOneClearError() {
        QFETCH(QByteArray, bytes);
        QFETCH(QString, expected);
        const QString path = write("damaged.dwg", bytes);
        const QString error = errorOf(path);
        QVERIFY2(error.contains(QLatin1String("damaged.dwg")), qPrintable(error));
        QVERIFY2(error.contains(expected), qPrintable(error));
    }

    void truncatedCopiesOfRealDrawingsFailCleanly() {
        const QString source = sharedFile("example_2000.dwg");
        QFile f(source);
        if (!f.open(QIODevice::ReadOnly))
            QSKIP("the shared DWG samples (../shared/dwg) are not here");
        const QByteArray all = f.readAll();
        // Cut at several points: each gives an error or a drawing, never a crash.
        for (const qsizetype cut :
             {qsizetype(100), all.size() / 3, all.size() / 2, all.size() - 1000}) {
            const QString path = write("cut.dwg", all.left(cut));
            try {
                auto doc = ReaderRegistry::builtin().load(path);
                QVERIFY(doc != nullptr);
            } catch (const ReadError& e) {
                QVERIFY(QString::fromUtf8(e.what()).contains(QLatin1String("cut.dwg")));
            }
        }
        // Bytes scrambled across the objects lose those objects, not the drawing.
        QByteArray scrambled = all;
        for (qsizetype i = scrambled.size() / 4; i < scrambled.size() / 2; i += 97)
            scrambled[i] = char(scrambled[i] ^ 0x5A);
        const QString path = write("scrambled.dwg", scrambled);
        try {
            auto doc = ReaderRegistry::builtin().load(path);
            int damaged = 0;
            for (const auto& [what, n] : doc->skippedEntities)
                if (what.contains(QLatin1String("damaged")))
                    damaged += n;
            QVERIFY(damaged > 0);
        } catch (const ReadError& e) {
            QVERIFY(QString::fromUtf8(e.what()).contains(QLatin1String("scrambled.dwg")));
        }
    }
};

QTEST_GUILESS_MAIN(TestDwgFiles)
#include "test_dwg_files.moc"
