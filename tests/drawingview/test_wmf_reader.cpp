// Windows metafiles played into drawings: units from the headers, pens,
// brushes, curves, text and bitmaps checked through vistrel-tool's info and
// rendered pixels, and damaged files refused or kept up to the damage.

#include "formats/Reader.h"
#include "formats/metafile/WmfReader.h"

#include <QFile>
#include <QImage>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

#include <cmath>

using namespace dv;

namespace {

const QString kData = QStringLiteral(TEST_DATA_DIR "/wmf/");
// The fixtures' frame is 1000 x 600 units at 100 per inch: rendered at
// 1000 x 600 without a border, one unit is one pixel, y down as in the file.
const QSize kRenderSize(1000, 600);

QByteArray readFile(const QString& path) {
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

QJsonObject info(const QString& file) {
    QProcess p;
    p.start(VISTREL_TOOL, {"info", kData + file});
    if (!p.waitForFinished(60000) || p.exitCode() != 0)
        return {};
    return QJsonDocument::fromJson(p.readAllStandardOutput()).object();
}

QImage render(const QString& file) {
    static QTemporaryDir dir;
    const QString out = dir.filePath(file + ".png");
    QProcess p;
    p.start(VISTREL_TOOL, {"render", kData + file, out, "--size", "1000x600", "--without-border"});
    if (!p.waitForFinished(60000) || p.exitCode() != 0)
        return {};
    return QImage(out).convertToFormat(QImage::Format_RGB32);
}

QString loadError(const QString& file) {
    try {
        ReaderRegistry::builtin().load(kData + file);
    } catch (const ReadError& e) {
        return QString::fromStdString(e.what());
    }
    return QStringLiteral("<loaded>");
}

QRgb rgbAt(const QImage& img, int x, int y) {
    return img.pixel(x, y) & 0xFFFFFF;
}

// Pixels in the rectangle that differ from white.
int inkIn(const QImage& img, const QRect& r) {
    int n = 0;
    for (int y = r.top(); y <= r.bottom(); ++y)
        for (int x = r.left(); x <= r.right(); ++x)
            n += rgbAt(img, x, y) != 0xFFFFFF;
    return n;
}

#define COMPARE_RGB(img, x, y, expected)                                                           \
    QVERIFY2(rgbAt(img, x, y) == QRgb(expected),                                                   \
             qPrintable(QStringLiteral("(%1,%2) is #%3, expected #%4")                             \
                            .arg(x)                                                                \
                            .arg(y)                                                                \
                            .arg(rgbAt(img, x, y), 6, 16, QLatin1Char('0'))                        \
                            .arg(QRgb(expected), 6, 16, QLatin1Char('0'))))

} // namespace

class TestWmfReader : public QObject {
    Q_OBJECT

private slots:
    void detection();
    void infoDescribesADrawingInMillimetres();
    void unitsAndMapping_data();
    void unitsAndMapping();
    void pensAndLines();
    void brushesAndFills();
    void dashedPensAndFillModes();
    void ellipsesArcsPiesAndChords();
    void text();
    void textAtTheCurrentPosition();
    void embeddedBitmaps();
    void saveAndRestoreState();
    void clipRectangles();
    void damagedFiles_data();
    void damagedFiles();
    void everyCutOfAFileLoadsOrIsRefused();
    void progressRunsToHundred();
};

void TestWmfReader::detection() {
    const QByteArray placeable = readFile(kData + "lines.wmf");
    const QByteArray standard = readFile(kData + "screen_units.wmf");
    QVERIFY(!placeable.isEmpty() && !standard.isEmpty());
    QVERIFY(wmfContentScore(placeable) >= 100);
    QVERIFY(wmfContentScore(standard) >= 100);
    QCOMPARE(wmfContentScore("plain text, not a metafile"), 0);
    // Content wins over a misleading suffix and over the raster reader.
    const auto& registry = ReaderRegistry::builtin();
    QCOMPARE(registry.choose(placeable, "png")->name(), QString("WMF"));
    QCOMPARE(registry.choose(standard, "wmf")->name(), QString("WMF"));
    QCOMPARE(registry.choose(standard, "")->name(), QString("WMF"));
    const Reader* bySuffix = registry.choose("not a metafile", "wmf");
    QVERIFY(bySuffix && bySuffix->name() == "WMF");
}

void TestWmfReader::infoDescribesADrawingInMillimetres() {
    const QJsonObject o = info("lines.wmf");
    QCOMPARE(o["format"].toString(), QString("WMF"));
    QCOMPARE(o["kind"].toString(), QString("drawing"));
    QCOMPARE(o["header"].toObject()["$INSUNITS"].toString(), QString("4"));
    const QJsonArray layers = o["layers"].toArray();
    QCOMPARE(layers.size(), 1);
    QCOMPARE(layers[0].toObject()["name"].toString(), QString("0"));
    const QJsonArray layouts = o["layouts"].toArray();
    QCOMPARE(layouts.size(), 1);
    QCOMPARE(layouts[0].toObject()["name"].toString(), QString("Model"));
    // 1000 x 600 units at 100 per inch.
    QCOMPARE(o["width"].toDouble(), 254.0);
    QCOMPARE(o["height"].toDouble(), 152.4);
    const QJsonObject counts = o["entities"].toObject()["Model"].toObject();
    QCOMPARE(counts["LINETO"].toInt(), 4);
    QCOMPARE(counts["POLYLINE"].toInt(), 1);

    const auto doc = ReaderRegistry::builtin().load(kData + "lines.wmf");
    QVERIFY(doc->exactColors);
    QVERIFY(doc->layouts[0].paperSpace);
}

void TestWmfReader::unitsAndMapping_data() {
    QTest::addColumn<QString>("file");
    QTest::addColumn<double>("width");
    QTest::addColumn<double>("height");
    // Each draws a rectangle meant to be 25.4 x 12.7 mm.
    QTest::newRow("placeable 1440 per inch, small window")
        << "placeable_mapping.wmf" << 25.4 << 12.7;
    QTest::newRow("no placeable header: 96 dpi") << "screen_units.wmf" << 25.4 << 12.7;
    QTest::newRow("MM_LOMETRIC") << "lometric.wmf" << 25.4 << 12.7;
    QTest::newRow("MM_ISOTROPIC keeps the aspect") << "isotropic.wmf" << 25.4 << 12.7;
}

void TestWmfReader::unitsAndMapping() {
    QFETCH(QString, file);
    QFETCH(double, width);
    QFETCH(double, height);
    const QJsonObject o = info(file);
    QCOMPARE(o["format"].toString(), QString("WMF"));
    QVERIFY2(std::abs(o["width"].toDouble() - width) < 1e-6,
             qPrintable(QString::number(o["width"].toDouble())));
    QVERIFY2(std::abs(o["height"].toDouble() - height) < 1e-6,
             qPrintable(QString::number(o["height"].toDouble())));
}

void TestWmfReader::pensAndLines() {
    const QImage img = render("lines.wmf");
    QCOMPARE(img.size(), kRenderSize);
    // A 20-unit red pen: solid across its width, nothing beyond.
    COMPARE_RGB(img, 500, 100, 0xFF0000);
    COMPARE_RGB(img, 500, 108, 0xFF0000);
    COMPARE_RGB(img, 500, 125, 0xFFFFFF);
    COMPARE_RGB(img, 500, 200, 0x0000FF); // the polyline's apex
    QVERIFY(inkIn(img, QRect(495, 399, 10, 3)) > 0);
    COMPARE_RGB(img, 500, 400, 0x00FF00);
    // The null pen and the "no operation" mix leave the page white.
    QCOMPARE(inkIn(img, QRect(100, 480, 800, 90)), 0);

    const auto doc = ReaderRegistry::builtin().load(kData + "lines.wmf");
    bool wide = false;
    for (const Shape& s : doc->blocks[0].shapes)
        if (s.color == Color::fromRgb(0xFF0000))
            wide = std::abs(s.width - 20 * 0.254) < 1e-4;
    QVERIFY(wide);
}

void TestWmfReader::brushesAndFills() {
    const QImage img = render("fills.wmf");
    QCOMPARE(img.size(), kRenderSize);
    COMPARE_RGB(img, 250, 200, 0xFFFF00); // brush inside
    COMPARE_RGB(img, 100, 200, 0x0000FF); // pen on the outline
    COMPARE_RGB(img, 750, 200, 0xFFFFFF); // hollow brush
    COMPARE_RGB(img, 600, 200, 0xFF0000);
    COMPARE_RGB(img, 150, 380, 0xFF00FF); // poly-polygon ring
    COMPARE_RGB(img, 250, 450, 0xFFFFFF); // and its hole
    COMPARE_RGB(img, 500, 200, 0x00FFFF); // rounded rectangle
    COMPARE_RGB(img, 452, 102, 0xFFFFFF); // outside its rounded corner
    COMPARE_RGB(img, 500, 380, 0x00FF00); // polygon
    COMPARE_RGB(img, 500, 530, 0xFF8000); // PatBlt in the brush
    // A transparent cross hatch: lines with paper between them.
    const int ink = inkIn(img, QRect(610, 360, 280, 180));
    QVERIFY2(ink > 2000 && ink < 280 * 180 / 2, qPrintable(QString::number(ink)));
}

void TestWmfReader::dashedPensAndFillModes() {
    const QImage img = render("styles.wmf");
    QCOMPARE(img.size(), kRenderSize);
    // Dashes: ink and gaps alternate along the line, dots more often.
    const auto runs = [&](int y) {
        int n = 0;
        for (int x = 101; x < 900; ++x)
            n += (inkIn(img, QRect(x, y - 1, 1, 3)) > 0) !=
                 (inkIn(img, QRect(x - 1, y - 1, 1, 3)) > 0);
        return n;
    };
    const int dashes = runs(100), dots = runs(150);
    QVERIFY2(dashes > 40 && dashes < 120, qPrintable(QString::number(dashes)));
    QVERIFY2(dots > 3 * dashes, qPrintable(QString::number(dots)));
    COMPARE_RGB(img, 250, 400, 0x0000FF); // winding: nested rings fill
    COMPARE_RGB(img, 750, 400, 0xFFFFFF); // alternate: a hole
    COMPARE_RGB(img, 650, 300, 0x0000FF);
}

void TestWmfReader::ellipsesArcsPiesAndChords() {
    const QImage img = render("curves.wmf");
    QCOMPARE(img.size(), kRenderSize);
    COMPARE_RGB(img, 200, 200, 0xFF0000); // ellipse filled
    COMPARE_RGB(img, 110, 110, 0xFFFFFF); // outside it, inside its box
    COMPARE_RGB(img, 200, 100, 0x0000FF); // its outline
    // The arc runs counter-clockwise from the right to the left: the top half.
    COMPARE_RGB(img, 500, 100, 0x0000FF);
    COMPARE_RGB(img, 500, 300, 0xFFFFFF);
    COMPARE_RGB(img, 850, 150, 0x00FF00); // pie: the upper right quarter
    COMPARE_RGB(img, 750, 250, 0xFFFFFF);
    COMPARE_RGB(img, 200, 400, 0xFFFF00); // chord: the upper half
    COMPARE_RGB(img, 200, 500, 0xFFFFFF);
}

void TestWmfReader::text() {
    const QImage img = render("text.wmf");
    QCOMPARE(img.size(), kRenderSize);
    // "Hello" hangs below its top-left reference point.
    int red = 0;
    for (int y = 100; y < 170; ++y)
        for (int x = 100; x < 400; ++x)
            red += rgbAt(img, x, y) == 0xFF0000;
    QVERIFY2(red > 300, qPrintable(QString::number(red)));
    QCOMPARE(inkIn(img, QRect(100, 40, 300, 55)), 0);
    // Rotated by 90 degrees: it rises from (700, 500) to the left of x = 700.
    QVERIFY(inkIn(img, QRect(640, 400, 58, 95)) > 200);
    // (the descender of "p" reaches just past the baseline)
    QCOMPARE(inkIn(img, QRect(720, 380, 180, 110)), 0);
    // The opaque box of ExtTextOut in the background colour, white text on it.
    COMPARE_RGB(img, 390, 390, 0x0000FF);
    QVERIFY(inkIn(img, QRect(100, 300, 300, 100)) < 300 * 100);

    const auto doc = ReaderRegistry::builtin().load(kData + "text.wmf");
    QStringList texts;
    for (const Text& t : doc->blocks[0].texts)
        texts << t.text;
    QCOMPARE(texts, QStringList({"Hello", "Up", "Box", QString::fromUtf8("Café €")}));
    const Text& up = doc->blocks[0].texts[1];
    QVERIFY(std::abs(up.rotation - M_PI / 2) < 1e-9);
    QVERIFY(doc->blocks[0].texts[2].oblique > 0); // italic
    // 60 units of character height, at 0.254 mm each, as a cap height.
    QVERIFY(std::abs(doc->blocks[0].texts[0].height - 60 * 0.254 * 0.716) < 1e-6);
}

void TestWmfReader::textAtTheCurrentPosition() {
    const auto doc = ReaderRegistry::builtin().load(kData + "text_current_position.wmf");
    const auto& texts = doc->blocks[0].texts;
    QCOMPARE(texts.size(), size_t(2));
    // Both runs sit on the baseline at y = 300 units (152.4 - 76.2 mm from
    // the bottom), the second after the first; the given point is ignored.
    QCOMPARE(texts[0].position.x, 100 * 0.254);
    QCOMPARE(texts[0].position.y, 300 * 0.254);
    QCOMPARE(texts[1].position.y, texts[0].position.y);
    QVERIFY(texts[1].position.x > texts[0].position.x + 40 * 0.254);
    const QImage img = render("text_current_position.wmf");
    QCOMPARE(inkIn(img, QRect(850, 0, 150, 120)), 0);
    QVERIFY(inkIn(img, QRect(100, 240, 300, 60)) > 300);
}

void TestWmfReader::embeddedBitmaps() {
    const QImage img = render("bitmaps.wmf");
    QCOMPARE(img.size(), kRenderSize);
    COMPARE_RGB(img, 200, 250, 0xFF0000); // 24-bit, left half
    COMPARE_RGB(img, 700, 250, 0x0000FF); // right half
    COMPARE_RGB(img, 150, 475, 0x00FF00); // 8-bit palette, top row first
    COMPARE_RGB(img, 250, 475, 0xFFFF00);
    COMPARE_RGB(img, 150, 525, 0xFFFF00);
    COMPARE_RGB(img, 600, 500, 0x00FFFF); // run-length coded
    COMPARE_RGB(img, 800, 500, 0xFF00FF); // colours from the selected palette
    COMPARE_RGB(img, 900, 500, 0xFF8000);
    COMPARE_RGB(img, 900, 250, 0xFFFFFF);
}

void TestWmfReader::saveAndRestoreState() {
    const QImage img = render("save_restore.wmf");
    QCOMPARE(img.size(), kRenderSize);
    COMPARE_RGB(img, 700, 200, 0x0000FF); // drawn with the saved-over state
    COMPARE_RGB(img, 200, 200, 0xFF0000); // the restored brush and origin
    COMPARE_RGB(img, 200, 450, 0xFF0000); // a restore with nothing saved changes nothing
}

void TestWmfReader::clipRectangles() {
    const QImage img = render("clipping.wmf");
    QCOMPARE(img.size(), kRenderSize);
    COMPARE_RGB(img, 200, 150, 0x00FF00); // inside the clip
    COMPARE_RGB(img, 75, 75, 0xFFFFFF);   // the rectangle's part outside it
    COMPARE_RGB(img, 420, 320, 0xFFFFFF);
    COMPARE_RGB(img, 250, 200, 0xFF0000); // the line, cut at the clip's edges
    COMPARE_RGB(img, 80, 200, 0xFFFFFF);
    COMPARE_RGB(img, 500, 200, 0xFFFFFF);
    COMPARE_RGB(img, 750, 200, 0x0000FF); // restored: no clip
    COMPARE_RGB(img, 520, 370, 0xFF00FF); // a clip ended by selecting no region
    COMPARE_RGB(img, 880, 530, 0xFF00FF);
}

void TestWmfReader::damagedFiles_data() {
    QTest::addColumn<QString>("file");
    QTest::addColumn<QString>("error");   // expected in the message; empty: it loads
    QTest::addColumn<QString>("skipped"); // for files that load
    QTest::addColumn<int>("kept");        // rectangles drawn before the damage
    QTest::newRow("bad header") << "bad_header.wmf"
                                << "header at byte offset 0 is damaged"
                                << "" << 0;
    QTest::newRow("cut header") << "cut_header.wmf"
                                << "header is cut off"
                                << "" << 0;
    QTest::newRow("nothing drawn") << "nothing.wmf"
                                   << "draws nothing"
                                   << "" << 0;
    QTest::newRow("first record too long") << "first_record_broken.wmf"
                                           << "record 1 at byte offset 40"
                                           << "" << 0;
    QTest::newRow("cut in a record") << "truncated.wmf"
                                     << ""
                                     << "damaged record (reading stopped)" << 2;
    QTest::newRow("zero record size") << "zero_size.wmf"
                                      << ""
                                      << "damaged record (reading stopped)" << 2;
    QTest::newRow("point count beyond the record") << "overcount.wmf"
                                                   << ""
                                                   << "damaged record" << 3;
    QTest::newRow("object table full") << "object_overflow.wmf"
                                       << ""
                                       << "object beyond the object table" << 2;
    QTest::newRow("bitmap cut off") << "bad_bitmap.wmf"
                                    << ""
                                    << "STRETCHDIB: the bitmap's pixels are cut off" << 1;
}

void TestWmfReader::damagedFiles() {
    QFETCH(QString, file);
    QFETCH(QString, error);
    QFETCH(QString, skipped);
    QFETCH(int, kept);
    if (!error.isEmpty()) {
        const QString message = loadError(file);
        QVERIFY2(message.contains(kData + file) && message.contains(error), qPrintable(message));
        return;
    }
    const auto doc = ReaderRegistry::builtin().load(kData + file);
    QVERIFY2(doc->skippedEntities.count(skipped), qPrintable(file));
    // What came before the damage is kept.
    QCOMPARE(doc->blocks[0].entityCounts[QStringLiteral("RECTANGLE")], kept);
    if (file == "object_overflow.wmf") {
        // The second brush found no slot, so the first (red) stays selected.
        const QImage img = render(file);
        COMPARE_RGB(img, 200, 200, 0xFF0000);
    }
}

void TestWmfReader::everyCutOfAFileLoadsOrIsRefused() {
    for (const char* name : {"fills.wmf", "text.wmf", "bitmaps.wmf"}) {
        const QByteArray bytes = readFile(kData + name);
        QVERIFY(!bytes.isEmpty());
        int loaded = 0;
        for (qsizetype n = 0; n < bytes.size(); ++n) {
            try {
                readWmfBytes(bytes.left(n), QStringLiteral("cut.wmf"));
                ++loaded;
            } catch (const ReadError& e) {
                QVERIFY(QString::fromStdString(e.what()).contains("cut.wmf"));
            }
        }
        QVERIFY(loaded > 0);
    }
}

void TestWmfReader::progressRunsToHundred() {
    std::vector<int> seen;
    readWmfBytes(readFile(kData + "fills.wmf"), "fills.wmf", [&](int p) { seen.push_back(p); });
    QVERIFY(!seen.empty());
    QCOMPARE(seen.back(), 100);
    QVERIFY(std::is_sorted(seen.begin(), seen.end()));
}

QTEST_GUILESS_MAIN(TestWmfReader)
#include "test_wmf_reader.moc"
