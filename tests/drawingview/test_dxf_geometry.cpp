// Geometry as CAD places it: entities in frames of their own seen in plan,
// the extents a fit shows, and polylines drawn with their widths.

#include "formats/Reader.h"
#include "formats/common/ObjectFrame.h"
#include "formats/common/PolylineBands.h"
#include "model/Bounds.h"
#include "model/Extents.h"
#include "model/VectorState.h"
#include "render/Renderer.h"

#include <QDir>
#include <QPainter>
#include <QtTest>

#include <cmath>
#include <limits>
#include <numbers>

using namespace dv;

namespace {

const double kPi = std::numbers::pi;
const double kS = std::sqrt(0.5);

QString fixture(const QString& name) {
    return QStringLiteral(TEST_DATA_DIR "/dxf/") + name;
}

std::shared_ptr<Document> load(const QString& name) {
    return std::shared_ptr<Document>(ReaderRegistry::builtin().load(fixture(name)));
}

bool near(double a, double b, double eps = 1e-9) {
    return std::abs(a - b) <= eps;
}

bool near(Vec2 a, Vec2 b, double eps = 1e-9) {
    return std::hypot(a.x - b.x, a.y - b.y) <= eps;
}

std::vector<const Shape*> shapesOf(const Document& doc, const char* type) {
    std::vector<const Shape*> out;
    for (const Shape& s : doc.blocks[size_t(doc.layouts[0].block)].shapes)
        if (doc.entityTypeNames[s.entityType] == QLatin1String(type))
            out.push_back(&s);
    return out;
}

const Block& model(const Document& doc) {
    return doc.blocks[size_t(doc.layouts[0].block)];
}

Box arcBox(const Arc& a) {
    Box b;
    addArcBounds(b, a);
    return b;
}

// A layout fitted into `size` with `margin` on every side, on black.
QImage renderFit(const std::shared_ptr<Document>& doc, int layout, QSize size, double margin,
                 ViewTransform& view) {
    RenderScene scene(doc);
    QImage image(size, QImage::Format_RGB32);
    image.fill(Qt::black);
    view.zoomToFit(doc->layouts[size_t(layout)].extents, QRectF(QPointF(0, 0), QSizeF(size)),
                   margin);
    QPainter painter(&image);
    QPainterBackend backend(painter, QRectF(image.rect()));
    RenderOptions options;
    options.background = Qt::black;
    Renderer(scene).render(backend, view, layout, options);
    return image;
}

bool lit(const QImage& img, QPointF p) {
    const QPoint q = p.toPoint();
    return img.rect().contains(q) && (img.pixel(q) & 0xFFFFFF) != 0;
}

} // namespace

class TestDxfGeometry : public QObject {
    Q_OBJECT

private slots:
    void arbitraryAxisRule() {
        // Near the world z axis the frame's x axis comes from world y x N.
        const ObjectFrame below({0, 0, -1});
        QVERIFY(!below.isWorld() && below.isMirrored());
        QVERIFY(near(below.toPlan(3, 4), {-3, 4}));
        const ObjectFrame nearZ({0.01, 0, 1});
        QVERIFY(nearZ.axisX().x > 0.99 && near(nearZ.axisX().y, 0));
        // Further out from world z x N; the axes stay unit length and square.
        const ObjectFrame tilt({1, 0, 1});
        QVERIFY(near(tilt.axisX().y, 1) && near(tilt.axisY().x, -kS) && near(tilt.axisY().z, kS));
        QVERIFY(near(tilt.toPlan(1, 2, 3), {-2 * kS + 3 * kS, 1}));
        QVERIFY(!tilt.isMirrored());
        QVERIFY(ObjectFrame({0, 0, 5}).isWorld());
        QVERIFY(ObjectFrame({0, 0, 0}).isWorld());
        QVERIFY(ObjectFrame({std::nan(""), 0, 1}).isWorld());
    }

    void conjugateAxesGiveTheEllipse() {
        // Two diameters that are not square to each other.
        const Arc a = conjugateArc({1, 2}, {3, 0}, {1, 1}, 0, kPi / 2);
        auto at = [&](double t) {
            const double x = a.radiusX * std::cos(t), y = a.radiusY * std::sin(t);
            return Vec2{a.center.x + x * std::cos(a.rotation) - y * std::sin(a.rotation),
                        a.center.y + x * std::sin(a.rotation) + y * std::cos(a.rotation)};
        };
        QVERIFY(near(at(a.startAngle), {4, 2}));
        QVERIFY(near(at(a.endAngle), {2, 3}));
        // Clockwise pairs keep positive radii and run the sweep backwards.
        const Arc m = conjugateArc({0, 0}, {-2, 0}, {0, 2}, 0, kPi / 2);
        QVERIFY(m.radiusX > 0 && m.radiusY > 0 && m.endAngle > m.startAngle);
        const double x = m.radiusX * std::cos(m.startAngle), y = m.radiusY * std::sin(m.startAngle);
        QVERIFY(near(Vec2{x * std::cos(m.rotation) - y * std::sin(m.rotation),
                          x * std::sin(m.rotation) + y * std::cos(m.rotation)},
                     {0, 2}));
    }

    void tiltedEntitiesLandInPlan() {
        auto doc = load(QStringLiteral("frames.dxf"));
        QVERIFY(doc);
        const Block& b = model(*doc);
        // Circle r 4 at (10, 0, 0) of the frame: world (0, 10), seen shortened in x.
        const Box circle = arcBox(b.arcs[shapesOf(*doc, "CIRCLE")[0]->first]);
        QVERIFY(near(circle.minX, -4 * kS, 1e-6) && near(circle.maxX, 4 * kS, 1e-6));
        QVERIFY(near(circle.minY, 6, 1e-6) && near(circle.maxY, 14, 1e-6));
        // The ellipse's minor axis is normal x major: world (-S, 0, S) * 3.
        const Box ellipse = arcBox(b.arcs[shapesOf(*doc, "ELLIPSE")[0]->first]);
        QVERIFY(near(ellipse.minX, 40 - 3 * kS, 1e-6) && near(ellipse.maxY, 6, 1e-6));
        // A polyline at elevation 4: the frame's z lifts it along the normal.
        const Shape* pl = shapesOf(*doc, "LWPOLYLINE")[0];
        QVERIFY(near(b.points[pl->first], {-10 * kS + 4 * kS, 0}));
        QVERIFY(near(b.points[pl->first + 1], {-20 * kS + 4 * kS, 0}));
        const Shape* solid = shapesOf(*doc, "SOLID")[0];
        QVERIFY(near(b.points[solid->first], {0, 30}));
        QVERIFY(near(b.points[solid->first + 2], {-2 * kS, 32}));
        // Text at 90 degrees in the frame runs along its y axis: world -x.
        const Text& t = b.texts[shapesOf(*doc, "TEXT")[0]->first];
        QVERIFY(near(t.position, {-10 * kS, 50}));
        QVERIFY(near(std::remainder(t.rotation - kPi, 2 * kPi), 0));
        // The square block's axes lean as the frame shows them.
        const Insert& ins = b.inserts.at(0);
        const Vec2 base{0, 0};
        const double c = std::cos(kPi / 4);
        QVERIFY(near(placeInInsert(ins, base, {0, 0}), {0, 60}));
        QVERIFY(near(placeInInsert(ins, base, {1, 0}), {-c * kS, 60 + c}));
        QVERIFY(near(placeInInsert(ins, base, {0, 1}), {-c * kS, 60 - c}));
        // World coordinates stay put whatever the extrusion says.
        QVERIFY(near(b.texts[shapesOf(*doc, "MTEXT")[0]->first].position.x, 70, 1));
        const Shape* leader = shapesOf(*doc, "LEADER")[0];
        QVERIFY(near(b.points[leader->first], {80, 0}));
        // Hatches fill in their own plane: the solid one tilted and lifted by
        // its elevation, the pattern seen from below, its lines within the square.
        const auto hatches = shapesOf(*doc, "HATCH");
        QVERIFY(hatches.size() > 2);
        QCOMPARE(hatches[0]->kind, ShapeKind::Polygon);
        QVERIFY(near(b.points[hatches[0]->first], {2 * kS, 0}));
        QVERIFY(near(b.points[hatches[0]->first + 2], {-2 * kS + 2 * kS, 2}));
        for (size_t i = 1; i < hatches.size(); ++i)
            for (uint32_t k = 0; k < hatches[i]->count; ++k) {
                const Vec2 p = b.points[hatches[i]->first + k];
                QVERIFY(p.x >= -12 - 1e-9 && p.x <= -10 + 1e-9 && p.y >= -1e-9 && p.y <= 2 + 1e-9);
            }
    }

    void extentsShowTheDrawing() {
        auto doc = load(QStringLiteral("extents.dxf"));
        QVERIFY(doc);
        const Box e = doc->layouts[0].extents;
        // Construction lines and the frozen layer do not count; the off layer does.
        QVERIFY(near(e.minX, -20));
        // The ring turned by 45 degrees reaches exactly its radius, not a
        // rotated box's corner (20 + 3 * sqrt 2).
        QVERIFY(near(e.maxX, 23, 0.01) && near(e.maxY, 23, 0.01));
        // Narrow glyphs measure narrow: ten "i" at height 2, not 10 * 0.6 * 2.
        QVERIFY(near(e.minY, -10, 0.05));
        const Text& t = model(*doc).texts.at(0);
        Box text;
        for (Vec2 p : textCorners(t))
            text.add(p);
        QVERIFY(text.width() > 1 && text.width() < 8);
    }

    // A run's bounds come two points at a time; they must be those of its
    // finite points one by one, whatever the run's length, its place and the
    // odd and even places of the points left out.
    void pointRunBoundsSkipWhatIsNotFinite() {
        const double inf = std::numeric_limits<double>::infinity();
        const double nan = std::nan("");
        PointVector pts;
        for (int i = 0; i < 40; ++i)
            pts.push_back({std::sin(i * 1.3) * 100, std::cos(i * 0.7) * 50 - i});
        pts[3] = {nan, 1e9};
        pts[8] = {-1e9, inf};
        pts[13] = {-inf, -inf};
        for (size_t first : {0, 1, 2, 3, 7, 8, 39, 40})
            for (size_t count : {0, 1, 2, 3, 5, 6, 11, 100}) {
                Box fast, slow;
                addPointRunBounds(fast, pts, first, count);
                for (size_t i = first; i < std::min(pts.size(), first + count); ++i)
                    slow.add(pts[i]);
                QVERIFY2(fast.minX == slow.minX && fast.minY == slow.minY &&
                             fast.maxX == slow.maxX && fast.maxY == slow.maxY,
                         qPrintable(QStringLiteral("first %1, count %2").arg(first).arg(count)));
            }
        // What the box held stays counted.
        Box held;
        held.add(Vec2{-500, 700});
        addPointRunBounds(held, pts, 0, 3);
        QCOMPARE(held.minX, -500.0);
        QCOMPARE(held.maxY, 700.0);
    }

    // Qt's seeded string hash leaves the vector registers' upper halves in
    // use, which slows every SSE instruction after it. Measuring a text looks
    // its glyphs up in such a hash and must not leave them so.
    void measuringTextLeavesTheVectorUnitsClear() {
        QHash<QString, int> seen;
        seen.insert(QStringLiteral("1504,68"), 1);
        // A lookup alone: an insert may copy with a C library routine that
        // clears the state again.
        const auto lookUp = [&] { return seen.value(QStringLiteral("1504,68")); };
        const int found = lookUp();
        if (!upperVectorStateInUse())
            QSKIP("this processor or Qt build leaves no upper vector state behind a hash");
        clearUpperVectorState();
        QVERIFY(!upperVectorStateInUse());
        QCOMPARE(found, 1);

        Text t;
        t.text = QStringLiteral("1504,68");
        t.height = 2.5;
        QCOMPARE(lookUp(), 1);
        QVERIFY(upperVectorStateInUse());
        Box text;
        for (Vec2 p : textCorners(t))
            text.add(p);
        QVERIFY(!upperVectorStateInUse());
        QVERIFY(text.width() > 2.5);
    }

    // Extents measure only the texts that may reach past the rest, so the
    // cheap reach must hold every text's glyphs, and the result must be the
    // one measuring every text gives.
    void textsInsideTheRestAreNotMeasuredButCount() {
        const QStringList strings = {
            "W",    "MMMM", "jjj",     "ffi", "@%&",         "\u6f22\u5b57",
            "Room", "i",    "\u00c5g", "_",   "WWWWWWWWWWWW"};
        std::vector<Text> texts;
        int variant = 0;
        for (const QString& s : strings)
            for (double rotation : {0.0, 0.7, kPi, -2.0})
                for (int align = 0; align < 4; ++align) {
                    Text t;
                    t.text = s;
                    t.height = variant % 5 == 0 ? -2 : 2;
                    t.widthFactor = variant % 7 == 0 ? -0.8 : 1.3;
                    t.oblique = variant % 3 == 0 ? 0.26 : 0;
                    t.rotation = rotation;
                    t.hAlign = Text::HAlign(align % 3);
                    t.vAlign = Text::VAlign(align);
                    if (variant % 4 == 0)
                        t.decorations = {{Text::Overline, 0, int32_t(s.size())}};
                    texts.push_back(t);
                    ++variant;
                }
        for (const Text& t : texts) {
            Box reach, glyphs;
            addTextReach(reach, t);
            for (Vec2 p : textCorners(t))
                glyphs.add(p);
            QVERIFY2(glyphs.minX >= reach.minX - 2 && glyphs.maxX <= reach.maxX + 2 &&
                         glyphs.minY >= reach.minY - 2 && glyphs.maxY <= reach.maxY + 2,
                     qPrintable(t.text));
        }

        // Enough shapes to be measured in parallel ranges; texts inside the
        // frame, on its edges and past it.
        auto doc = std::make_shared<Document>();
        doc->layers.push_back({});
        doc->layers[0].name = QStringLiteral("0");
        doc->blocks.resize(1);
        Block& b = doc->blocks[0];
        b.addPolygon({{0, 0}, {1000, 0}, {1000, 500}, {0, 500}});
        Box expected;
        expected.add(0, 0);
        expected.add(1000, 500);
        for (int i = 0; i < 70000; ++i) {
            Text t = texts[size_t(i) % texts.size()];
            const int where = i % 1000;
            t.position = where == 1   ? Vec2{-1, 250}
                         : where == 2 ? Vec2{1001, 100}
                         : where == 3 ? Vec2{500, 501}
                         : where == 4 ? Vec2{700, 0.5}
                                      : Vec2{10.0 + (i * 37) % 980, 10.0 + (i * 53) % 480};
            if (i == 70000 - 3)
                t.position = {-300, -200}; // far out, late in the last range
            b.addText(t);
            for (Vec2 p : textCorners(t))
                expected.add(p);
        }
        doc->layouts.push_back(Layout{QStringLiteral("Model"), 0, 0, false, {}});
        doc->finish();
        const Box e = doc->layouts[0].extents;
        QCOMPARE(e.minX, expected.minX);
        QCOMPARE(e.minY, expected.minY);
        QCOMPARE(e.maxX, expected.maxX);
        QCOMPARE(e.maxY, expected.maxY);
        QVERIFY(e.minX < -300 && e.minY < -200);
    }

    // Upright and turned arcs of every sweep: the bounds hold the whole
    // curve and reach its furthest points.
    void arcBoundsHugTheCurve() {
        const double starts[] = {0, 0.3, -1, kPi / 2, 3, -7, 12.5};
        const double sweeps[] = {0.01, 0.5, kPi / 2, 2, kPi, 4, 6, -1.2, -5};
        for (double rotation : {0.0, 0.4, -2.5})
            for (double rx : {1.0, 3.0})
                for (double start : starts)
                    for (double sweep : sweeps) {
                        const Arc a{{5, -2}, rx, 2, rotation, start, start + sweep};
                        const Box got = arcBox(a);
                        Box want;
                        const double c = std::cos(rotation), s = std::sin(rotation);
                        for (int k = 0; k <= 20000; ++k) {
                            const double t = start + sweep * k / 20000.0;
                            const double x = rx * std::cos(t), y = 2 * std::sin(t);
                            want.add(5 + x * c - y * s, -2 + x * s + y * c);
                        }
                        const double tol = 1e-6;
                        QVERIFY2(near(got.minX, want.minX, tol) && near(got.maxX, want.maxX, tol) &&
                                     near(got.minY, want.minY, tol) &&
                                     near(got.maxY, want.maxY, tol),
                                 qPrintable(QStringLiteral("rotation %1 start %2 sweep %3")
                                                .arg(rotation)
                                                .arg(start)
                                                .arg(sweep)));
                    }
    }

    void rotatedArrayInsertsStayTight() {
        auto doc = std::make_shared<Document>();
        doc->layers.push_back({});
        doc->layers[0].name = QStringLiteral("0");
        Block ring, top;
        ring.name = QStringLiteral("R");
        ring.addArc(Arc{{0, 0}, 1, 1, 0, 0, 2 * kPi});
        doc->blocks = {top, ring};
        Insert ins;
        ins.block = 1;
        ins.rotation = kPi / 6;
        ins.columns = 3;
        ins.columnSpacing = 10;
        doc->blocks[0].addInsert(ins);
        doc->layouts.push_back(Layout{QStringLiteral("Model"), 0, 0, false, {}});
        doc->finish();
        // Three rings along a line at 30 degrees: the first and the last bound it.
        const Box e = doc->layouts[0].extents;
        QVERIFY(near(e.minX, -1, 0.01) && near(e.minY, -1, 0.01));
        QVERIFY(near(e.maxX, 20 * std::cos(kPi / 6) + 1, 0.01));
        QVERIFY(near(e.maxY, 20 * std::sin(kPi / 6) + 1, 0.01));
    }

    // A leaning array drawn where its cells are, also when the view shows
    // only one of them and culls the rest.
    void shearedArraysDrawTheirCells() {
        auto doc = std::make_shared<Document>();
        doc->layers.push_back({});
        Block top, cell;
        cell.name = QStringLiteral("C");
        cell.addPolygon({{0, 0}, {1, 0}, {1, 1}, {0, 1}}).color = Color::fromRgb(0xFF0000);
        doc->blocks = {top, cell};
        Insert ins;
        ins.block = 1;
        ins.shear = 1;
        ins.columns = 2;
        ins.rows = 3;
        ins.columnSpacing = 10;
        ins.rowSpacing = 10;
        doc->blocks[0].addInsert(ins);
        doc->layouts.push_back(Layout{QStringLiteral("Model"), 0, 0, false, {}});
        doc->finish();
        // Cell (1, 2) leans by its row: its corner at (10 + 20, 20).
        QVERIFY(near(placeInInsert(ins, {0, 0}, {0.5, 0.5}, 1, 2), {31, 20.5}));
        RenderScene scene(doc);
        QImage image(40, 40, QImage::Format_RGB32);
        image.fill(Qt::black);
        ViewTransform view;
        view.setViewport(QRectF(0, 0, 40, 40));
        view.setZoom(10, {31, 20.5});
        {
            QPainter painter(&image);
            QPainterBackend backend(painter, QRectF(image.rect()));
            Renderer(scene).render(backend, view, 0);
        }
        QCOMPARE(image.pixel(20, 20) & 0xFFFFFF, 0xFF0000u);
        QCOMPARE(image.pixel(2, 20) & 0xFFFFFF, 0u); // (29.2, 20.5): between cells
    }

    void bandsTaperMitreAndBend() {
        // Taper: a triangle from a point to width 4.
        auto t = buildBands({{0, 0}, {20, 0}}, {0, 0}, {0, 0}, {4, 0}, false);
        QCOMPARE(t.bands.size(), size_t(1));
        QVERIFY(near(t.bands[0][1], {20, 2}) && near(t.bands[0][2], {20, -2}));
        // A closed square of width 2 mitres every corner, the first one too.
        auto sq = buildBands({{0, 0}, {10, 0}, {10, 10}, {0, 10}}, {0, 0, 0, 0}, {2, 2, 2, 2},
                             {2, 2, 2, 2}, true);
        QCOMPARE(sq.bands.size(), size_t(4));
        QVERIFY(near(sq.bands[0][0], {1, 1}) && near(sq.bands[0][3], {-1, -1}));
        QVERIFY(near(sq.bands[0][1], {9, 1}) && near(sq.bands[0][2], {11, -1}));
        // The closing vertex written out again changes nothing.
        auto again = buildBands({{0, 0}, {10, 0}, {10, 10}, {0, 10}, {0, 0}}, {0, 0, 0, 0, 0},
                                {2, 2, 2, 2, 2}, {2, 2, 2, 2, 2}, true);
        QCOMPARE(again.bands.size(), size_t(4));
        QVERIFY(near(again.bands[0][0], {1, 1}) && near(again.bands[3][2], {-1, -1}));
        // Where the width changes at a corner each band ends square.
        auto step = buildBands({{0, 0}, {10, 0}, {10, 10}}, {0, 0, 0}, {2, 4, 0}, {2, 4, 0}, false);
        QVERIFY(near(step.bands[0][1], {10, 1}) && near(step.bands[1][0], {8, 0}));
        QVERIFY(near(step.bands[1][3], {12, 0}));
        // A wide half circle keeps its width all along the arc.
        auto arc = buildBands({{0, 0}, {2, 0}}, {1, 0}, {0.5, 0}, {0.5, 0}, false);
        QCOMPARE(arc.bands.size(), size_t(1));
        for (Vec2 p : arc.bands[0]) {
            const double r = std::hypot(p.x - 1, p.y);
            QVERIFY(near(r, 1.25) || near(r, 0.75));
        }
        // Segments without width stay lines.
        auto mixed = buildBands({{0, 0}, {5, 0}, {5, 5}}, {0, 0, 0}, {1, 0, 0}, {1, 0, 0}, false);
        QCOMPARE(mixed.bands.size(), size_t(1));
        QCOMPARE(mixed.hairlines.size(), size_t(1));
    }

    void widePolylinesDrawFilled() {
        auto doc = load(QStringLiteral("widths.dxf"));
        QVERIFY(doc);
        // The POLYLINE's default widths (1 to 3) go to its first vertex; the
        // second says 0 and draws a line.
        const auto poly = shapesOf(*doc, "POLYLINE");
        QCOMPARE(poly.size(), size_t(2));
        QCOMPARE(poly[0]->kind, ShapeKind::Polygon);
        QCOMPARE(poly[1]->kind, ShapeKind::Polyline);
        ViewTransform view;
        const QImage img = renderFit(doc, 0, {610, 360}, 0, view); // 10 px per unit
        auto at = [&](double x, double y) { return lit(img, view.mapFromDrawing({x, y})); };
        QVERIFY(at(18, 1.5) && !at(2, 1.5));   // the taper widens to the right
        QVERIFY(at(30, 0.0) && at(39.5, 9.5)); // the square's band, corners filled
        QVERIFY(at(30.9, 0.9) && !at(35, 5));  // mitred inside, open in the middle
        QVERIFY(at(55, -5) && !at(55, -3));    // the arc's band, hollow inside
        QVERIFY(at(19, 21.3) && !at(1, 21.3)); // the default taper
    }

    void wideOutlineClipsByItsCentreLine() {
        auto doc = load(QStringLiteral("widths_clip.dxf"));
        QVERIFY(doc);
        const Layout* sheet = nullptr;
        for (const Layout& l : doc->layouts)
            if (l.paperSpace)
                sheet = &l;
        QVERIFY(sheet);
        const Block& paper = doc->blocks[size_t(sheet->block)];
        QCOMPARE(paper.viewports.size(), size_t(1)); // the sheet itself is no window
        const std::vector<Vec2>& clip = paper.viewports[0].clip;
        QCOMPARE(clip.size(), size_t(3));
        QVERIFY(near(clip[0], {170, 30}) && near(clip[2], {170, 90}));
    }

    // Whatever a fixture holds, a fit shows all of its glyphs and strokes
    // inside the frame of its extents (points and lines without end apart).
    void nothingDrawnOutsideTheExtents() {
        const QStringList files =
            QDir(QStringLiteral(TEST_DATA_DIR "/dxf")).entryList({QStringLiteral("*.dxf")});
        QVERIFY(files.size() > 20);
        for (const QString& name : files) {
            auto doc = load(name);
            if (!doc)
                continue; // files made to fail are another test's
            doc->showLineWeights = false;
            for (Block& b : doc->blocks)
                std::erase_if(b.shapes, [](const Shape& s) {
                    return (s.flags & Unbounded) || s.kind == ShapeKind::Point;
                });
            doc->finish();
            for (size_t l = 0; l < doc->layouts.size(); ++l) {
                const Box e = doc->layouts[l].extents;
                if (!e.isValid() || e.width() <= 0 || e.height() <= 0)
                    continue;
                ViewTransform view;
                const QImage img = renderFit(doc, int(l), {400, 300}, 0.1, view);
                const QPointF a = view.mapFromDrawing({e.minX, e.maxY});
                const QPointF z = view.mapFromDrawing({e.maxX, e.minY});
                const QRectF frame = QRectF(a, z).normalized().adjusted(-2, -2, 2, 2);
                int outside = 0;
                for (int y = 0; y < img.height(); ++y)
                    for (int x = 0; x < img.width(); ++x)
                        if (!frame.contains(QPointF(x + 0.5, y + 0.5)) &&
                            (img.pixel(x, y) & 0xFFFFFF) != 0)
                            ++outside;
                QVERIFY2(outside == 0, qPrintable(QStringLiteral("%1, layout %2: %3 pixels")
                                                      .arg(name, doc->layouts[l].name)
                                                      .arg(outside)));
            }
        }
    }
};

QTEST_MAIN(TestDxfGeometry)
#include "test_dxf_geometry.moc"
