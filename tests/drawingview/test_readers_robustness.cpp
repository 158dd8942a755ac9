// Every registered reader meets broken input: cut-off copies of sound files,
// copies with bytes overwritten, garbage behind valid signatures, and empty
// files. Each must either load or throw a ReadError naming the file.

#include "formats/Reader.h"

#include <QBuffer>
#include <QDir>
#include <QFile>
#include <QImage>
#include <QRandomGenerator>
#include <QTemporaryDir>
#include <QTest>

#include <sys/resource.h>

using namespace dv;

namespace {

// Fixture folders of the reader families; new families add theirs here.
const char* const kFixtureDirs[] = {"dxf", "raster", "wmf", "cgm", "hpgl", "svg", "emf"};

QByteArray encodeImage(const char* format) {
    QImage img(37, 23, QImage::Format_ARGB32);
    for (int y = 0; y < img.height(); ++y)
        for (int x = 0; x < img.width(); ++x)
            img.setPixel(x, y, qRgba(x * 7, y * 11, (x * y) & 0xff, 128 + x));
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    img.save(&buffer, format);
    return bytes;
}

// Prefix lengths: the first bytes one by one, powers of two, then tenths.
std::vector<qsizetype> cutPoints(qsizetype size) {
    std::vector<qsizetype> points = {1, 2, 3, 5, 8, 12, 14, 18, 26, 40, 54};
    for (qsizetype p = 64; p < size; p *= 2)
        points.push_back(p);
    for (int tenth = 1; tenth < 10; ++tenth)
        points.push_back(size * tenth / 10);
    points.push_back(size - 1);
    std::erase_if(points, [&](qsizetype p) { return p <= 0 || p >= size; });
    std::sort(points.begin(), points.end());
    points.erase(std::unique(points.begin(), points.end()), points.end());
    return points;
}

} // namespace

class TestReadersRobustness : public QObject {
    Q_OBJECT

private slots:
    void initTestCase();
    void brokenCopies_data();
    void brokenCopies();
    void garbage_data();
    void garbage();
    void emptyFiles();

private:
    // Loads `bytes` saved as `name`; fails the test unless the result is a
    // whole document or a ReadError naming the file.
    void feed(const QString& name, const QByteArray& bytes);

    QTemporaryDir m_dir;
    int m_loaded = 0;
    int m_refused = 0;
};

void TestReadersRobustness::initTestCase() {
    QVERIFY(m_dir.isValid());
    // A reader that believes a count field would otherwise take the
    // machine's memory before failing; bounded, it fails here at once.
    const rlim_t limit = rlim_t(6) << 30;
    rlimit current{};
    if (getrlimit(RLIMIT_AS, &current) == 0 && current.rlim_cur > limit) {
        const rlimit capped{limit, current.rlim_max};
        setrlimit(RLIMIT_AS, &capped);
    }
}

void TestReadersRobustness::feed(const QString& name, const QByteArray& bytes) {
    const QString path = m_dir.filePath(name);
    {
        QFile f(path);
        QVERIFY(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
        QCOMPARE(f.write(bytes), bytes.size());
    }
    try {
        const auto doc = ReaderRegistry::builtin().load(path);
        QVERIFY(doc);
        if (doc->kind == Document::Kind::Raster) {
            QVERIFY2(!doc->raster.isNull(), qPrintable(name));
            QVERIFY(doc->raster.format() == QImage::Format_RGB32 ||
                    doc->raster.format() == QImage::Format_ARGB32_Premultiplied);
        }
        ++m_loaded;
    } catch (const ReadError& e) {
        const QString message = QString::fromStdString(e.what());
        QVERIFY2(message.contains(path), qPrintable(message));
        QVERIFY2(!e.problem().isEmpty(), qPrintable(message));
        ++m_refused;
    } catch (const std::exception& e) {
        QFAIL(qPrintable(name + ": escaped as another exception: " + e.what()));
    }
}

void TestReadersRobustness::brokenCopies_data() {
    QTest::addColumn<QString>("name");
    QTest::addColumn<QByteArray>("bytes");
    for (const char* dirName : kFixtureDirs) {
        const QDir dir(QStringLiteral(TEST_DATA_DIR "/") + dirName);
        for (const QFileInfo& info : dir.entryInfoList(QDir::Files, QDir::Name)) {
            if (info.suffix() == "py" || info.suffix() == "sh" || info.suffix() == "md")
                continue;
            // A decompression bomb takes its full bound to refuse, each copy.
            if (info.fileName().startsWith("bomb"))
                continue;
            QFile f(info.filePath());
            if (!f.open(QIODevice::ReadOnly) || f.size() > 4 * 1024 * 1024)
                continue;
            QTest::newRow(qPrintable(QString(dirName) + "/" + info.fileName()))
                << info.fileName() << f.readAll();
        }
    }
    for (const char* format : {"png", "jpeg", "bmp", "gif", "tiff", "ico", "ppm", "webp"}) {
        const QByteArray bytes = encodeImage(format);
        if (!bytes.isEmpty())
            QTest::newRow(format) << QStringLiteral("generated.") + format << bytes;
    }
}

void TestReadersRobustness::brokenCopies() {
    QFETCH(QString, name);
    QFETCH(QByteArray, bytes);
    QVERIFY(!bytes.isEmpty());
    feed(name, bytes);
    // Every fax decode fills a whole 2592 x 3508 page: fewer variants there.
    const int every = name.endsWith(".fax") ? 4 : 1;
    const auto cuts = cutPoints(bytes.size());
    for (size_t i = 0; i < cuts.size(); i += every)
        feed(name, bytes.left(cuts[i]));
    // Overwritten bytes: in the header, where counts and sizes live, and
    // anywhere in the body. Seeded, so a failure repeats.
    QRandomGenerator random(uint32_t(qHash(name)));
    for (int round = 0; round < 24; round += every) {
        QByteArray copy = bytes;
        const int span = round < 12 ? std::min<int>(int(copy.size()), 64) : int(copy.size());
        for (int k = 0; k < 1 + round % 4; ++k) {
            const int at = random.bounded(span);
            copy[at] = char(round % 3 == 0 ? 0xff : random.bounded(256));
        }
        feed(name, copy);
    }
}

void TestReadersRobustness::garbage_data() {
    QTest::addColumn<QString>("suffix");
    QTest::addColumn<QByteArray>("signature");
    const QByteArray none;
    for (const char* suffix :
         {"dxf", "bmp", "rle", "dib", "ico", "jpg", "gif", "pcx",  "tif", "fax",
          "bw",  "rgb", "sgi", "cel", "tga", "vst", "pcd", "ppm",  "pgm", "pbm",
          "cut", "pal", "rla", "psd", "psp", "png", "ged", "webp", "txt"})
        QTest::newRow(suffix) << QString::fromLatin1(suffix) << none;
    for (const char* suffix : {"svg", "svgz", "emf"})
        QTest::newRow(suffix) << QString::fromLatin1(suffix) << none;
    // Random bodies behind real signatures reach past the sniffing.
    QTest::newRow("png signature") << "png" << QByteArray("\x89PNG\r\n\x1a\n");
    QTest::newRow("jpeg signature") << "jpg" << QByteArray("\xff\xd8\xff\xe0");
    QTest::newRow("gif signature") << "gif" << QByteArray("GIF89a");
    QTest::newRow("bmp signature") << "bmp" << QByteArray("BM\0\0\0\0\0\0\0\0\0\0\0\0(\0\0\0", 18);
    QTest::newRow("tiff signature") << "tif" << QByteArray("II*\0", 4);
    QTest::newRow("ico signature") << "ico" << QByteArray("\0\0\1\0\1\0", 6);
    QTest::newRow("psd signature") << "psd" << QByteArray("8BPS\0\1", 6);
    QTest::newRow("sgi signature") << "sgi" << QByteArray("\x01\xda\x01\x01", 4);
    QTest::newRow("pcx signature") << "pcx" << QByteArray("\x0a\x05\x01\x08", 4);
    QTest::newRow("utah rle signature") << "rle" << QByteArray("\x52\xcc", 2);
    QTest::newRow("pnm signature") << "ppm" << QByteArray("P6\n");
    QTest::newRow("webp signature") << "webp" << QByteArray("RIFF\0\0\0\0WEBPVP8 ", 16);
    QTest::newRow("dib header") << "dib" << QByteArray("(\0\0\0\5\0\0\0\3\0\0\0\1\0\x18\0", 16);
    QTest::newRow("svg root") << "svg" << QByteArray("<svg xmlns=\"http://www.w3.org/2000/svg\">");
    QTest::newRow("gzip signature") << "svgz" << QByteArray("\x1f\x8b\x08\0\0\0\0\0", 8);
    QTest::newRow("emf header") << "emf"
                                << QByteArray("\1\0\0\0\x6c\0\0\0", 8) + QByteArray(32, '\0') +
                                       QByteArray(" EMF");
    QTest::newRow("dxf section") << "dxf" << QByteArray("  0\nSECTION\n  2\nENTITIES\n  0\n");
    QTest::newRow("wmf placeable") << "wmf" << QByteArray("\xd7\xcd\xc6\x9a", 4);
    QTest::newRow("wmf header") << "wmf" << QByteArray("\1\0\x09\0\0\x03\0\0\0\0\4\0", 12);
}

void TestReadersRobustness::garbage() {
    QFETCH(QString, suffix);
    QFETCH(QByteArray, signature);
    QRandomGenerator random(uint32_t(qHash(suffix + signature)));
    for (const int size : {1, 7, 100, 2000, 70000}) {
        if (suffix == "fax" && size < 2000)
            continue; // see brokenCopies()
        QByteArray bytes = signature;
        while (bytes.size() < size + signature.size())
            bytes.append(char(random.bounded(256)));
        feed("garbage." + suffix, bytes);
        // Text-like garbage too, for the line-based readers.
        QByteArray text = signature;
        while (text.size() < size + signature.size())
            text.append(random.bounded(5) == 0 ? '\n' : char('0' + random.bounded(10)));
        feed("text." + suffix, text);
    }
}

void TestReadersRobustness::emptyFiles() {
    for (const char* name : {"empty.dxf", "empty.png", "empty.rla", "empty.psd", "empty"}) {
        const QString path = m_dir.filePath(name);
        QFile f(path);
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.close();
        try {
            ReaderRegistry::builtin().load(path);
            QFAIL(qPrintable(QString(name) + " loaded"));
        } catch (const ReadError& e) {
            QVERIFY(QString::fromStdString(e.what()).contains(path));
        }
    }
    qInfo("%d broken files loaded, %d refused", m_loaded, m_refused);
}

// SVG and metafile readers lay out text, which needs a GUI application.
QTEST_MAIN(TestReadersRobustness)
#include "test_readers_robustness.moc"
