// Opening raster images of every format the viewer offers, by content and by
// suffix, and refusing damaged, oversized and unsupported ones cleanly.

#include "formats/Reader.h"

#include <QBuffer>
#include <QFile>
#include <QImage>
#include <QImageWriter>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>

#include <algorithm>
#include <cstdlib>

using namespace dv;

namespace dv {
std::unique_ptr<Reader> makeRasterReader();
}

namespace {

const QString kData = QStringLiteral(TEST_DATA_DIR "/raster/");
const QColor kBg(200, 40, 40);
const QColor kFg(20, 120, 220);

std::unique_ptr<Document> load(const QString& path) {
    return ReaderRegistry::builtin().load(path);
}

// The message of the ReadError that loading `path` throws; fails the test
// when the file loads.
QString loadError(const QString& path) {
    try {
        load(path);
    } catch (const ReadError& e) {
        return QString::fromStdString(e.what());
    }
    return QStringLiteral("<loaded>");
}

bool near(const QColor& a, const QColor& b, int tolerance) {
    return std::abs(a.red() - b.red()) <= tolerance &&
           std::abs(a.green() - b.green()) <= tolerance &&
           std::abs(a.blue() - b.blue()) <= tolerance &&
           std::abs(a.alpha() - b.alpha()) <= tolerance;
}

QString describe(const QColor& c) {
    return QStringLiteral("(%1,%2,%3,%4)").arg(c.red()).arg(c.green()).arg(c.blue()).arg(c.alpha());
}

#define COMPARE_COLOR(actual, expected, tolerance)                                                 \
    QVERIFY2(near(actual, expected, tolerance),                                                    \
             qPrintable(describe(actual) + " != " + describe(expected)))

// Two 8 x 8 blocks side by side, so lossy codecs keep each block's colour.
QImage twoBlocks(const QColor& left, const QColor& right) {
    QImage img(16, 8, QImage::Format_RGB32);
    for (int y = 0; y < 8; ++y)
        for (int x = 0; x < 16; ++x)
            img.setPixelColor(x, y, x < 8 ? left : right);
    return img;
}

void writeFile(const QString& path, const QByteArray& bytes) {
    QFile f(path);
    QVERIFY(f.open(QIODevice::WriteOnly));
    f.write(bytes);
}

QByteArray readFile(const QString& path) {
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly))
        return {};
    return f.readAll();
}

// The CRC of PNG chunks, so that an edited header still passes as sound.
uint32_t crc32(const QByteArray& bytes) {
    uint32_t crc = 0xffffffffu;
    for (const char c : bytes) {
        crc ^= uint8_t(c);
        for (int k = 0; k < 8; ++k)
            crc = (crc >> 1) ^ (0xedb88320u & (0u - (crc & 1u)));
    }
    return ~crc;
}

QByteArray encode(const QImage& img, const char* format, int quality = -1) {
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    QImageWriter writer(&buffer, format);
    writer.setQuality(quality);
    writer.write(img);
    return bytes;
}

} // namespace

class TestRasterReader : public QObject {
    Q_OBJECT

private slots:
    void qtFormats_data();
    void qtFormats();
    void fixtures_data();
    void fixtures();
    void photoCd();
    void unsupportedFormats_data();
    void unsupportedFormats();
    void contentDecides();
    void notClaimed();
    void damagedFiles_data();
    void damagedFiles();
    void oversizedImagesAreRefused();
    void imageMagickKeepsToTheChosenCoder();
    void alphaAndOpaqueFormats();
    void pyramidOfLoadedImage();
    void progressRunsFromZeroToHundred();
    void bundledSample();

private:
    QTemporaryDir m_dir;
};

void TestRasterReader::qtFormats_data() {
    QTest::addColumn<QString>("suffix");
    QTest::addColumn<QByteArray>("codec");
    QTest::addColumn<QColor>("left");
    QTest::addColumn<QColor>("right");
    QTest::addColumn<int>("tolerance");
    QTest::addColumn<QString>("formatName");
    const QColor grey200(200, 200, 200), grey20(20, 20, 20);
    QTest::newRow("png") << "png" << QByteArray("png") << kBg << kFg << 0 << "PNG";
    QTest::newRow("jpg") << "jpg" << QByteArray("jpeg") << kBg << kFg << 8 << "JPEG";
    QTest::newRow("jpeg") << "jpeg" << QByteArray("jpeg") << kBg << kFg << 8 << "JPEG";
    QTest::newRow("bmp") << "bmp" << QByteArray("bmp") << kBg << kFg << 0 << "BMP";
    QTest::newRow("dib") << "dib" << QByteArray("bmp") << kBg << kFg << 0 << "BMP";
    QTest::newRow("tif") << "tif" << QByteArray("tiff") << kBg << kFg << 0 << "TIFF";
    QTest::newRow("tiff") << "tiff" << QByteArray("tiff") << kBg << kFg << 0 << "TIFF";
    QTest::newRow("ico") << "ico" << QByteArray("ico") << kBg << kFg << 0 << "ICO";
    QTest::newRow("ppm") << "ppm" << QByteArray("ppm") << kBg << kFg << 0 << "PPM";
    QTest::newRow("pgm") << "pgm" << QByteArray("pgm") << grey200 << grey20 << 0 << "PGM";
    QTest::newRow("pbm") << "pbm" << QByteArray("pbm") << QColor(Qt::white) << QColor(Qt::black)
                         << 0 << "PBM";
    QTest::newRow("webp") << "webp" << QByteArray("webp") << kBg << kFg << 0 << "WebP";
}

void TestRasterReader::qtFormats() {
    QFETCH(QString, suffix);
    QFETCH(QByteArray, codec);
    QFETCH(QColor, left);
    QFETCH(QColor, right);
    QFETCH(int, tolerance);
    QFETCH(QString, formatName);
    const QString path = m_dir.filePath("picture." + suffix);
    // Lossless webp at quality 100; the best jpeg otherwise.
    writeFile(path, encode(twoBlocks(left, right), codec, 100));

    const auto doc = load(path);
    QCOMPARE(doc->kind, Document::Kind::Raster);
    QCOMPARE(doc->format, formatName);
    QCOMPARE(doc->fileName, path);
    QCOMPARE(doc->raster.size(), QSize(16, 8));
    QVERIFY(doc->layouts.empty());
    COMPARE_COLOR(doc->raster.pixelColor(3, 4), left, tolerance);
    COMPARE_COLOR(doc->raster.pixelColor(12, 2), right, tolerance);
}

void TestRasterReader::fixtures_data() {
    QTest::addColumn<QString>("file");
    QTest::addColumn<QSize>("size");
    QTest::addColumn<QColor>("background");
    QTest::addColumn<QColor>("probe");
    QTest::addColumn<QString>("formatName");
    const QSize s(5, 3);
    const QColor grey200(200, 200, 200), grey20(20, 20, 20);
    QTest::newRow("gif") << "sample.gif" << s << kBg << kFg << "GIF";
    QTest::newRow("pcx") << "sample.pcx" << s << kBg << kFg << "PCX";
    QTest::newRow("sgi") << "sample.sgi" << s << kBg << kFg << "SGI";
    QTest::newRow("rgb") << "sample.rgb" << s << kBg << kFg << "SGI";
    QTest::newRow("bw") << "sample.bw" << s << grey200 << grey20 << "SGI";
    QTest::newRow("rgba") << "sample.rgba" << s << QColor(200, 40, 40, 128) << kFg << "SGI";
    QTest::newRow("tga") << "sample.tga" << s << kBg << kFg << "Truevision TGA";
    QTest::newRow("vst run-length") << "sample.vst" << s << kBg << kFg << "Truevision TGA";
    QTest::newRow("icb") << "sample.icb" << s << kBg << kFg << "Truevision TGA";
    QTest::newRow("vda") << "sample.vda" << s << kBg << kFg << "Truevision TGA";
    QTest::newRow("win") << "sample.win" << s << kBg << kFg << "Truevision TGA";
    QTest::newRow("tga footer, other name")
        << "tga_with_footer.dat" << s << kBg << kFg << "Truevision TGA";
    QTest::newRow("psd") << "sample.psd" << s << kBg << kFg << "Photoshop";
    QTest::newRow("pdd") << "sample.pdd" << s << kBg << kFg << "Photoshop";
    QTest::newRow("utah rle") << "sample.rle" << s << kBg << kFg << "Utah RLE";
    QTest::newRow("windows bmp as rle") << "windows_bmp.rle" << s << kBg << kFg << "BMP";
    QTest::newRow("headerless dib") << "headerless.dib" << s << kBg << kFg << "DIB";
    QTest::newRow("cut") << "sample.cut" << s << grey200 << grey20 << "Dr. Halo CUT";
    QTest::newRow("rla") << "sample.rla" << s << kBg << kFg << "Wavefront RLA";
    // Raw G3 data carries no size: ImageMagick assumes its standard width.
    QTest::newRow("fax") << "sample.fax" << QSize(2592, 8) << QColor(Qt::white) << QColor(Qt::black)
                         << "G3 fax";
}

void TestRasterReader::fixtures() {
    QFETCH(QString, file);
    QFETCH(QSize, size);
    QFETCH(QColor, background);
    QFETCH(QColor, probe);
    QFETCH(QString, formatName);
    const auto doc = load(kData + file);
    QCOMPARE(doc->format, formatName);
    QCOMPARE(doc->raster.size(), size);
    COMPARE_COLOR(doc->raster.pixelColor(0, 0), background, 1);
    COMPARE_COLOR(doc->raster.pixelColor(3, 1), probe, 1);
}

void TestRasterReader::photoCd() {
    // A Photo CD image is 768 KB at least, too big to keep among the
    // fixtures: ImageMagick's own writer makes one. That writer keeps no
    // colours worth probing, so only the base size is checked.
    const QString convert = QStandardPaths::findExecutable("convert");
    if (convert.isEmpty())
        QSKIP("ImageMagick's convert is not installed");
    const QString source = m_dir.filePath("pcd-source.png");
    QVERIFY(twoBlocks(kBg, kFg).save(source));
    const QString path = m_dir.filePath("photo.pcd");
    QCOMPARE(QProcess::execute(convert, {source, "pcd:" + path}), 0);
    const auto doc = load(path);
    QCOMPARE(doc->format, QStringLiteral("Kodak Photo CD"));
    QCOMPARE(doc->raster.size(), QSize(768, 512));
    QCOMPARE(doc->raster.format(), QImage::Format_RGB32);
}

void TestRasterReader::unsupportedFormats_data() {
    QTest::addColumn<QString>("fileName");
    QTest::addColumn<QByteArray>("content");
    QTest::addColumn<QString>("expected");
    const QByteArray junk("\x01\x02\x03\x04 nothing that any reader recognises", 40);
    QTest::newRow("ged") << "a.ged" << junk
                         << "the Arts & Letters GED image format is not supported";
    QTest::newRow("pal") << "a.pal" << junk << "Dr. Halo palette file holds colours, not a picture";
    // Formats with a decoder of their own say what is wrong with the bytes.
    QTest::newRow("cel") << "a.cel" << junk << "the file is not an Autodesk Animator picture";
    QTest::newRow("pic") << "a.pic" << junk << "the file is not an Autodesk Animator picture";
    QTest::newRow("rpf") << "a.rpf" << junk << "damaged or truncated";
    QTest::newRow("psp") << "a.psp" << junk << "the file is not a Paint Shop Pro image";
    QTest::newRow("psp content, other name")
        << "a.bin" << QByteArray("Paint Shop Pro Image File\n\x1a\0\0\0\0\0", 32)
        << "damaged or truncated";
}

void TestRasterReader::unsupportedFormats() {
    QFETCH(QString, fileName);
    QFETCH(QByteArray, content);
    QFETCH(QString, expected);
    const QString path = m_dir.filePath(fileName);
    writeFile(path, content);
    const QString message = loadError(path);
    QVERIFY2(message.contains(path), qPrintable(message));
    QVERIFY2(message.contains(expected), qPrintable(message));
}

void TestRasterReader::contentDecides() {
    const QByteArray png = encode(twoBlocks(kBg, kFg), "png");
    const QByteArray bmp = encode(twoBlocks(kBg, kFg), "bmp");
    const QByteArray jpeg = encode(twoBlocks(kBg, kFg), "jpeg", 100);
    struct Case {
        const char* name;
        QByteArray bytes;
        const char* format;
    };
    for (const Case& c : {Case{"png-named.jpg", png, "PNG"}, Case{"bmp-named.dib", bmp, "BMP"},
                          Case{"jpeg-named.png", jpeg, "JPEG"}, Case{"png-named.pcx", png, "PNG"},
                          Case{"png-named.dxf", png, "PNG"}, Case{"png-named.cel", png, "PNG"},
                          Case{"png-without-suffix", png, "PNG"}}) {
        const QString path = m_dir.filePath(c.name);
        writeFile(path, c.bytes);
        std::unique_ptr<Document> doc;
        try {
            doc = load(path);
        } catch (const ReadError& e) {
            QFAIL(e.what());
        }
        QCOMPARE(doc->format, QString::fromLatin1(c.format));
        QCOMPARE(doc->raster.size(), QSize(16, 8));
    }
}

void TestRasterReader::notClaimed() {
    // Metafiles, SVG and DXF are drawings: the raster reader leaves them.
    const auto raster = makeRasterReader();
    QByteArray emf(64, '\0');
    emf[0] = 1;
    emf.replace(40, 4, " EMF");
    const QByteArray wmf("\xd7\xcd\xc6\x9a\0\0\0\0\0\0\0\0\0\0\0\0", 16);
    const QByteArray svg("<?xml version=\"1.0\"?><svg xmlns=\"http://www.w3.org/2000/svg\"/>");
    const QByteArray dxf("  0\nSECTION\n  2\nHEADER\n  0\nENDSEC\n  0\nEOF\n");
    QCOMPARE(raster->score(emf, "emf"), 0);
    QCOMPARE(raster->score(emf, "png"), 50); // the suffix alone, not the metafile
    QCOMPARE(raster->score(wmf, "wmf"), 0);
    QCOMPARE(raster->score(svg, "svg"), 0);
    QCOMPARE(raster->score(dxf, "dxf"), 0);
    QCOMPARE(raster->score("plain text", "plt"), 0);
    QVERIFY(raster->score(encode(twoBlocks(kBg, kFg), "png"), "") >= 100);
    QCOMPARE(raster->score("plain text", "TIF"), 50);
}

void TestRasterReader::damagedFiles_data() {
    QTest::addColumn<QString>("fileName");
    QTest::addColumn<QByteArray>("content");
    const QImage big = twoBlocks(kBg, kFg).scaled(400, 200);
    const QByteArray png = encode(big, "png");
    const QByteArray jpeg = encode(big, "jpeg");
    const QByteArray psd = readFile(kData + "sample.psd");
    const QByteArray rla = readFile(kData + "sample.rla");
    QTest::newRow("png cut in its header") << "a.png" << png.left(20);
    QTest::newRow("png without its end") << "b.png" << png.left(png.size() / 2);
    QTest::newRow("jpeg cut in its header") << "c.jpg" << jpeg.left(40);
    QTest::newRow("garbage named png") << "d.png" << QByteArray(3000, '\x5a');
    QTest::newRow("garbage named pcx") << "e.pcx" << QByteArray(3000, '\x07');
    QTest::newRow("garbage named tga") << "f.tga" << QByteArray(3000, '\x07');
    QTest::newRow("psd without pixels") << "g.psd" << psd.left(40);
    QTest::newRow("rla without scanlines") << "h.rla" << rla.left(760);
    QTest::newRow("rla header only") << "i.rla" << rla.left(300);
    QTest::newRow("gif signature only") << "j.gif" << QByteArray("GIF89a");
}

void TestRasterReader::damagedFiles() {
    QFETCH(QString, fileName);
    QFETCH(QByteArray, content);
    const QString path = m_dir.filePath(fileName);
    writeFile(path, content);
    try {
        const auto doc = load(path);
        // A decoder may give what it could read of a cut file; it must then
        // be a whole image.
        QVERIFY(!doc->raster.isNull());
        QVERIFY(doc->raster.format() == QImage::Format_RGB32 ||
                doc->raster.format() == QImage::Format_ARGB32_Premultiplied);
    } catch (const ReadError& e) {
        const QString message = QString::fromStdString(e.what());
        QVERIFY2(message.contains(path), qPrintable(message));
        QVERIFY2(message.contains("damaged or truncated") || message.contains("not an image"),
                 qPrintable(message));
    }
}

void TestRasterReader::oversizedImagesAreRefused() {
    // A PNG header claiming 100,000 x 100,000 pixels.
    QByteArray png = encode(twoBlocks(kBg, kFg), "png");
    const char side[4] = {0x00, 0x01, char(0x86), char(0xa0)};
    png.replace(16, 4, QByteArray(side, 4));
    png.replace(20, 4, QByteArray(side, 4));
    const uint32_t crc = crc32(png.mid(12, 17));
    for (int i = 0; i < 4; ++i)
        png[29 + i] = char(crc >> (24 - 8 * i));
    const QString pngPath = m_dir.filePath("huge.png");
    writeFile(pngPath, png);
    QString message = loadError(pngPath);
    QVERIFY2(message.contains(pngPath) && message.contains("too large"), qPrintable(message));

    // An SGI header claiming 65,535 x 65,535 (ImageMagick's path).
    QByteArray sgi = readFile(kData + "sample.sgi");
    QVERIFY(sgi.size() > 10);
    sgi[6] = sgi[7] = sgi[8] = sgi[9] = char(0xff);
    const QString sgiPath = m_dir.filePath("huge.sgi");
    writeFile(sgiPath, sgi);
    message = loadError(sgiPath);
    QVERIFY2(message.contains(sgiPath) && message.contains("too large"), qPrintable(message));

    // An RLA header whose active window spans 60,000 columns.
    QByteArray rla = readFile(kData + "sample.rla");
    rla[8] = char(0x8a); // left = -30000
    rla[9] = char(0xd0);
    rla[10] = char(0x75); // right = 30000
    rla[11] = char(0x30);
    const QString rlaPath = m_dir.filePath("huge.rla");
    writeFile(rlaPath, rla);
    message = loadError(rlaPath);
    QVERIFY2(message.contains(rlaPath) && message.contains("too large"), qPrintable(message));
}

void TestRasterReader::imageMagickKeepsToTheChosenCoder() {
    // Left to itself ImageMagick would pick a coder from the content, and
    // some of its coders run scripts or fetch files.
    const QByteArray svg("<?xml version=\"1.0\"?>\n<svg xmlns=\"http://www.w3.org/2000/svg\" "
                         "width=\"4\" height=\"4\"><rect width=\"4\" height=\"4\"/></svg>\n");
    const QByteArray mvg("push graphic-context\nviewbox 0 0 4 4\nfill red\nrectangle 0,0 4,4\n"
                         "pop graphic-context\n");
    for (const auto& [name, bytes] : {std::pair{"svg.tga", svg}, std::pair{"svg.pcx", svg},
                                      std::pair{"mvg.psd", mvg}, std::pair{"mvg.sgi", mvg}}) {
        const QString path = m_dir.filePath(name);
        writeFile(path, bytes);
        // The registry gives SVG content to the SVG reader; asked directly,
        // the raster reader must still refuse it.
        QString message = QStringLiteral("<loaded>");
        try {
            makeRasterReader()->read(path, [](int) {});
        } catch (const ReadError& e) {
            message = QString::fromStdString(e.what());
        }
        QVERIFY2(message.contains(path) && message.contains("damaged or truncated"),
                 qPrintable(message));
    }
}

void TestRasterReader::alphaAndOpaqueFormats() {
    QImage translucent(4, 4, QImage::Format_ARGB32);
    translucent.fill(QColor(255, 0, 0, 51));
    QImage opaqueWithAlpha(4, 4, QImage::Format_ARGB32);
    opaqueWithAlpha.fill(QColor(10, 20, 30, 255));
    const QString a = m_dir.filePath("translucent.png");
    const QString b = m_dir.filePath("opaque-alpha.png");
    QVERIFY(translucent.save(a));
    QVERIFY(opaqueWithAlpha.save(b));

    const auto docA = load(a);
    QCOMPARE(docA->raster.format(), QImage::Format_ARGB32_Premultiplied);
    QCOMPARE(docA->raster.pixel(1, 1), qRgba(51, 0, 0, 51)); // premultiplied
    const auto docB = load(b);
    QCOMPARE(docB->raster.format(), QImage::Format_RGB32);
    QCOMPARE(docB->raster.pixelColor(2, 2), QColor(10, 20, 30));

    // 16-bit channels come down to 8.
    QImage deep(4, 4, QImage::Format_RGBA64);
    deep.fill(QColor(255, 0, 0, 51));
    const QString c = m_dir.filePath("deep.png");
    QVERIFY(deep.save(c));
    const auto docC = load(c);
    QCOMPARE(docC->raster.format(), QImage::Format_ARGB32_Premultiplied);
    QCOMPARE(docC->raster.pixel(3, 3), qRgba(51, 0, 0, 51));
}

void TestRasterReader::pyramidOfLoadedImage() {
    QImage img(1001, 600, QImage::Format_RGB32);
    img.fill(QColor(100, 100, 100));
    // The top-left 2 x 2 block averages to (2, 4, 6) after rounding (1.5 -> 2).
    img.setPixel(0, 0, qRgb(0, 0, 0));
    img.setPixel(1, 0, qRgb(2, 4, 8));
    img.setPixel(0, 1, qRgb(2, 4, 8));
    img.setPixel(1, 1, qRgb(4, 8, 8));
    const QString path = m_dir.filePath("pyramid.png");
    QVERIFY(img.save(path));

    const auto doc = load(path);
    QCOMPARE(doc->rasterPyramid.size(), size_t(2));
    QCOMPARE(doc->rasterPyramid[0].size(), QSize(501, 300));
    QCOMPARE(doc->rasterPyramid[1].size(), QSize(251, 150));
    QCOMPARE(doc->rasterPyramid[0].pixel(0, 0), qRgb(2, 4, 6));
    QCOMPARE(doc->rasterPyramid[0].pixel(100, 100), qRgb(100, 100, 100));
    QCOMPARE(doc->rasterPyramid[0].format(), doc->raster.format());

    const QString small = m_dir.filePath("small.png");
    QVERIFY(img.copy(0, 0, 256, 100).save(small));
    QVERIFY(load(small)->rasterPyramid.empty());
}

void TestRasterReader::progressRunsFromZeroToHundred() {
    const QString path = m_dir.filePath("progress.png");
    QVERIFY(QImage(600, 600, QImage::Format_RGB32).save(path));
    std::vector<int> seen;
    ReaderRegistry::builtin().load(path, [&](int p) { seen.push_back(p); });
    QVERIFY(seen.size() >= 3);
    QCOMPARE(seen.front(), 0);
    QCOMPARE(seen.back(), 100);
    QVERIFY(std::is_sorted(seen.begin(), seen.end()));
    QVERIFY(std::any_of(seen.begin(), seen.end(), [](int p) { return p > 0 && p < 100; }));
}

void TestRasterReader::bundledSample() {
    const auto doc = load(QStringLiteral(TEST_DATA_DIR "/../../samples/harbour.png"));
    QCOMPARE(doc->format, QStringLiteral("PNG"));
    QCOMPARE(doc->raster.size(), QSize(960, 600));
    QCOMPARE(doc->raster.format(), QImage::Format_RGB32);
    QCOMPARE(doc->rasterPyramid.size(), size_t(2));
    QCOMPARE(doc->rasterPyramid.back().size(), QSize(240, 150));
}

QTEST_GUILESS_MAIN(TestRasterReader)
#include "test_raster_reader.moc"
