// HATCH: boundary paths of every edge kind, solid and gradient fills with
// holes, pattern lines clipped to the boundary, and the bound on patterns.

#include "formats/Reader.h"
#include "formats/dxf/DxfHatch.h"
#include "formats/dxf/DxfSections.h"

#include <QImage>
#include <QProcess>
#include <QTemporaryDir>
#include <QtTest>

#include <algorithm>
#include <cmath>

using namespace dv;

namespace {

QString fixture(const char* name) {
    return QStringLiteral(TEST_DATA_DIR "/dxf/") + QLatin1String(name);
}

bool near(double a, double b, double eps = 1e-9) {
    return std::abs(a - b) <= eps;
}

Box boundsOf(const Block& b, const Shape& s) {
    Box box;
    for (uint32_t i = s.first; i < s.first + s.count; ++i)
        box.add(b.points[i]);
    return box;
}

// Rings of a polygon shape as point counts.
std::vector<size_t> ringSizes(const Block& b, const Shape& s) {
    std::vector<uint32_t> cuts{s.first};
    for (uint32_t r : b.ringStarts)
        if (r > s.first && r < s.first + s.count)
            cuts.push_back(r);
    cuts.push_back(s.first + s.count);
    std::vector<size_t> out;
    for (size_t i = 0; i + 1 < cuts.size(); ++i)
        out.push_back(cuts[i + 1] - cuts[i]);
    return out;
}

} // namespace

class TestDxfHatch : public QObject {
    Q_OBJECT

    std::unique_ptr<Document> m_doc;
    const Block* m_model = nullptr;

    // The shapes whose points all lie within [x0, x1] x [y0, y1].
    std::vector<const Shape*> within(double x0, double y0, double x1, double y1) const {
        std::vector<const Shape*> out;
        for (const Shape& s : m_model->shapes) {
            const Box b = boundsOf(*m_model, s);
            if (b.isValid() && b.minX >= x0 && b.maxX <= x1 && b.minY >= y0 && b.maxY <= y1)
                out.push_back(&s);
        }
        return out;
    }

private slots:
    void initTestCase() {
        m_doc = ReaderRegistry::builtin().load(fixture("hatch.dxf"));
        m_model = &m_doc->blocks[size_t(m_doc->blockIndex("*Model_Space"))];
        QCOMPARE(m_doc->blocks[0].entityCounts.at("HATCH"), 9);
    }

    void solidFillWithAHole() {
        const auto shapes = within(-0.1, -0.1, 10.1, 10.1);
        QCOMPARE(shapes.size(), size_t(1));
        const Shape& s = *shapes[0];
        QCOMPARE(s.kind, ShapeKind::Polygon);
        QCOMPARE(s.color, Color::fromAci(3));
        QCOMPARE(ringSizes(*m_model, s), (std::vector<size_t>{4, 4}));
    }

    void edgePathsOfLinesAndSplines() {
        const auto shapes = within(-0.1, 19.9, 10.1, 30.1);
        QCOMPARE(shapes.size(), size_t(1));
        const Shape& s = *shapes[0];
        QCOMPARE(ringSizes(*m_model, s).size(), size_t(1)); // the spline's 97 did not end the path
        const Box b = boundsOf(*m_model, s);
        QVERIFY(near(b.minX, 0) && near(b.maxX, 10) && near(b.minY, 20) && near(b.maxY, 30));
        // The cubic's midpoint (a Bezier of these control points) is on the ring.
        const bool hasMid = std::any_of(
            m_model->points.begin() + s.first, m_model->points.begin() + s.first + s.count,
            [](Vec2 p) { return near(p.x, 6.875, 1e-9) && near(p.y, 20 + 6.875, 1e-9); });
        QVERIFY(hasMid);
    }

    void arcAndEllipseEdges() {
        const auto circle = within(24.9, -0.1, 35.1, 10.1);
        QCOMPARE(circle.size(), size_t(1));
        const Box c = boundsOf(*m_model, *circle[0]);
        QVERIFY(near(c.minX, 25, 1e-6) && near(c.maxX, 35, 1e-6) && near(c.maxY, 10, 1e-6));
        const auto ellipse = within(89.9, -5.1, 110.1, 5.1);
        QCOMPARE(ellipse.size(), size_t(1));
        const Box e = boundsOf(*m_model, *ellipse[0]);
        QVERIFY(near(e.minX, 90, 1e-6) && near(e.maxY, 5, 1e-6) && near(e.minY, -5, 1e-6));
    }

    void patternLinesAreClippedEvenOdd() {
        const auto lines = within(49.9, -0.1, 60.1, 10.1);
        // Ten lines, the four through the hole cut in two.
        QCOMPARE(lines.size(), size_t(14));
        for (const Shape* s : lines) {
            QCOMPARE(s->kind, ShapeKind::Polyline);
            QCOMPARE(s->count, 2u);
            const Vec2 a = m_model->points[s->first], b = m_model->points[s->first + 1];
            QVERIFY(near(a.y, b.y));
            const double mid = (a.x + b.x) / 2;
            if (a.y > 3 && a.y < 7)
                QVERIFY(mid < 53 || mid > 57);
            else
                QVERIFY(near(std::abs(b.x - a.x), 10));
        }
    }

    void dashesFollowThePattern() {
        const auto dashes = within(69.9, -0.1, 80.1, 2.1);
        QCOMPARE(dashes.size(), size_t(10));
        for (const Shape* s : dashes) {
            const Vec2 a = m_model->points[s->first], b = m_model->points[s->first + 1];
            QVERIFY(near(std::abs(b.x - a.x), 1));
            QVERIFY(near(std::fmod(std::min(a.x, b.x), 2.0), 0, 1e-9));
        }
    }

    void densePatternGivesWayToItsOutline() {
        const auto shapes = within(-0.1, -1100.1, 1000.1, -99.9);
        QCOMPARE(shapes.size(), size_t(1));
        QCOMPARE(shapes[0]->kind, ShapeKind::Polyline);
        QVERIFY(shapes[0]->flags & Closed);
        QCOMPARE(m_doc->skippedEntities.at("HATCH pattern too dense (outline drawn)"), 1);
    }

    // The first colour's true colour wins over the index written before it.
    void gradientFillsInItsFirstColour() {
        const auto shapes = within(199.9, -0.1, 210.1, 10.1);
        QCOMPARE(shapes.size(), size_t(1));
        QCOMPARE(shapes[0]->kind, ShapeKind::Polygon);
        QCOMPARE(shapes[0]->color, Color::fromRgb(0x00FF00));
    }

    void clipperBoundsWork() {
        // A million lines across one square: refused, and nothing kept.
        dxf::PatternResult r;
        const std::vector<std::vector<Vec2>> rings{{{0, 0}, {1, 0}, {1, 1}, {0, 1}}};
        QVERIFY(!dxf::clipPattern(rings, {{0, {0, 0}, {0, 1e-6}, {}}}, 1000, r));
        QVERIFY(r.segments.empty());
        // Short dashes along few long lines: bounded the same way.
        QVERIFY(!dxf::clipPattern(rings, {{0, {0, 0.5}, {0, 10}, {1e-7, -1e-7}}}, 1000, r));
        // Lines on top of each other draw nothing rather than run away.
        QVERIFY(dxf::clipPattern(rings, {{0, {0, 0}, {5, 0}, {}}}, 1000, r));
        QVERIFY(r.segments.empty());
        // Lines numbered far from the origin still advance one by one.
        QVERIFY(dxf::clipPattern(rings, {{0, {0, -1e20}, {0, 1}, {}}}, 1000, r));
        QVERIFY(r.segments.size() <= 2);
        // Dots: zero-length dashes.
        QVERIFY(dxf::clipPattern(rings, {{0, {0, 0.5}, {0, 1}, {0, -0.25}}}, 1000, r));
        QCOMPARE(r.dots.size(), size_t(4));
    }

    void patternsShareOneBudgetPerFile() {
        // Five hatches of 10 lines each against a budget of 25 segments: two
        // are drawn in full, the rest as outlines.
        QByteArray bytes = "0\nSECTION\n2\nENTITIES\n";
        for (int h = 0; h < 5; ++h)
            bytes += "0\nHATCH\n70\n0\n91\n1\n92\n2\n72\n0\n73\n1\n93\n4\n"
                     "10\n0\n20\n0\n10\n10\n20\n0\n10\n10\n20\n10\n10\n0\n20\n10\n"
                     "97\n0\n75\n0\n76\n1\n78\n1\n53\n0\n43\n0\n44\n0.5\n45\n0\n46\n1\n"
                     "79\n0\n";
        bytes += "0\nENDSEC\n0\nEOF\n";
        Document doc;
        dxf::DxfContext ctx(doc);
        ctx.patternBudget = 25;
        dxf::Tokenizer tok(bytes.constData(), size_t(bytes.size()));
        dxf::Cursor cursor(tok);
        dxf::DxfParser(ctx, cursor, {}).parse();
        const Block& model = doc.blocks[size_t(ctx.modelSpaceBlock())];
        const auto outlines = std::count_if(model.shapes.begin(), model.shapes.end(),
                                            [](const Shape& s) { return s.flags & Closed; });
        QCOMPARE(outlines, 3);
        QCOMPARE(model.shapes.size(), size_t(2 * 10 + 3));
        QCOMPARE(doc.skippedEntities.at("HATCH pattern too dense (outline drawn)"), 3);
    }

    void edgeAnglesOfAnySizeEnd() {
        // Found by fuzzing: an arc edge whose angles are far apart once took
        // one turn at a time to bring them together, which never ended.
        const auto doc =
            ReaderRegistry::builtin().load(fixture("fuzz_hatch_edge_angle.dxf.damaged"));
        QVERIFY(doc);
        QVERIFY(doc->layouts[0].extents.isValid());
        // And an elliptic edge whose sweep is beyond any count of steps.
        try {
            ReaderRegistry::builtin().load(fixture("fuzz_ellipse_edge_sweep.dxf.damaged"));
        } catch (const ReadError& e) {
            QVERIFY(QString::fromUtf8(e.what()).contains("fuzz_ellipse_edge_sweep"));
        }
    }

    void holeShowsInTheRendering() {
        QTemporaryDir dir;
        const QString png = dir.filePath("probe.png");
        QProcess p;
        p.start(VISTREL_TOOL, {"render", fixture("hatch_probe.dxf"), png, "--size", "200x200"});
        QVERIFY(p.waitForFinished(60000));
        QCOMPARE(p.exitCode(), 0);
        const QImage img(png);
        QVERIFY(!img.isNull());
        // The filled square's pixels: red around a background hole.
        int x0 = img.width(), x1 = -1;
        for (int x = 0; x < img.width(); ++x)
            if (qRed(img.pixel(x, img.height() / 2)) > 200 &&
                qGreen(img.pixel(x, img.height() / 2)) < 50) {
                x0 = std::min(x0, x);
                x1 = std::max(x1, x);
            }
        QVERIFY(x1 - x0 > 100);
        const int mid = (x0 + x1) / 2, quarter = (x1 - x0) / 7;
        QCOMPARE(img.pixelColor(mid, mid).red(), img.pixelColor(1, 1).red()); // the hole
        QVERIFY(qRed(img.pixel(x0 + quarter, mid)) > 200);
        QVERIFY(qRed(img.pixel(mid, x0 + quarter)) > 200);
    }

    void lyingCountsAreIgnored() {
        // The last hatch promises a million paths of two billion vertices.
        QCOMPARE(m_doc->skippedEntities.count("HATCH"), size_t(0));
    }
};

QTEST_GUILESS_MAIN(TestDxfHatch)
#include "test_dxf_hatch.moc"
