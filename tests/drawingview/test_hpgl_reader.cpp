// Plotter files: pens, units, encoded polylines, arcs, fills, line types,
// scaling, labels and PCL wrapping, checked through the model, the
// vistrel-tool JSON and rendered pixels; damaged input is kept or refused
// cleanly.

#include "formats/Reader.h"
#include "formats/common/StrokeFont.h"
#include "formats/hpgl/HpglReader.h"

#include <QFile>
#include <QImage>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QTemporaryDir>
#include <QtTest>

#include <cmath>

using namespace dv;

namespace {

QString fixture(const char* name) {
    return QStringLiteral(TEST_DATA_DIR "/hpgl/") + QLatin1String(name);
}

std::unique_ptr<Document> load(const QString& path) {
    return ReaderRegistry::builtin().load(path);
}

QString loadError(const QString& path) {
    try {
        load(path);
    } catch (const ReadError& e) {
        return QString::fromStdString(e.what());
    }
    return QStringLiteral("<loaded>");
}

QByteArray readAll(const QString& path) {
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly))
        qFatal("cannot read %s", qPrintable(path));
    return f.readAll();
}

QString writeTemp(QTemporaryDir& dir, const QString& name, const QByteArray& bytes) {
    const QString path = dir.filePath(name);
    QFile f(path);
    if (!f.open(QIODevice::WriteOnly))
        qFatal("cannot write %s", qPrintable(path));
    f.write(bytes);
    return path;
}

QByteArray tool(const QStringList& args) {
    QProcess p;
    p.start(VISTREL_TOOL, args);
    if (!p.waitForFinished(60000) || p.exitCode() != 0)
        return {};
    return p.readAllStandardOutput();
}

QJsonObject info(const char* name) {
    return QJsonDocument::fromJson(tool({"info", fixture(name)})).object();
}

// Renders a fixture whose extents are `w` x `h` mm so that one millimetre is
// `scale` pixels, and returns the picture.
QImage render(const char* name, double w, double h, int scale, QTemporaryDir& dir) {
    const QString out = dir.filePath(QLatin1String(name) + QLatin1String(".png"));
    tool({"render", fixture(name), out, "--size",
          QStringLiteral("%1x%2").arg(int(w * scale)).arg(int(h * scale)), "--without-border"});
    return QImage(out);
}

// The colour at drawing point (x, y) mm of a picture rendered by render().
QRgb at(const QImage& img, double x, double y, int scale) {
    return img.pixel(int(x * scale), img.height() - 1 - int(y * scale)) & 0xFFFFFF;
}

int layerNamed(const Document& doc, const QString& name) {
    for (size_t i = 0; i < doc.layers.size(); ++i)
        if (doc.layers[i].name == name)
            return int(i);
    return -1;
}

std::vector<const Shape*> shapesOn(const Document& doc, const QString& layer) {
    std::vector<const Shape*> out;
    const int l = layerNamed(doc, layer);
    for (const Shape& s : doc.blocks[0].shapes)
        if (s.layer == l)
            out.push_back(&s);
    return out;
}

Box boundsOf(const Document& doc, const Shape& s) {
    Box b;
    for (uint32_t i = 0; i < s.count; ++i)
        b.add(doc.blocks[0].points[s.first + i]);
    return b;
}

void compareExtents(const QJsonObject& o, double x0, double y0, double x1, double y1) {
    const QJsonArray e = o["layouts"].toArray()[0].toObject()["extents"].toArray();
    QCOMPARE(e.size(), 4);
    const double want[4] = {x0, y0, x1, y1};
    for (int i = 0; i < 4; ++i)
        QVERIFY2(
            std::abs(e[i].toDouble() - want[i]) < 1e-6,
            qPrintable(
                QStringLiteral("extent %1: %2 != %3").arg(i).arg(e[i].toDouble()).arg(want[i])));
}

} // namespace

class TestHpglReader : public QObject {
    Q_OBJECT

private slots:
    void pensBecomeLayersWithColoursAndWidths() {
        const QJsonObject o = info("lines_pens.plt");
        QCOMPARE(o["format"].toString(), QStringLiteral("HPGL/2"));
        compareExtents(o, 0, 0, 100, 100); // PA4000,0 is 100 mm
        QCOMPARE(o["header"].toObject()["$INSUNITS"].toString(), QStringLiteral("4"));
        QCOMPARE(o["units"].toString(), QStringLiteral("millimetres"));
        const QJsonArray layers = o["layers"].toArray();
        QCOMPARE(layers.size(), 4); // pen 0 selected last but never drew
        const char* names[] = {"Pen 1", "Pen 2", "Pen 3", "Pen 4"};
        const char* colours[] = {"#000000", "#ff0000", "#00ff00", "#ff8000"};
        for (int i = 0; i < 4; ++i) {
            QCOMPARE(layers[i].toObject()["name"].toString(), QLatin1String(names[i]));
            QCOMPARE(layers[i].toObject()["color"].toString(), QLatin1String(colours[i]));
        }
        const auto doc = load(fixture("lines_pens.plt"));
        QVERIFY(doc->exactColors);
        QCOMPARE(doc->layouts.size(), size_t(1));
        QCOMPARE(doc->layouts[0].name, QStringLiteral("Model"));
        QVERIFY(doc->layouts[0].paperSpace);
        QCOMPARE(shapesOn(*doc, "Pen 1").front()->width, 0.5f);
        QCOMPARE(shapesOn(*doc, "Pen 2").front()->width, 1.0f);
        QCOMPARE(shapesOn(*doc, "Pen 3").front()->width, 0.5f); // PW without a pen: all
        QCOMPARE(shapesOn(*doc, "Pen 4").front()->color, Color::fromRgb(0xff8000));
        // The frame is one polyline of five points.
        QCOMPARE(shapesOn(*doc, "Pen 1").front()->count, 5u);

        // Pens above 7 repeat the palette from pen 1; a PW for all pens
        // reaches pens first used after it.
        const auto high = readHpglBytes("IN;PW0.7;SP12;PU0,0;PD100,100;", "high.plt");
        QCOMPARE(high->layers.size(), size_t(1));
        QCOMPARE(high->layers[0].name, QStringLiteral("Pen 12"));
        QCOMPARE(high->layers[0].color, Color::fromRgb(0x0000ff));
        QCOMPARE(high->blocks[0].shapes[0].width, 0.7f);
    }

    void hpglWithoutHpgl2FeaturesDrawsThinRelativeLines() {
        const auto doc = load(fixture("relative.hgl"));
        QCOMPARE(doc->format, QStringLiteral("HPGL"));
        QCOMPARE(doc->layouts[0].extents.maxX, 50.0);
        QCOMPARE(doc->layouts[0].extents.maxY, 25.0);
        const auto pen2 = shapesOn(*doc, "Pen 2");
        QCOMPARE(pen2.size(), size_t(1));
        QCOMPARE(pen2[0]->width, 0.0f);
        const Box b = boundsOf(*doc, *pen2[0]); // PR-1000,0 then PD0,-1000
        QCOMPARE(b.minX, 25.0);
        QCOMPARE(b.maxX, 25.0);
        QCOMPARE(b.minY, 0.0);
        QCOMPARE(b.maxY, 25.0);
    }

    void encodedPolylinesInSevenAndEightBitsWithFractions() {
        compareExtents(info("encoded.plt"), 25, 0, 150.01875, 75);
        const auto doc = load(fixture("encoded.plt"));
        const auto shapes = shapesOn(*doc, "Pen 1");
        QCOMPARE(shapes.size(), size_t(3));
        QCOMPARE(shapes[0]->count, 5u); // the square: relative pairs
        const Box seven = boundsOf(*doc, *shapes[1]);
        QCOMPARE(seven.minX, 100.0);
        QCOMPARE(seven.maxX, 120.0);
        QCOMPARE(seven.maxY, 0.0);
        const Box fraction = boundsOf(*doc, *shapes[2]);
        QVERIFY(std::abs(fraction.minX - 125.00625) < 1e-9);
        QVERIFY(std::abs(fraction.minY - 50.0) < 1e-9);
    }

    void arcsCirclesAndCurvesReachTheirExtremes() {
        compareExtents(info("arcs.plt"), 25, 25, 250, 100);
        const auto doc = load(fixture("arcs.plt"));
        // The Bezier's top is at 3/4 of its control height: 87.5 mm.
        const Box bz = boundsOf(*doc, *shapesOn(*doc, "Pen 2").front());
        QVERIFY(std::abs(bz.maxY - 87.5) < 1e-9);
        // The three-point arc bulges through (175, 75).
        bool through = false;
        for (const Shape* s : shapesOn(*doc, "Pen 1"))
            for (uint32_t i = 0; i < s->count; ++i) {
                const Vec2 p = doc->blocks[0].points[s->first + i];
                through |= std::abs(p.x - 175) < 1e-6 && std::abs(p.y - 75) < 1e-6;
            }
        QVERIFY(through);
    }

    void fillsShowTheirPenColours() {
        QTemporaryDir dir;
        const QImage img = render("fills.plt", 100, 100, 4, dir);
        QVERIFY(!img.isNull());
        QCOMPARE(at(img, 25, 25, 4), QRgb(0xff0000)); // RA solid
        QCOMPARE(at(img, 65, 65, 4), QRgb(0xff00ff)); // PM ring
        QCOMPARE(at(img, 75, 75, 4), QRgb(0xffffff)); // its hole, odd-even
        QCOMPARE(at(img, 50, 50, 4), QRgb(0x00ffff)); // pentagram, non-zero
        const QRgb shade = at(img, 25, 75, 4);        // FT10,50 of blue
        QVERIFY2(std::abs(qRed(shade) - 128) <= 2 && qBlue(shade) == 255,
                 qPrintable(QString::number(shade, 16)));
        int green = 0, white = 0;
        for (int y = 45; y < 75; ++y)
            for (int x = 245; x < 355; ++x) {
                const QRgb c = img.pixel(x, img.height() - 1 - y) & 0xFFFFFF;
                green += c == 0x00ff00 || (qGreen(c) > 128 && qRed(c) < 200);
                white += c == 0xffffff;
            }
        QVERIFY(green > 200); // hatch lines drawn...
        QVERIFY(white > 200); // ...with gaps between them
    }

    void lineTypesCutDashesAndDots() {
        const auto doc = load(fixture("linetypes.plt"));
        int dashes = 0, dots = 0, endDots = 0, solid = 0;
        for (const Shape& s : doc->blocks[0].shapes) {
            const Box b = boundsOf(*doc, s);
            if (b.maxY == 0 && s.kind == ShapeKind::Polyline) {
                ++dashes;
                QVERIFY(std::abs(b.width() - 5) < 1e-9);
            } else if (b.minY == 10) {
                ++solid;
            } else if (b.minY == 20 && s.kind == ShapeKind::Point) {
                ++dots;
            } else if (b.minY == 30 && s.kind == ShapeKind::Point) {
                ++endDots;
            }
        }
        QCOMPARE(dashes, 10); // LT2, 10 mm: half drawn
        QCOMPARE(solid, 1);
        QCOMPARE(dots, 6); // LT1, 20 mm: a dot per pattern, the last at the end
        QCOMPARE(endDots, 3);
    }

    void scalingAndRotation() {
        const auto doc = load(fixture("scaling.plt"));
        QCOMPARE(doc->layouts[0].extents.maxX, 100.0);
        QCOMPARE(doc->layouts[0].extents.maxY, 100.0);
        // Isotropic SC centres 100 x 50 user units vertically.
        const Box iso = boundsOf(*doc, *shapesOn(*doc, "Pen 2").front());
        QCOMPARE(iso.minX, 0.0);
        QCOMPARE(iso.minY, 25.0);
        QCOMPARE(iso.maxX, 100.0);
        QCOMPARE(iso.maxY, 75.0);
        // SC type 2: 40 plotter units (1 mm) per user unit.
        const Box factor = boundsOf(*doc, *shapesOn(*doc, "Pen 3").front());
        QCOMPARE(factor.minX, 10.0);
        QCOMPARE(factor.maxX, 20.0);
        QCOMPARE(factor.minY, 10.0);

        const QJsonObject ro = info("rotation.plt");
        QCOMPARE(ro["width"].toDouble(), 50.0);
        QCOMPARE(ro["height"].toDouble(), 100.0);
    }

    void labelsAreStrokedWhereTheyStand() {
        const auto doc = load(fixture("labels.plt"));
        QCOMPARE(doc->blocks[0].entityCounts.at(QStringLiteral("LABEL")), 4);
        // HELLO: 5 mm wide characters on a 7.5 mm pitch, 8 mm high, at (10, 10).
        Box hello;
        for (const Shape& s : doc->blocks[0].shapes) {
            const Box b = boundsOf(*doc, s);
            if (b.maxY <= 18.0 + 1e-9)
                hello.add(b);
        }
        QCOMPARE(hello.minX, 10.0);
        QVERIFY(std::abs(hello.maxX - 45.0) < 1e-9);
        QCOMPARE(hello.minY, 10.0);
        QVERIFY(std::abs(hello.maxY - 18.0) < 1e-9);
        // The centred label straddles x = 50 mm; the upward one lies left of
        // x = 10 mm, above y = 50 mm.
        bool centred = false, upward = false;
        for (const Shape& s : doc->blocks[0].shapes) {
            const Box b = boundsOf(*doc, s);
            centred |= b.minY > 85 && b.minX < 50 && b.maxX > 46;
            upward |= b.maxX <= 10 + 1e-9 && b.minY >= 50 - 1e-9 && b.minX < 5;
        }
        QVERIFY(centred);
        QVERIFY(upward);

        QTemporaryDir dir;
        const QString out = dir.filePath("labels.png");
        tool({"render", fixture("labels.plt"), out, "--size", "800x600"});
        const QImage shot(out);
        QVERIFY(!shot.isNull());
        int ink = 0;
        for (int y = 0; y < shot.height(); ++y)
            for (int x = 0; x < shot.width(); ++x)
                ink += qGray(shot.pixel(x, y)) < 100;
        QVERIFY(ink > 500);
    }

    void pclWrappedPlots() {
        for (const char* name : {"pcl_wrapped.prn", "pcl_wrapped.rtl"}) {
            const QJsonObject o = info(name);
            QCOMPARE(o["format"].toString(), QStringLiteral("HPGL/2"));
            // Only HP-GL/2 draws: not the raster bytes, not the print data.
            QCOMPARE(o["layers"].toArray().size(), 1);
            QCOMPARE(o["layers"].toArray()[0].toObject()["name"].toString(),
                     QStringLiteral("Pen 2"));
            compareExtents(o, 0, 0, 50, 50);
        }
    }

    void unknownCommandsAreListedAsSkipped() {
        const QJsonObject o = info("unknown.plt");
        const QJsonObject skipped = o["skipped"].toObject();
        QCOMPARE(skipped["XY"].toInt(), 1);
        QCOMPARE(skipped["QQ"].toInt(), 1);
        compareExtents(o, 0, 0, 5, 2.5); // drawing went on after them
    }

    void damagedFilesShowWhatCanBeRead() {
        const auto damaged = load(fixture("damaged.plt"));
        QCOMPARE(damaged->layouts[0].extents.maxX, 25.0);
        QCOMPARE(damaged->layouts[0].extents.maxY, 25.0); // after the damage
        QVERIFY(damaged->skippedEntities.at(QStringLiteral("damaged bytes")) > 0);

        const auto cut = load(fixture("truncated.plt"));
        QCOMPARE(cut->layouts[0].extents.maxX, 50.0);
        QCOMPARE(cut->layouts[0].extents.maxY, 50.0);

        const QString garbage = loadError(fixture("garbage.plt"));
        QVERIFY2(garbage.contains("garbage.plt") && garbage.contains("no HP-GL commands found"),
                 qPrintable(garbage));
        QVERIFY(loadError(fixture("text.prn")).contains("not supported"));

        // Every prefix of a plot reads or fails cleanly.
        const QByteArray bytes = readAll(fixture("fills.plt")) + readAll(fixture("encoded.plt")) +
                                 readAll(fixture("pcl_wrapped.prn"));
        for (int n = 0; n <= bytes.size(); n += 3) {
            try {
                readHpglBytes(bytes.left(n), QStringLiteral("cut.plt"));
            } catch (const ReadError& e) {
                QVERIFY(QString::fromStdString(e.what()).contains("cut.plt"));
            }
        }
    }

    void hostileParametersStayBounded() {
        QByteArray plot = "IN;SP1;PU0,0;PD99999999999999999999999,5;";
        for (int i = 0; i < 400; ++i)
            plot += "CI1073741824,0.0001;AA5,5,1e12,0;WG1,0,360,0;FT3,0.000001;RA1e9,1e9;";
        plot += "LT2,0.000001,1;PD0,0,4000,4000;";
        // Hatching finer than the rounding of far-away coordinates.
        plot += "FT3,0.000000001;PA1000000000,1000000000;RR1,0.00004;";
        // A polygon buffer fed circles far beyond any plotter's.
        plot += "PM0;" + QByteArray("CI1,0.4;").repeated(8000) + "PM2;FP;";
        const auto doc = readHpglBytes(plot, QStringLiteral("big.plt"));
        QVERIFY(std::isfinite(doc->layouts[0].extents.maxX));
        // Bounded by the reader's point budget, not by the parameters.
        QVERIFY(doc->blocks[0].points.size() <= (size_t(1) << 20) + size_t(plot.size()) * 64);
    }

    void contentDecidesOverSuffix() {
        QTemporaryDir dir;
        const QString plot = writeTemp(dir, "plot.dat", "IN;SP1;PU0,0;PD40,40;");
        QCOMPARE(load(plot)->format, QStringLiteral("HPGL"));
        const QString prn = writeTemp(dir, "plot.prn",
                                      "\x1b%-12345X@PJL\r\n\x1b"
                                      "E\x1b%1BIN;PD40,0;");
        QCOMPARE(load(prn)->format, QStringLiteral("HPGL/2"));
        QCOMPARE(hpgl::sniff("PAGE ONE of the report"), 0);
        QCOMPARE(hpgl::sniff("0\nSECTION\n"), 0);
        QCOMPARE(hpgl::sniff("\x1b.(;\x1b.I81;;17:IN;SP1;"), 2);
        QCOMPARE(hpgl::sniff(" \r\nin;sp1;pu0,0;"), 2);
    }

    void progressRisesToHundred() {
        QByteArray plot = "IN;SP1;PU0,0;";
        for (int i = 0; i < 20000; ++i)
            plot += "PD" + QByteArray::number(i % 4000) + "," + QByteArray::number(i % 997) + ";";
        std::vector<int> seen;
        readHpglBytes(plot, QStringLiteral("p.plt"), [&](int p) { seen.push_back(p); });
        QVERIFY(seen.size() > 5);
        QCOMPARE(seen.back(), 100);
        QVERIFY(std::is_sorted(seen.begin(), seen.end()));
    }

    void strokeFontCoversPrintableAscii() {
        for (char32_t c = 33; c < 127; ++c) {
            strokefont::Strokes s;
            strokefont::appendGlyph(c, s);
            QVERIFY2(!s.empty(), qPrintable(QString(QChar(c))));
            for (const auto& stroke : s)
                for (const Vec2& p : stroke) {
                    QVERIFY(p.x >= 0 && p.x <= strokefont::kCharWidth);
                    QVERIFY(p.y >= -2 && p.y <= strokefont::kCapHeight + 2);
                }
        }
        strokefont::Strokes space, plainE, accented, unknown;
        strokefont::appendGlyph(U' ', space);
        strokefont::appendGlyph(U'e', plainE);
        strokefont::appendGlyph(U'\u00e9', accented);
        strokefont::appendGlyph(U'\u4e2d', unknown);
        QVERIFY(space.empty());
        QCOMPARE(accented.size(), plainE.size() + 1);
        QCOMPARE(unknown.size(), size_t(1)); // a box
        QCOMPARE(unknown[0].size(), size_t(5));
    }
};

QTEST_MAIN(TestHpglReader)
#include "test_hpgl_reader.moc"
