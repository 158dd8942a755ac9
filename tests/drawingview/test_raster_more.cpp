// The raster formats decoded by our own code (Autodesk Animator CEL/PIC,
// Animator Pro PIC and CEL, Paint Shop Pro, 3ds Max RPF), the formats that
// are refused with a clear message (DWG, Dr. Halo palettes, Arts & Letters
// GED), and damaged or cut files of each.

#include "formats/Reader.h"
#include "formats/raster/RasterReader.h"

#include <QBuffer>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

#include <cstdlib>

using namespace dv;

namespace {

const QString kData = QStringLiteral(TEST_DATA_DIR "/raster/");
const QColor kBg(200, 40, 40);
const QColor kFg(20, 120, 220);
// The original Animator stores 6-bit levels: (50,10,10) and (5,30,55).
const QColor kVgaBg(202, 40, 40);
const QColor kVgaFg(20, 121, 223);

QByteArray readFile(const QString& path) {
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

void writeFile(const QString& path, const QByteArray& bytes) {
    QFile f(path);
    QVERIFY(f.open(QIODevice::WriteOnly));
    f.write(bytes);
}

// The message of the ReadError that loading `path` throws.
QString loadError(const QString& path) {
    try {
        ReaderRegistry::builtin().load(path);
    } catch (const ReadError& e) {
        return QString::fromStdString(e.what());
    }
    return QStringLiteral("<loaded>");
}

bool near(const QColor& a, const QColor& b) {
    return std::abs(a.red() - b.red()) <= 1 && std::abs(a.green() - b.green()) <= 1 &&
           std::abs(a.blue() - b.blue()) <= 1 && a.alpha() == b.alpha();
}

QString describe(const QColor& c) {
    return QStringLiteral("(%1,%2,%3,%4)").arg(c.red()).arg(c.green()).arg(c.blue()).arg(c.alpha());
}

#define COMPARE_COLOR(actual, expected)                                                            \
    QVERIFY2(near(actual, expected), qPrintable(describe(actual) + " != " + describe(expected)))

void putLe16(QByteArray& b, int at, int v) {
    b[at] = char(v & 0xff);
    b[at + 1] = char((v >> 8) & 0xff);
}

void putLe32(QByteArray& b, int at, uint32_t v) {
    for (int i = 0; i < 4; ++i)
        b[at + i] = char((v >> (8 * i)) & 0xff);
}

} // namespace

class TestRasterMore : public QObject {
    Q_OBJECT

private slots:
    void fixtures_data();
    void fixtures();
    void pspTransparencyMask();
    void pspJpegComposite();
    void bytesEntryPointMatchesFiles();
    void cutFilesNeverLoadHalf_data();
    void cutFilesNeverLoadHalf();
    void damagedHeaders_data();
    void damagedHeaders();
    void damagedDwgIsRefusedClearly();
    void formatsWithoutDecoder();

private:
    QTemporaryDir m_dir;
};

void TestRasterMore::fixtures_data() {
    QTest::addColumn<QString>("file");
    QTest::addColumn<QString>("formatName");
    QTest::addColumn<QColor>("background");
    QTest::addColumn<QColor>("probe");
    QTest::newRow("animator cel") << "sample_animator.cel"
                                  << "Autodesk Animator" << kVgaBg << kVgaFg;
    QTest::newRow("animator pic") << "sample_animator.pic"
                                  << "Autodesk Animator" << kVgaBg << kVgaFg;
    QTest::newRow("animator pro pic") << "sample_pro.pic"
                                      << "Autodesk Animator Pro PIC" << kBg << kFg;
    QTest::newRow("animator pro cel, byte runs") << "sample_pro.cel"
                                                 << "Autodesk Animator Pro CEL" << kBg << kFg;
    QTest::newRow("fli cel, 6-bit palette, copied pixels") << "sample_fli.cel"
                                                           << "Autodesk FLI" << kVgaBg << kVgaFg;
    QTest::newRow("animator pro cel, line changes") << "sample_delta.cel"
                                                    << "Autodesk Animator Pro CEL" << kBg << kFg;
    QTest::newRow("fli cel, line changes") << "sample_lc.cel"
                                           << "Autodesk FLI" << kBg << kFg;
    // A hidden green layer and a 1 x 1 layer placed at the probe.
    QTest::newRow("psp layers, rle") << "sample_layers.psp"
                                     << "Paint Shop Pro" << kBg << kFg;
    // The layer is green: only the composite has the right colours.
    QTest::newRow("psp composite, deflated") << "sample_composite.psp"
                                             << "Paint Shop Pro" << kBg << kFg;
    QTest::newRow("psp version 3, palette, padded rows") << "sample_v5.psp"
                                                         << "Paint Shop Pro" << kBg << kFg;
    QTest::newRow("rpf") << "sample.rpf"
                         << "3ds Max RPF" << kBg << kFg;
}

void TestRasterMore::fixtures() {
    QFETCH(QString, file);
    QFETCH(QString, formatName);
    QFETCH(QColor, background);
    QFETCH(QColor, probe);
    std::unique_ptr<Document> doc;
    try {
        doc = ReaderRegistry::builtin().load(kData + file);
    } catch (const ReadError& e) {
        QFAIL(e.what());
    }
    QCOMPARE(doc->kind, Document::Kind::Raster);
    QCOMPARE(doc->format, formatName);
    QCOMPARE(doc->raster.size(), QSize(5, 3));
    COMPARE_COLOR(doc->raster.pixelColor(0, 0), background);
    COMPARE_COLOR(doc->raster.pixelColor(4, 1), background);
    COMPARE_COLOR(doc->raster.pixelColor(2, 2), background);
    COMPARE_COLOR(doc->raster.pixelColor(3, 1), probe);

    // The content decides, whatever the name says.
    const QString renamed = m_dir.filePath("renamed-" + file + ".png");
    QVERIFY(QFile::copy(kData + file, renamed));
    if (!file.endsWith(".rpf")) // RLA and RPF carry no signature
        QCOMPARE(ReaderRegistry::builtin().load(renamed)->format, formatName);
}

void TestRasterMore::pspTransparencyMask() {
    const auto doc = ReaderRegistry::builtin().load(kData + "sample_v5.psp");
    QCOMPARE(doc->raster.format(), QImage::Format_ARGB32_Premultiplied);
    QCOMPARE(qAlpha(doc->raster.pixel(0, 2)), 0);
    QCOMPARE(qAlpha(doc->raster.pixel(1, 2)), 255);
}

void TestRasterMore::pspJpegComposite() {
    // Signature, version 6, image attributes, and a composite bank holding
    // the picture as a JPEG.
    QImage picture(16, 8, QImage::Format_RGB32);
    picture.fill(kBg);
    for (int y = 0; y < 8; ++y)
        for (int x = 8; x < 16; ++x)
            picture.setPixelColor(x, y, kFg);
    QByteArray jpeg;
    QBuffer buffer(&jpeg);
    buffer.open(QIODevice::WriteOnly);
    QVERIFY(picture.save(&buffer, "JPEG", 100));

    const auto le = [](QByteArray& b, uint32_t v, int bytes) {
        for (int i = 0; i < bytes; ++i)
            b.append(char((v >> (8 * i)) & 0xff));
    };
    const auto block = [&](int id, const QByteArray& fields, const QByteArray& rest) {
        QByteArray b("~BK", 4);
        le(b, uint32_t(id), 2);
        le(b, uint32_t(4 + fields.size() + rest.size()), 4);
        le(b, uint32_t(4 + fields.size()), 4);
        return b + fields + rest;
    };
    QByteArray attributes;
    le(attributes, 16, 4);
    le(attributes, 8, 4);
    attributes += QByteArray(9, '\0'); // resolution and its unit
    le(attributes, 3, 2);              // compression: JPEG
    le(attributes, 24, 2);
    le(attributes, 1, 2);
    attributes += QByteArray(4 + 1 + 4 + 4, '\0');
    le(attributes, 1, 2); // one layer
    le(attributes, 1, 4);
    QByteArray compositeFields;
    le(compositeFields, 16, 4);
    le(compositeFields, 8, 4);
    le(compositeFields, 24, 2);
    le(compositeFields, 3, 2);
    le(compositeFields, 1, 2);
    le(compositeFields, 1u << 24, 4);
    le(compositeFields, 0, 2); // the composite, not a thumbnail
    QByteArray jpegFields;
    le(jpegFields, uint32_t(jpeg.size()), 4);
    le(jpegFields, 16 * 8 * 3, 4);
    le(jpegFields, 0, 2);
    QByteArray count;
    le(count, 1, 4);
    QByteArray file("Paint Shop Pro Image File\n\x1a");
    file = file.leftJustified(32, '\0');
    le(file, 6, 2);
    le(file, 0, 2);
    file += block(0, attributes, {});
    file += block(16, count, block(17, compositeFields, {}) + block(18, jpegFields, jpeg));

    const QString path = m_dir.filePath("jpeg-composite.psp");
    writeFile(path, file);
    std::unique_ptr<Document> doc;
    try {
        doc = ReaderRegistry::builtin().load(path);
    } catch (const ReadError& e) {
        QFAIL(e.what());
    }
    QCOMPARE(doc->raster.size(), QSize(16, 8));
    const QColor left = doc->raster.pixelColor(3, 4), right = doc->raster.pixelColor(12, 4);
    QVERIFY2(std::abs(left.red() - kBg.red()) < 8 && std::abs(right.blue() - kFg.blue()) < 8,
             qPrintable(describe(left) + " " + describe(right)));

    // The JPEG cut short: the composite is unreadable and there is no layer.
    writeFile(path, file.left(file.size() - jpeg.size() / 2));
    const QString message = loadError(path);
    QVERIFY2(message.contains("damaged or truncated"), qPrintable(message));
}

void TestRasterMore::bytesEntryPointMatchesFiles() {
    for (const char* name : {"sample_pro.cel", "sample_layers.psp", "sample.rpf"}) {
        const QString path = kData + name;
        const auto fromFile = ReaderRegistry::builtin().load(path);
        const auto fromBytes = readRasterBytes(readFile(path), path);
        QCOMPARE(fromBytes->raster, fromFile->raster);
        QCOMPARE(fromBytes->format, fromFile->format);
    }
    // Formats left to ImageMagick are not decoded from memory.
    try {
        readRasterBytes(readFile(kData + "sample.pcx"), "x.pcx");
        QFAIL("decoded a PCX from memory");
    } catch (const ReadError& e) {
        QVERIFY2(QString(e.what()).contains("x.pcx"), e.what());
    }
}

void TestRasterMore::cutFilesNeverLoadHalf_data() {
    QTest::addColumn<QString>("file");
    for (const char* f :
         {"sample_animator.cel", "sample_pro.pic", "sample_pro.cel", "sample_fli.cel",
          "sample_layers.psp", "sample_composite.psp", "sample_v5.psp", "sample.rpf"})
        QTest::newRow(f) << f;
}

void TestRasterMore::cutFilesNeverLoadHalf() {
    // Every prefix of the file either fails with the clear error or, where
    // a cut falls after all the pixels, gives the whole picture.
    QFETCH(QString, file);
    const QByteArray bytes = readFile(kData + file);
    QVERIFY(!bytes.isEmpty());
    const QImage whole = readRasterBytes(bytes, file)->raster;
    int refused = 0;
    for (int n = 0; n < bytes.size(); ++n) {
        try {
            const auto doc = readRasterBytes(bytes.left(n), file);
            if (doc->raster != whole && !file.endsWith("composite.psp"))
                QFAIL(qPrintable(QStringLiteral("cut at %1 gave another picture").arg(n)));
        } catch (const ReadError& e) {
            const QString message = QString::fromStdString(e.what());
            QVERIFY2(message.contains(file), qPrintable(message));
            QVERIFY2(message.contains("damaged or truncated") || message.contains("not a"),
                     qPrintable(QStringLiteral("cut at %1: %2").arg(n).arg(message)));
            ++refused;
        }
    }
    // The pixels come last or in the middle: most cuts must be refused.
    QVERIFY2(refused > bytes.size() / 2, qPrintable(QString::number(refused)));
}

void TestRasterMore::damagedHeaders_data() {
    QTest::addColumn<QString>("file");
    QTest::addColumn<QByteArray>("content");
    QTest::addColumn<QString>("expected");
    QByteArray animator = readFile(kData + "sample_animator.cel");
    putLe16(animator, 2, 20000);
    putLe16(animator, 4, 20000);
    QTest::newRow("animator claims 20000 x 20000") << "a.cel" << animator << "damaged or truncated";
    QByteArray flic = readFile(kData + "sample_pro.cel");
    putLe32(flic, 128, 0xffffffffu);
    QTest::newRow("flic prefix chunk longer than the file")
        << "b.cel" << flic << "runs past the end";
    QByteArray flicDeep = readFile(kData + "sample_pro.cel");
    putLe16(flicDeep, 12, 16);
    QTest::newRow("flic of 16 bits a pixel") << "c.cel" << flicDeep << "16 bits a pixel";
    QByteArray psp = readFile(kData + "sample_layers.psp");
    putLe32(psp, 36 + 10 + 4, 20000); // width in the image attributes
    putLe32(psp, 36 + 10 + 8, 20000);
    QTest::newRow("psp canvas beyond its data") << "d.psp" << psp << "damaged or truncated";
    QByteArray pspBlock = readFile(kData + "sample_layers.psp");
    putLe32(pspBlock, 36 + 6, 0x7fffffffu);
    QTest::newRow("psp block longer than the file") << "e.psp" << pspBlock << "runs past its end";
    QByteArray pspZ = readFile(kData + "sample_composite.psp");
    // The composite's last channel: its layer alone would still load.
    const int deflated = pspZ.lastIndexOf(QByteArray("\x78\x9c", 2));
    QVERIFY(deflated > 0);
    pspZ[deflated + 2] = char(0xff);
    pspZ[deflated + 3] = char(0xff);
    QTest::newRow("psp corrupt deflate stream") << "f.psp" << pspZ << "damaged or truncated";
    QByteArray rpf = readFile(kData + "sample.rpf");
    rpf[658] = 0;
    rpf[659] = 16;
    QTest::newRow("rpf of 16-bit channels") << "g.rpf" << rpf << "16 bits per channel";
    QTest::newRow("psp signature only")
        << "h.psp" << QByteArray("Paint Shop Pro Image File\n\x1a\0\0\0\0\0\x06\0\0\0", 36)
        << "damaged or truncated";
    QTest::newRow("cel of other bytes")
        << "i.cel" << QByteArray(300, '\x11') << "not an Autodesk Animator picture";
}

void TestRasterMore::damagedHeaders() {
    QFETCH(QString, file);
    QFETCH(QByteArray, content);
    QFETCH(QString, expected);
    const QString path = m_dir.filePath(file);
    writeFile(path, content);
    const QString message = loadError(path);
    QVERIFY2(message.contains(path), qPrintable(message));
    QVERIFY2(message.contains(expected), qPrintable(message));
}

void TestRasterMore::damagedDwgIsRefusedClearly() {
    const QString sample = QStringLiteral(TEST_DATA_DIR "/dwg/sample_2018.dwg");
    QString message = loadError(sample);
    QVERIFY2(message.contains(sample) &&
                 message.contains("truncated file header (AutoCAD 2018 format)"),
             qPrintable(message));

    // An unknown release, and a .dwg without the signature.
    const QString future = m_dir.filePath("future.bin");
    writeFile(future, QByteArray("AC1099") + QByteArray(60, '\0'));
    message = loadError(future);
    QVERIFY2(message.contains("DWG version AC1099 is not supported"), qPrintable(message));
    const QString named = m_dir.filePath("named.dwg");
    writeFile(named, QByteArray(60, '\x01'));
    message = loadError(named);
    QVERIFY2(message.contains("not a DWG file"), qPrintable(message));

    // The command line tool says so and fails.
    QProcess tool;
    tool.start(QStringLiteral(VISTREL_TOOL), {"info", sample});
    QVERIFY(tool.waitForFinished(30000));
    QVERIFY(tool.exitCode() != 0);
    QVERIFY(QString::fromUtf8(tool.readAllStandardError()).contains("truncated file header"));
}

void TestRasterMore::formatsWithoutDecoder() {
    const QString ged = m_dir.filePath("thumb.ged");
    writeFile(ged, QByteArray(100, '\x02'));
    QString message = loadError(ged);
    QVERIFY2(message.contains(ged) &&
                 message.contains("the Arts & Letters GED image format is not supported"),
             qPrintable(message));
    const QString pal = m_dir.filePath("colours.pal");
    writeFile(pal, QByteArray(100, '\x02'));
    message = loadError(pal);
    QVERIFY2(message.contains(pal) && message.contains("holds colours, not a picture"),
             qPrintable(message));
}

QTEST_GUILESS_MAIN(TestRasterMore)
#include "test_raster_more.moc"
