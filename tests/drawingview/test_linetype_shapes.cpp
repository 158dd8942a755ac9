// Shapes in complex linetypes: the byte codes of compiled shape files drawn
// as the Customization Guide describes them, damaged files refused, and the
// standard linetypes of shapes.dxf drawn with their shapes at the right
// places, turned with the line and scaled with it, from our own outlines or
// from a shape file beside the drawing.

#include "PixelView.h"
#include "formats/Reader.h"
#include "formats/shx/ShapeFile.h"
#include "formats/shx/ShapeFiles.h"
#include "render/Renderer.h"

#include <QFile>
#include <QTemporaryDir>
#include <QtTest>

#include <cmath>

using namespace dv;

namespace {

QString fixture(const char* name) {
    return QStringLiteral(TEST_DATA_DIR "/") + QLatin1String(name);
}

QByteArray ownShapes() {
    QFile f(fixture("shx/own_shapes.shx"));
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

ShapeStrokes draw(std::vector<uint8_t> codes) {
    std::map<uint16_t, shx::ShapeCodes> shapes;
    shapes[1] = {"ONE", std::move(codes)};
    shapes[2] = {"SUB", {0x20, 0x00}}; // two units right
    return shx::ShapeFile::fromShapes(std::move(shapes)).strokes(1);
}

bool near(Vec2 a, Vec2 b, double tolerance = 1e-6) {
    return std::hypot(a.x - b.x, a.y - b.y) <= tolerance;
}

// Ink within a pixel of the point `dx`, `dy` pixels (y up) from `p`.
QRgb inkNear(const View& v, Vec2 p, int dx, int dy) {
    const QPoint c = v.at(p) + QPoint(dx, -dy);
    for (int y = c.y() - 1; y <= c.y() + 1; ++y)
        for (int x = c.x() - 1; x <= c.x() + 1; ++x)
            if (v.ink(x, y))
                return v.image.pixel(x, y);
    return 0;
}

bool ink(const View& v, Vec2 p, int dx, int dy) {
    return inkNear(v, p, dx, dy) != 0;
}

// The model at 100 pixels a unit, 400 by 300, centred on `center`.
View render(const std::shared_ptr<const Document>& doc, Vec2 center) {
    return render(doc, 0, 100, center, {400, 300});
}

const LineType* lineType(const Document& doc, const char* name) {
    for (const LineType& t : doc.lineTypes)
        if (t.name.compare(QLatin1String(name), Qt::CaseInsensitive) == 0)
            return &t;
    return nullptr;
}

// shapes.dxf in a folder of its own, with `shx` beside it as LTYPESHP.SHX.
std::shared_ptr<Document> loadBeside(const QTemporaryDir& dir, const QByteArray& shx) {
    const QString dxf = dir.filePath(QStringLiteral("shapes.dxf"));
    QFile::remove(dxf);
    if (!QFile::copy(fixture("dxf/shapes.dxf"), dxf))
        return nullptr;
    QFile f(dir.filePath(QStringLiteral("LTYPESHP.SHX")));
    if (!f.open(QIODevice::WriteOnly) || f.write(shx) != shx.size())
        return nullptr;
    f.close();
    return ReaderRegistry::builtin().load(dxf);
}

} // namespace

class TestLineTypeShapes : public QObject {
    Q_OBJECT

    std::shared_ptr<const Document> m_doc;

private slots:
    void initTestCase() { m_doc = ReaderRegistry::builtin().load(fixture("dxf/shapes.dxf")); }

    void codesDrawAsDocumented() {
        // The guide's octant arc: up-right, a clockwise arc of radius one
        // from octant 3 over two octants, down-right.
        ShapeStrokes s = draw({0x12, 0x0A, 0x01, uint8_t(-0x32), 0x1E, 0x00});
        QCOMPARE(s.strokes.size(), size_t(1));
        const double h = std::sqrt(0.5);
        QVERIFY(near(s.strokes[0].back(), {2 + 2 * h, 0}));
        double top = 0;
        for (Vec2 p : s.strokes[0])
            top = std::max(top, p.y);
        QVERIFY(std::abs(top - (2 - h)) < 0.01); // the top of the circle about (1 + h, 1 - h)

        // The guide's fractional arc from 55 to 95 degrees, radius 3.
        s = draw({0x0B, 56, 28, 0, 3, 0x12, 0x00});
        const double a0 = (1 + 56 / 256.0) * 45, a1 = (2 + 28 / 256.0) * 45;
        const double rad = 3.14159265358979323846 / 180;
        const Vec2 center{-3 * std::cos(a0 * rad), -3 * std::sin(a0 * rad)};
        QVERIFY(near(s.strokes[0].back(),
                     {center.x + 3 * std::cos(a1 * rad), center.y + 3 * std::sin(a1 * rad)}));

        // A bulge of 127 is a half circle; counter-clockwise from left to right dips below.
        s = draw({0x0C, 2, 0, 127, 0x00});
        double low = 0;
        for (Vec2 p : s.strokes[0])
            low = std::min(low, p.y);
        QVERIFY(std::abs(low + 1) < 0.01);
        QVERIFY(near(s.strokes[0].back(), {2, 0}));

        // Pen up, displacements, scale, push and pop, a subshape, and a
        // command for vertical text only, which is skipped.
        s = draw({0x02, 0x08, 5,    5,    0x01, 0x09, 1,    0, 0,    1,    0,    0, 0x02,
                  0x04, 2,    0x05, 0x01, 0x10, 0x06, 0x03, 2, 0x0E, 0x8C, 0x07, 2, 0x00});
        QCOMPARE(s.strokes.size(), size_t(3));
        QVERIFY(near(s.strokes[0].front(), {5, 5}));
        QVERIFY(near(s.strokes[0].back(), {6, 6}));
        QVERIFY(near(s.strokes[1].back(), {8, 6}));  // one unit right, doubled
        QVERIFY(near(s.strokes[2].front(), {6, 6})); // popped back
        QVERIFY(near(s.strokes[2].back(), {8, 6}));  // the subshape's two units, scale back to 1
    }

    void compiledFileIsRead() {
        const shx::ShapeFile file = shx::ShapeFile::parse(ownShapes());
        QCOMPARE(file.size(), size_t(3));
        QVERIFY(file.find(132) && file.find(132)->name == "TALL");
        QVERIFY(!file.find(133));
        // Five units up, then the subshape's displacements go on up three more.
        const ShapeStrokes s = file.strokes(132);
        QCOMPARE(s.strokes.size(), size_t(1));
        QVERIFY(near(s.strokes[0].back(), {0, 8}));
    }

    void damagedFilesAreRefused_data() {
        QTest::addColumn<QByteArray>("bytes");
        const QByteArray good = ownShapes();
        QVERIFY(good.size() > 40);
        QTest::newRow("not a shape file")
            << QByteArray("AutoCAD-86 unifont 1.0\r\n\x1a") + good.mid(24);
        for (int cut : {10, 29, 33, 40, int(good.size()) - 8})
            QTest::newRow(qPrintable(QStringLiteral("cut at %1").arg(cut))) << good.left(cut);
        QByteArray count = good;
        count[28] = char(0xFF); // 255 shapes in the index
        QTest::newRow("count too big") << count;
        QByteArray length = good;
        length[32] = char(0xF0); // the first shape 240 bytes long
        QTest::newRow("length past the end") << length;
        QByteArray nameless = good;
        nameless[32] = 5; // the first shape ends inside its name
        QTest::newRow("no end to a name") << nameless;
    }

    void damagedFilesAreRefused() {
        QFETCH(QByteArray, bytes);
        QVERIFY_THROWS_EXCEPTION(shx::ShapeFileError, shx::ShapeFile::parse(bytes));
    }

    void subshapesThatCallThemselvesEnd() {
        std::map<uint16_t, shx::ShapeCodes> shapes;
        shapes[5] = {"LOOP", {0x14, 0x07, 5, 0x07, 6, 0x00}};
        shapes[6] = {"BACK", {0x1C, 0x07, 5, 0x00}};
        const ShapeStrokes s = shx::ShapeFile::fromShapes(std::move(shapes)).strokes(5);
        size_t points = 0;
        for (const auto& stroke : s.strokes)
            points += stroke.size();
        QVERIFY(points > 0);
        QVERIFY(points <= 20001);
    }

    void standardFileIsNamedAnyWay() {
        QVERIFY(shx::isStandardLineTypeShapes(QStringLiteral("ltypeshp.shx")));
        QVERIFY(shx::isStandardLineTypeShapes(QStringLiteral("C:\\Acad\\Support\\LTYPESHP.SHX")));
        QVERIFY(shx::isStandardLineTypeShapes(QStringLiteral("/cad/LtypeShp")));
        QVERIFY(!shx::isStandardLineTypeShapes(QStringLiteral("ltypeshp2.shx")));
        QVERIFY(!shx::isStandardLineTypeShapes(QStringLiteral("ltypeshp.shx/other.shx")));
    }

    void linetypesKeepTheirShapes() {
        const LineType* fence = lineType(*m_doc, "FENCELINE2");
        QVERIFY(fence);
        QCOMPARE(fence->shapes.size(), size_t(1));
        const LineTypeShape& box = fence->shapes[0];
        QCOMPARE(box.element, 1u);
        QCOMPARE(box.number, uint16_t(132));
        QCOMPARE(box.name, QStringLiteral("BOX"));
        QCOMPARE(box.scale, 0.1);
        QCOMPARE(box.dx, -0.1);
        QVERIFY(box.strokes && !box.absolute);
        const LineType* zig = lineType(*m_doc, "ZIGZAG");
        QVERIFY(zig && zig->shapes.size() == 2);
        QCOMPARE(zig->shapes[1].rotation, 3.14159265358979323846);
        QVERIFY(lineType(*m_doc, "UPRIGHT_BOX")->shapes[0].absolute);
        // Known by number, but neither file has a drawing for it.
        QVERIFY(!lineType(*m_doc, "UNKNOWN_SHAPE")->shapes[0].strokes);
        QVERIFY(!lineType(*m_doc, "MISSING_FILE")->shapes[0].strokes);
    }

    void shapesSitAtTheirPlaceInEachPeriod() {
        // FENCELINE2 (period 1.45): a dash to 0.25, then a box 0.2 wide and
        // 0.2 high on the axis over the two gaps, then a long dash.
        const View v = render(m_doc, {1.5, 0});
        for (double start : {0.0, 1.45}) {
            const Vec2 s{start, 0};
            QVERIFY(ink(v, s, 27, 10));  // the top edge
            QVERIFY(ink(v, s, 40, -10)); // the bottom edge
            QVERIFY(ink(v, s, 25, 5));   // the sides, off the axis
            QVERIFY(ink(v, s, 45, -5));
            QVERIFY(!ink(v, s, 35, 5)); // nothing inside
            QVERIFY(!ink(v, s, 100, 10));
            QVERIFY(!ink(v, s, 100, -10)); // nor over the long dash
        }
    }

    void eachStandardShapeDraws() {
        // FENCELINE1: a circle of radius 0.1 centred at 0.35.
        View v = render(m_doc, {1.5, 2});
        QVERIFY(ink(v, {0, 2}, 35, 10));
        QVERIFY(ink(v, {0, 2}, 35, -10));
        QVERIFY(!ink(v, {0, 2}, 35, 4));
        // TRACKS: ties 0.25 either side at the end of each 0.15 dash.
        v = render(m_doc, {1.5, 4});
        QVERIFY(ink(v, {0, 4}, 15, 20) && ink(v, {0, 4}, 15, -20) && ink(v, {0, 4}, 45, 20));
        QVERIFY(!ink(v, {0, 4}, 30, 20));
        // ZIGZAG: up to 0.2 at 0.2, down to -0.2 at 0.6, every 0.8.
        v = render(m_doc, {1.5, 8});
        QVERIFY(ink(v, {0, 8}, 20, 19) && ink(v, {0, 8}, 60, -19) && ink(v, {0, 8}, 100, 19));
        QVERIFY(!ink(v, {0, 8}, 20, -19) && !ink(v, {0, 8}, 60, 19));
        // BATTING: loops 0.4 high, above at 0.1 and below at 0.3.
        v = render(m_doc, {1.5, 6});
        QVERIFY(ink(v, {0, 6}, 10, 39) && ink(v, {0, 6}, 30, -39) && ink(v, {0, 6}, 50, 39));
        QVERIFY(!ink(v, {0, 6}, 10, -39));
    }

    void unknownShapesLeaveTheirGap() {
        for (double y : {10.0, 12.0}) {
            const View v = render(m_doc, {1.5, y});
            QVERIFY(ink(v, {0, y}, 10, 0));  // the dash
            QVERIFY(!ink(v, {0, y}, 35, 0)); // the gap
            for (int x = 0; x < 300; x += 2) // and nothing off the axis
                QVERIFY2(!ink(v, {0, y}, x, 6) && !ink(v, {0, y}, x, -6),
                         qPrintable(QString::number(x)));
        }
    }

    void shapesTurnWithTheLineInItsColour() {
        // Straight up: the box stands across the axis, 0.1 either side, from 0.25 to 0.45.
        View v = render(m_doc, {20, 1});
        const QRgb red = inkNear(v, {20, 0.35}, 10, 0);
        QVERIFY(red != 0);
        QCOMPARE(qRed(red) > 200 && qGreen(red) < 50 && qBlue(red) < 50, true);
        QVERIFY(ink(v, {20, 0.35}, -10, 0));
        QVERIFY(!ink(v, {20, 0.35}, 20, 0));
        // Absolute 45 degrees: a diamond whatever the line's direction, its
        // corners 0.212 right and 0.071 left of the axis, 0.07 up from 0.25.
        v = render(m_doc, {22, 1});
        QVERIFY(ink(v, {22, 0.25}, 21, 7));
        QVERIFY(ink(v, {22, 0.25}, -7, 7));
        QVERIFY(!ink(v, {22, 0.35}, 10, 0)); // no upright box there
        // The polyline's pattern runs on round its corner, boxes on the upright leg.
        v = render(m_doc, {17, 1.5});
        int boxes = 0;
        for (int y = 20; y < 280; ++y)
            boxes += ink(v, {17, 0}, 10, y) ? 1 : 0;
        QVERIFY(boxes > 10);
    }

    void shapesGrowWithTheLinetypeScale() {
        auto doc = std::make_shared<Document>(*m_doc);
        doc->lineTypeScale = 2;
        const View v = render(doc, {1.5, 4});
        // TRACKS at twice the size: ties half a unit either side every 0.6.
        QVERIFY(ink(v, {0, 4}, 30, 45) && ink(v, {0, 4}, 90, -45));
        QVERIFY(!ink(v, {0, 4}, 60, 45));
        const View plain = render(m_doc, {1.5, 4});
        QVERIFY(!ink(plain, {0, 4}, 30, 45) && !ink(plain, {0, 4}, 15, 45));
    }

    void shapesReachInFromLinesOutsideTheView() {
        // TRACKS ties reach 0.25 either side of y = 4, the line itself under the view.
        for (double zoom : {100.0, 1000.0}) {
            const double below = zoom == 100 ? 10 : 100; // pixels under the bottom edge
            const View v = render(m_doc, 0, zoom, {1.5, 4 + (150 + below) / zoom}, {400, 300});
            int inked = 0;
            for (int x = 0; x < 400; ++x)
                inked += v.ink(x, 299) ? 1 : 0;
            QVERIFY2(inked > 0, qPrintable(QString::number(zoom)));
        }
    }

    void shapeFileBesideTheDrawingIsUsed() {
        QTemporaryDir dir;
        const auto doc = loadBeside(dir, ownShapes());
        QVERIFY(doc);
        QVERIFY(doc->problems.empty());
        QCOMPARE(lineType(*doc, "FENCELINE2")->shapes[0].name, QStringLiteral("TALL"));
        // TALL goes 0.8 straight up from the shape's place, 0.25 along.
        const View v = render(doc, {1.5, 0});
        QVERIFY(ink(v, {0, 0}, 25, 60));
        QVERIFY(!ink(v, {0, 0}, 35, -10)); // no box
        QVERIFY(!ink(render(m_doc, {1.5, 0}), {0, 0}, 25, 60));
        // The file has no CIRC1: that shape leaves its gap.
        QVERIFY(!lineType(*doc, "FENCELINE1")->shapes[0].strokes);
    }

    void damagedFileBesideIsLeftOut_data() {
        QTest::addColumn<QByteArray>("bytes");
        const QByteArray good = ownShapes();
        QTest::newRow("truncated") << good.left(40);
        QByteArray count = good;
        count[28] = char(0xFF);
        QTest::newRow("count too big") << count;
        QTest::newRow("empty") << QByteArray();
    }

    void damagedFileBesideIsLeftOut() {
        QFETCH(QByteArray, bytes);
        QTemporaryDir dir;
        const auto doc = loadBeside(dir, bytes);
        QVERIFY(doc);
        QCOMPARE(doc->problems.size(), size_t(1));
        QVERIFY(doc->problems[0].contains(QLatin1String("LTYPESHP.SHX")));
        // Our own outlines stand in.
        QCOMPARE(lineType(*doc, "FENCELINE2")->shapes[0].name, QStringLiteral("BOX"));
        QVERIFY(ink(render(doc, {1.5, 0}), {0, 0}, 27, 10));
    }

    void recursiveShapeBesideEnds() {
        QTemporaryDir dir;
        QByteArray bytes = ownShapes();
        // TALL's subshape call (7, 1) made to call TALL itself.
        const int call = bytes.indexOf(QByteArray("\x07\x01", 2), bytes.indexOf("TALL"));
        QVERIFY(call > 0);
        bytes[call + 1] = char(132);
        const auto doc = loadBeside(dir, bytes);
        QVERIFY(doc);
        const LineTypeShape& tall = lineType(*doc, "FENCELINE2")->shapes[0];
        QVERIFY(tall.strokes);
        QVERIFY(tall.strokes->strokes[0].back().y < 100); // five units a call, nine calls at most
        render(doc, {1.5, 0});
    }
};

QTEST_MAIN(TestLineTypeShapes)
#include "test_linetype_shapes.moc"
