// Reads the binary CGM fixtures (written by tests/data/cgm/make_fixtures.py)
// and checks what lands in the document, what vistrel-tool reports and what
// the rendered pictures show; damaged files must fail with a clear message.

#include "formats/Reader.h"
#include "formats/metafile/CgmReader.h"

#include <QDir>
#include <QFile>
#include <QImage>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QTemporaryDir>
#include <QtTest>

#include <cmath>
#include <numbers>

using namespace dv;

namespace {

QString fixture(const char* name) {
    return QStringLiteral(TEST_DATA_DIR "/cgm/") + QLatin1String(name);
}

QByteArray bytesOf(const QString& path) {
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

std::unique_ptr<Document> load(const char* name) {
    return ReaderRegistry::builtin().load(fixture(name));
}

QString loadError(const QString& path) {
    try {
        ReaderRegistry::builtin().load(path);
    } catch (const ReadError& e) {
        return QString::fromStdString(e.what());
    }
    return QStringLiteral("<loaded>");
}

QJsonObject info(const char* name) {
    QProcess p;
    p.start(VISTREL_TOOL, {"info", fixture(name)});
    if (!p.waitForFinished(60000) || p.exitCode() != 0)
        return {};
    return QJsonDocument::fromJson(p.readAllStandardOutput()).object();
}

// Renders a layout without border at `size`, whose aspect matches the
// picture's extents, so VDC maps straight onto pixels.
struct Rendered {
    QImage image;
    double x0, y0, x1, y1; // the extents shown
    QColor at(double x, double y) const {
        const double px = (x - x0) / (x1 - x0) * image.width();
        const double py = (y1 - y) / (y1 - y0) * image.height();
        return image.pixelColor(std::clamp(int(px), 0, image.width() - 1),
                                std::clamp(int(py), 0, image.height() - 1));
    }
};

Rendered render(const char* name, QSize size, QRectF extents, const QString& layout = {}) {
    static QTemporaryDir dir;
    const QString out = dir.filePath(QStringLiteral("out.png"));
    QStringList args = {"render",
                        fixture(name),
                        out,
                        "--size",
                        QStringLiteral("%1x%2").arg(size.width()).arg(size.height()),
                        "--without-border"};
    if (!layout.isEmpty())
        args << "--layout" << layout;
    QProcess p;
    p.start(VISTREL_TOOL, args);
    p.waitForFinished(60000);
    return {QImage(out), extents.left(), extents.top(), extents.right(), extents.bottom()};
}

bool near(const QColor& a, const QColor& b, int tolerance = 40) {
    return std::abs(a.red() - b.red()) <= tolerance &&
           std::abs(a.green() - b.green()) <= tolerance &&
           std::abs(a.blue() - b.blue()) <= tolerance;
}

#define COMPARE_COLOR(actual, expected)                                                            \
    do {                                                                                           \
        const QColor a_ = (actual), e_ = (expected);                                               \
        QVERIFY2(near(a_, e_), qPrintable(a_.name() + " != " + e_.name()));                        \
    } while (0)

const QColor kRed(255, 0, 0), kGreen(0, 255, 0), kBlue(0, 0, 255), kWhite(255, 255, 255),
    kMagenta(255, 0, 255), kYellow(255, 255, 0), kCyan(0, 255, 255);

std::vector<const Text*> texts(const Document& doc, int layout) {
    std::vector<const Text*> out;
    const Block& b = doc.blocks[size_t(doc.layouts[size_t(layout)].block)];
    for (const Shape& s : b.shapes)
        if (s.kind == ShapeKind::Text)
            out.push_back(&b.texts[s.first]);
    return out;
}

} // namespace

class TestCgmReader : public QObject {
    Q_OBJECT

private slots:
    void detectsByContentThenSuffix() {
        const auto& reg = ReaderRegistry::builtin();
        const QByteArray binary = bytesOf(fixture("pictures.cgm"));
        QCOMPARE(reg.choose(binary, "dat")->name(), QString("CGM"));
        QCOMPARE(reg.choose("  \n begmf 'x';", "txt")->name(), QString("CGM"));
        QCOMPARE(reg.choose(bytesOf(fixture("clear_text.cgm")), "")->name(), QString("CGM"));
        QCOMPARE(reg.choose("whatever", "cgm")->name(), QString("CGM"));
        QVERIFY(!reg.choose("whatever", "dat") || reg.choose("whatever", "dat")->name() != "CGM");
        // A DXF file named .cgm still goes to the DXF reader.
        QCOMPARE(reg.choose("0\nSECTION\n2\nHEADER\n", "cgm")->name(), QString("DXF"));
        try {
            readCgmBytes("BEGMF 'x'; BEGPIC 'unended", "clear.cgm");
            QFAIL("an unclosed string was accepted");
        } catch (const ReadError& e) {
            QVERIFY(QString(e.what()).contains("clear.cgm"));
            QVERIFY(e.problem().contains("string is not closed"));
        }
    }

    void linesWithIndexedColours() {
        const QJsonObject o = info("lines_indexed.cgm");
        QCOMPARE(o["format"].toString(), QString("CGM"));
        QCOMPARE(o["width"].toDouble(), 1000.0);
        QCOMPARE(o["height"].toDouble(), 500.0);
        const QJsonObject counts = o["entities"].toObject()["Lines"].toObject();
        QCOMPARE(counts["POLYLINE"].toInt(), 3);
        QCOMPARE(counts["DISJOINT POLYLINE"].toInt(), 1);
        QCOMPARE(counts["POLYMARKER"].toInt(), 1);
        QCOMPARE(o["skipped"].toObject()["MESSAGE"].toInt(), 1);

        const auto doc = load("lines_indexed.cgm");
        QVERIFY(doc->exactColors);
        const Block& b = doc->blocks[0];
        // Red, 40 units wide (absolute width mode).
        QCOMPARE(b.shapes[1].color, Color::fromRgb(0xFF0000));
        QCOMPARE(b.shapes[1].width, 40.0f);
        // Index 8 comes from the file's colour table.
        QCOMPARE(b.shapes[2].color, Color::fromRgb(0xFF8000));

        const Rendered r = render("lines_indexed.cgm", {800, 400}, {0, 0, 1000, 500});
        COMPARE_COLOR(r.at(500, 400), kRed);
        COMPARE_COLOR(r.at(500, 415), kRed);   // within the 40 wide pen
        COMPARE_COLOR(r.at(500, 100), kWhite); // between the disjoint pieces
        COMPARE_COLOR(r.at(500, 330), kWhite); // nothing there
    }

    void linesWithoutAColourAreForeground() {
        const QJsonObject counts =
            info("manual_illustration.cgm")["entities"].toObject()["Figure 1"].toObject();
        QCOMPARE(counts["POLYLINE"].toInt(), 2);
        QCOMPARE(counts["DISJOINT POLYLINE"].toInt(), 1);

        const auto doc = load("manual_illustration.cgm");
        for (const Shape& s : doc->blocks[0].shapes)
            if (s.entityType == doc->entityTypeId(QStringLiteral("LINE")))
                QCOMPARE(s.color, Color::fromRgb(0x000000));

        const Rendered r = render("manual_illustration.cgm", {765, 1005}, {0, 0, 7650, 10050});
        const QColor kBlack(0, 0, 0);
        COMPARE_COLOR(r.at(3000, 5000), kBlack);
        COMPARE_COLOR(r.at(7000, 6500), kBlack); // the polyline's second leg
        COMPARE_COLOR(r.at(2000, 2000), kBlack); // disjoint pieces
        COMPARE_COLOR(r.at(5500, 1000), kBlack);
        COMPARE_COLOR(r.at(3500, 1500), kWhite); // between them
        COMPARE_COLOR(r.at(3000, 7000), kWhite);
        int dark = 0; // the dotted line shows, broken
        for (int x = 500; x < 7000; x += 10)
            dark += r.at(x, 9000).lightness() < 128;
        QVERIFY2(dark > 50 && dark < 600, qPrintable(QString::number(dark)));
    }

    void directColourAndRealVdc() {
        const auto doc = load("lines_direct_real.cgm");
        const Box& e = doc->layouts[0].extents;
        QCOMPARE(e.maxX, 2.0);
        QCOMPARE(e.maxY, 1.0);
        // 16-bit components over a 0..1000 value extent.
        QCOMPARE(doc->blocks[0].shapes[1].color, Color::fromRgb(0x00FF00));
        QVERIFY(std::abs(doc->blocks[0].shapes[1].width - 0.08) < 1e-6);
        const Rendered r = render("lines_direct_real.cgm", {800, 400}, {0, 0, 2, 1});
        COMPARE_COLOR(r.at(1.0, 0.5), kGreen);
        COMPARE_COLOR(r.at(1.0, 0.8), kWhite);
    }

    void polygonsAndInteriorStyles() {
        const Rendered r = render("polygons.cgm", {500, 500}, {0, 0, 1000, 1000});
        COMPARE_COLOR(r.at(250, 750), kBlue);  // solid polygon
        COMPARE_COLOR(r.at(600, 750), kGreen); // polygon set ring
        COMPARE_COLOR(r.at(750, 750), kWhite); // its hole
        COMPARE_COLOR(r.at(750, 950), kRed);   // visible edge
        COMPARE_COLOR(r.at(750, 250), kWhite); // hollow inside
        COMPARE_COLOR(r.at(950, 250), kRed);   // hollow boundary in the fill colour
        // Hatch: magenta lines with white between them.
        int magenta = 0, white = 0;
        for (int y = 60; y < 440; y += 2) {
            const QColor c = r.at(250, y);
            magenta += near(c, kMagenta, 90);
            white += near(c, kWhite, 10);
        }
        QVERIFY2(magenta > 5 && white > 50, qPrintable(QString("%1 %2").arg(magenta).arg(white)));
    }

    void figuresFillTheirBoundary() {
        const Rendered r = render("figures.cgm", {500, 500}, {0, 0, 1000, 1000});
        COMPARE_COLOR(r.at(250, 200), kBlue);  // under the arch
        COMPARE_COLOR(r.at(250, 300), kBlue);  // just under its peak at 325
        COMPARE_COLOR(r.at(250, 360), kWhite); // above it
        COMPARE_COLOR(r.at(120, 320), kWhite); // outside its shoulder
        COMPARE_COLOR(r.at(600, 600), kGreen); // a region
        COMPARE_COLOR(r.at(750, 750), kWhite); // the region inside it: a hole
        // The curve outside a figure: a red line through its midpoint.
        QVERIFY(near(r.at(250, 825), kRed, 90) || near(r.at(250, 823), kRed, 90) ||
                near(r.at(250, 827), kRed, 90));
        COMPARE_COLOR(r.at(250, 700), kWhite);
        const auto doc = load("figures.cgm");
        QCOMPARE(doc->blocks[size_t(doc->layouts[0].block)].entityCounts.at("POLYBEZIER"), 2);
    }

    void circlesArcsAndEllipses() {
        const Rendered r = render("arcs.cgm", {600, 400}, {0, 0, 1200, 800});
        const QColor background(255, 255, 200);
        COMPARE_COLOR(r.at(20, 20), background);
        COMPARE_COLOR(r.at(200, 600), kGreen); // filled circle
        COMPARE_COLOR(r.at(340, 600), kGreen); // near its rim
        COMPARE_COLOR(r.at(370, 600), background);
        COMPARE_COLOR(r.at(980, 530), kBlue);      // pie, first quadrant
        COMPARE_COLOR(r.at(820, 530), background); // second quadrant stays empty
        COMPARE_COLOR(r.at(600, 240), kMagenta);   // ellipse 200 x 80 ...
        COMPARE_COLOR(r.at(600, 300), background); // ... not 200 high
        COMPARE_COLOR(r.at(780, 210), kMagenta);

        const auto doc = load("arcs.cgm");
        // The three-point arc through the top: centre (550, 600), radius 100.
        const Block& b = doc->blocks[0];
        bool found = false;
        for (const Arc& a : b.arcs)
            if (std::abs(a.center.x - 550) < 1e-6 && std::abs(a.center.y - 600) < 1e-6) {
                found = true;
                QCOMPARE(a.radiusX, 100.0);
                QVERIFY(std::abs(a.startAngle) < 1e-9);
                QVERIFY(std::abs(a.endAngle - std::numbers::pi) < 1e-9);
            }
        QVERIFY(found);
    }

    void textAttributes() {
        const auto doc = load("text.cgm");
        const auto t = texts(*doc, 0);
        QCOMPARE(t.size(), size_t(3));
        QCOMPARE(t[0]->text, QString("Hello CGM"));
        QCOMPARE(t[0]->height, 60.0);
        QCOMPARE(t[0]->fontFamily, QString("Helvetica"));
        QCOMPARE(doc->blocks[0].shapes[1].color, Color::fromRgb(0x0000FF));
        // TEXT not final + APPEND TEXT: one string, turned by the orientation.
        QCOMPARE(t[1]->text, QString("Upright"));
        QCOMPARE(t[1]->fontFamily, QString("Courier"));
        QVERIFY(std::abs(t[1]->rotation - std::numbers::pi / 2) < 1e-9);
        QCOMPARE(t[1]->hAlign, Text::Center);
        QCOMPARE(t[1]->vAlign, Text::Middle);
        QCOMPARE(t[1]->oblique, 0.0);
        // Restricted to 30 high; expansion factor 2.
        QCOMPARE(t[2]->height, 30.0);
        QCOMPARE(t[2]->widthFactor, 2.0);
        const Rendered r = render("text.cgm", {500, 500}, {0, 0, 1000, 1000});
        int blue = 0;
        for (int x = 100; x < 500; x += 2)
            blue += near(r.at(x, 820), kBlue, 120);
        QVERIFY(blue > 5);
    }

    void cellArrays() {
        const Rendered packed = render("cell_array.cgm", {400, 200}, {0, 0, 400, 200});
        COMPARE_COLOR(packed.at(25, 150), kRed);
        COMPARE_COLOR(packed.at(75, 150), kBlue);
        COMPARE_COLOR(packed.at(125, 150), kRed);
        COMPARE_COLOR(packed.at(100, 50), kGreen);
        COMPARE_COLOR(packed.at(300, 100), kWhite);
        const Rendered runs = render("cell_array.cgm", {400, 200}, {0, 0, 400, 200}, "Runs");
        COMPARE_COLOR(runs.at(300, 150), kYellow);
        COMPARE_COLOR(runs.at(300, 50), kCyan);
    }

    void metricScalingGivesMillimetres() {
        const QJsonObject o = info("metric.cgm");
        QVERIFY(std::abs(o["width"].toDouble() - 200) < 1e-3);
        QVERIFY(std::abs(o["height"].toDouble() - 100) < 1e-3);
        QCOMPARE(o["header"].toObject()["$INSUNITS"].toString(), QString("4"));
        QCOMPARE(o["units"].toString(), QString("millimetres"));
        QCOMPARE(info("pictures.cgm")["header"].toObject()["$INSUNITS"].toString(), QString("0"));
    }

    void yDownPictureIsUpright() {
        const Rendered r = render("y_down.cgm", {400, 400}, {0, 0, 1000, 1000});
        COMPARE_COLOR(r.at(100, 900), kRed); // top left as the file sees it
        COMPARE_COLOR(r.at(100, 100), kWhite);
        const auto doc = load("y_down.cgm");
        const auto t = texts(*doc, 0);
        QCOMPARE(t.size(), size_t(1));
        QCOMPARE(t[0]->rotation, 0.0);
        QCOMPARE(t[0]->position.y, 300.0);
    }

    void picturesBecomeLayouts() {
        const QJsonObject o = info("pictures.cgm");
        QStringList names;
        for (const auto& l : o["layouts"].toArray())
            names << l.toObject()["name"].toString();
        QCOMPARE(names, QStringList({"Plan", "Section", "Picture 3"}));
        QCOMPARE(o["activeLayout"].toString(), QString("Plan"));
        const auto doc = load("pictures.cgm");
        QCOMPARE(doc->layouts[1].extents.maxX, 500.0);
        for (const Layout& l : doc->layouts)
            QVERIFY(l.paperSpace);
        const Rendered r = render("pictures.cgm", {100, 100}, {0, 0, 500, 500}, "Section");
        COMPARE_COLOR(r.at(250, 250), kBlue);
    }

    void longFormPartitionsAndDefaults() {
        const auto doc = load("long_form.cgm");
        const Block& b = doc->blocks[0];
        QCOMPARE(b.shapes[1].count, 40u); // the 160-byte polyline
        QCOMPARE(b.shapes[2].kind, ShapeKind::Polygon);
        QCOMPARE(b.shapes[2].count, 4u); // joined from 6-byte partitions
        QCOMPARE(b.texts.at(0).text, QString(300, QLatin1Char('L')));
        // Solid yellow fill from METAFILE DEFAULTS REPLACEMENT.
        QCOMPARE(b.shapes[2].color, Color::fromRgb(0xFFFF00));
        const Rendered r = render("long_form.cgm", {400, 400}, {0, 0, 1000, 1000});
        COMPARE_COLOR(r.at(400, 350), kYellow);
    }

    void clearTextEncoding() {
        const QJsonObject o = info("clear_text.cgm");
        QCOMPARE(o["format"].toString(), QString("CGM"));
        QCOMPARE(o["layouts"].toArray().at(0).toObject()["name"].toString(), QString("Clear"));
        QCOMPARE(o["skipped"].toObject()["GDPFANCY"].toInt(), 1);
        const auto doc = load("clear_text.cgm");
        const Block& b = doc->blocks[0];
        QCOMPARE(b.shapes[1].color, Color::fromRgb(0xFF8000)); // table entry 8
        QCOMPARE(b.shapes[1].width, 30.0f);
        const auto t = texts(*doc, 0);
        QCOMPARE(t.size(), size_t(1));
        QCOMPARE(t[0]->text, QString("It's clear"));
        QCOMPARE(t[0]->height, 40.0);
        QCOMPARE(t[0]->hAlign, Text::Center);
        const Rendered r = render("clear_text.cgm", {800, 400}, {0, 0, 1000, 500});
        COMPARE_COLOR(r.at(250, 150), kBlue);  // fill from the defaults
        COMPARE_COLOR(r.at(550, 150), kBlue);  // polygon set ring
        COMPARE_COLOR(r.at(700, 150), kWhite); // its hole
        COMPARE_COLOR(r.at(500, 400), QColor(255, 128, 0));
        COMPARE_COLOR(r.at(25, 475), kRed); // cell array: red blue / green green
        COMPARE_COLOR(r.at(75, 475), kBlue);
        COMPARE_COLOR(r.at(50, 425), kGreen);
        const QString error = loadError(fixture("clear_text_bad.cgm"));
        QVERIFY2(error.contains("clear_text_bad.cgm") && error.contains("byte offset") &&
                     error.contains("LINEWIDTH"),
                 qPrintable(error));
    }

    void damagedFilesGiveClearErrors_data() {
        QTest::addColumn<QString>("file");
        QTest::addColumn<QString>("expected");
        QTest::newRow("cut inside the first picture")
            << "truncated.cgm"
            << "damaged at byte offset 44: the parameters of RECTANGLE run";
        QTest::newRow("precision") << "bad_precision.cgm"
                                   << "INTEGER PRECISION at byte offset 16: the integer precision "
                                      "12 is not one";
        QTest::newRow("huge cell array") << "huge_cells.cgm"
                                         << "30000 x 30000 cells is larger than the 16777216 cells";
        QTest::newRow("not a number") << "nan_point.cgm"
                                      << "POLYLINE at byte offset 48: a coordinate is not a finite";
        QTest::newRow("short cell array")
            << "short_cells.cgm"
            << "colour data end early: 20 x 20 cells need 400 bytes, 40";
    }
    void damagedFilesGiveClearErrors() {
        QFETCH(QString, file);
        QFETCH(QString, expected);
        const QString error = loadError(fixture(file.toLatin1().constData()));
        QVERIFY2(error.contains(file) && error.contains(expected), qPrintable(error));
    }

    void damageAfterWholePicturesKeepsThem() {
        const auto doc = load("partial.cgm");
        QCOMPARE(doc->layouts.size(), size_t(3));
        QCOMPARE(doc->layouts[1].name, QString("Section"));
        QCOMPARE(doc->layouts[1].extents.maxX, 500.0);
        QCOMPARE(doc->skippedEntities.size(), size_t(1));
        QVERIFY(doc->skippedEntities.begin()->first.contains("byte offset 110"));
        // A file that stops between elements is cut off too, and says so.
        const QByteArray whole = bytesOf(fixture("pictures.cgm"));
        const auto cut = readCgmBytes(whole.left(whole.size() - 2), "cut.cgm");
        QCOMPARE(cut->layouts.size(), size_t(3));
        QVERIFY(cut->skippedEntities.begin()->first.contains("before END METAFILE"));
    }

    // Inputs the fuzzer once found hanging or crashing the reader.
    void fuzzFindingsFailCleanly() {
        const QStringList files =
            QDir(QStringLiteral(TEST_DATA_DIR "/cgm")).entryList({"fuzz_*.cgm"}, QDir::Files);
        QVERIFY(!files.isEmpty());
        for (const QString& f : files) {
            const QString error = loadError(fixture(f.toLatin1().constData()));
            QVERIFY2(error == "<loaded>" || error.contains(f), qPrintable(error));
        }
        QVERIFY(loadError(fixture("fuzz_nul_in_clear_text.cgm")).contains("is not clear text"));
        QVERIFY(loadError(fixture("fuzz_vast_enumeration.cgm")).contains("is not an integer"));
    }

    void everyPrefixLoadsOrFailsCleanly() {
        for (const char* name : {"lines_indexed.cgm", "arcs.cgm", "text.cgm", "cell_array.cgm",
                                 "long_form.cgm", "polygons.cgm", "clear_text.cgm"}) {
            const QByteArray whole = bytesOf(fixture(name));
            QVERIFY(!whole.isEmpty());
            int refused = 0;
            for (qsizetype n = 1; n < whole.size(); ++n) {
                try {
                    readCgmBytes(whole.left(n), "prefix.cgm");
                } catch (const ReadError& e) {
                    QVERIFY(QString(e.what()).contains("prefix.cgm"));
                    ++refused;
                }
            }
            QVERIFY(refused > 0);
        }
    }
};

QTEST_GUILESS_MAIN(TestCgmReader)
#include "test_cgm_reader.moc"
