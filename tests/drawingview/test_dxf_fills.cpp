// Fills from DXF (fixtures of tests/data/dxf/make_fill_fixtures.py): hatch
// boundaries of spline and elliptic edges, and gradient hatches, checked in
// the model and in rendered pixels.

#include "formats/Reader.h"
#include "formats/dxf/DxfHatch.h"

#include <QImage>
#include <QProcess>
#include <QTemporaryDir>
#include <QtTest>

#include <cmath>

using namespace dv;

namespace {

QString fixture(const char* name) {
    return QStringLiteral(TEST_DATA_DIR "/dxf/") + QLatin1String(name);
}

// A rendering without border whose aspect matches `extents`, so that
// drawing coordinates map straight onto pixels.
struct Rendered {
    QImage image;
    QRectF extents; // left, bottom, width, height in drawing units
    QColor at(double x, double y) const {
        const double px = (x - extents.left()) / extents.width() * image.width();
        const double py =
            (extents.top() + extents.height() - y) / extents.height() * image.height();
        return image.pixelColor(std::clamp(int(px), 0, image.width() - 1),
                                std::clamp(int(py), 0, image.height() - 1));
    }
};

Rendered render(const char* name, QSize size, QRectF extents) {
    static QTemporaryDir dir;
    const QString out = dir.filePath(QStringLiteral("out.png"));
    QProcess p;
    p.start(VISTREL_TOOL,
            {"render", fixture(name), out, "--size",
             QStringLiteral("%1x%2").arg(size.width()).arg(size.height()), "--without-border"});
    p.waitForFinished(60000);
    return {QImage(out), extents};
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

const QColor kRed(255, 0, 0), kGreen(0, 255, 0), kBlue(0, 0, 255), kBlack(0, 0, 0);

} // namespace

class TestDxfFills : public QObject {
    Q_OBJECT

private slots:
    void edgesAfterASplineCloseThePath() {
        const Rendered r = render("fill_edges.dxf", {1000, 100}, {0, 0, 100, 10});
        COMPARE_COLOR(r.at(2, 8), kRed); // the corner the closing edges make
        COMPARE_COLOR(r.at(8, 2), kRed);
        COMPARE_COLOR(r.at(12, 5), kRed); // the spline's bulge
        COMPARE_COLOR(r.at(22, 8), kGreen);
        COMPARE_COLOR(r.at(32, 5), kGreen);
        COMPARE_COLOR(r.at(15, 5), kBlack);
    }

    void ellipseEdgesMeetTheirNeighbours() {
        const auto doc = ReaderRegistry::builtin().load(fixture("fill_edges.dxf"));
        const Block& model = doc->blocks[size_t(doc->blockIndex("*Model_Space"))];
        int checked = 0;
        for (const Shape& s : model.shapes) {
            const Vec2 first = model.points[s.first];
            if (first.x < 39)
                continue;
            // Every point is on the half ellipse, or on the straight edges.
            for (uint32_t i = s.first; i < s.first + s.count; ++i) {
                const Vec2 p = model.points[i];
                if (p.x > 95) {
                    const double e = std::pow((p.x - 100) / 4, 2) + std::pow(p.y / 10, 2);
                    QVERIFY2(std::abs(p.y) < 1e-9 || std::abs(p.x - 100) < 1e-9 ||
                                 std::abs(e - 1) < 1e-9,
                             qPrintable(QString("%1 %2").arg(p.x).arg(p.y)));
                } else {
                    const double c = p.x < 65 ? 50 : 80;
                    const double e = std::pow((p.x - c) / 10, 2) + std::pow(p.y / 5, 2);
                    QVERIFY2(std::abs(p.y) < 1e-9 || std::abs(e - 1) < 1e-9,
                             qPrintable(QString("%1 %2").arg(p.x).arg(p.y)));
                    QVERIFY(p.y > -1e-9); // the upper halves, either way round
                }
            }
            ++checked;
        }
        QCOMPARE(checked, 3);
        const Rendered r = render("fill_edges.dxf", {1000, 100}, {0, 0, 100, 10});
        COMPARE_COLOR(r.at(50, 4.5), kBlue);
        COMPARE_COLOR(r.at(80, 4.5), kBlue);
        COMPARE_COLOR(r.at(42, 4.5), kBlack);
        COMPARE_COLOR(r.at(98.5, 3), kBlue);
    }

    void gradientKindsKeepTheirGroups() {
        const auto doc = ReaderRegistry::builtin().load(fixture("gradients.dxf"));
        const Block& model = doc->blocks[size_t(doc->blockIndex("*Model_Space"))];
        QCOMPARE(model.gradients.size(), size_t(12));
        using K = Gradient::Kind;
        const K kinds[] = {K::Linear,           K::Cylinder,     K::InvCylinder,
                           K::Spherical,        K::InvSpherical, K::Hemispherical,
                           K::InvHemispherical, K::Curved,       K::InvCurved};
        for (size_t k = 0; k < 9; ++k) {
            const Gradient& g = model.gradients[k];
            QCOMPARE(g.kind, kinds[k]);
            QCOMPARE(model.shapes[g.shape].kind, ShapeKind::Polygon);
            QCOMPARE(g.first, Color::fromRgb(0xFF0000)); // the true colour, not index 5
            QCOMPARE(g.second, Color::fromRgb(0x0000FF));
        }
        QVERIFY(std::abs(model.gradients[9].angle - M_PI / 2) < 1e-9);
        QCOMPARE(model.gradients[10].second, Color::fromRgb(0xFFFFFF)); // tinted to white
        QCOMPARE(model.gradients[11].shift, 1.0);
    }

    void damagedGradientColoursStayNumbers() {
        // Colour groups far out of range, as a damaged file gives them: taken
        // as the nearest integer, as entity colours are.
        dxf::GradientGroups groups;
        QVERIFY(groups.take(450, 1, "1"));
        QVERIFY(groups.take(463, 0, "0"));
        QVERIFY(groups.take(421, -55, "-55"));
        QCOMPARE(groups.firstColor(), Color::fromRgb(uint32_t(-55)));
        QVERIFY(groups.take(463, 1, "1"));
        QVERIFY(groups.take(63, 1e12, "1e12"));
        QVERIFY(groups.take(63, std::nan(""), "nan"));
        QCOMPARE(groups.firstColor(), Color::fromRgb(uint32_t(-55)));
        // The fuzzed file that found it still ends in the reader's error (not
        // named .dxf, as the other tests open every .dxf here).
        try {
            ReaderRegistry::builtin().load(fixture("fuzz_gradient_colour.dxf.damaged"));
            QFAIL("the damaged file opened");
        } catch (const ReadError& e) {
            QVERIFY(QString::fromUtf8(e.what()).contains("fuzz_gradient_colour.dxf.damaged"));
        }
    }

    void gradientsAreDrawnByKind() {
        const Rendered r = render("gradients.dxf", {1300, 250}, {0, 0, 130, 25});
        auto left = [&](int k) { return r.at(15 * k + 0.5, 5); };
        auto right = [&](int k) { return r.at(15 * k + 9.5, 5); };
        auto centre = [&](int k) { return r.at(15 * k + 5, 5); };
        COMPARE_COLOR(left(0), kRed); // linear
        COMPARE_COLOR(right(0), kBlue);
        COMPARE_COLOR(left(1), kRed); // cylinder: light along the middle
        COMPARE_COLOR(centre(1), kBlue);
        COMPARE_COLOR(right(1), kRed);
        COMPARE_COLOR(left(2), kBlue);
        COMPARE_COLOR(centre(2), kRed);
        COMPARE_COLOR(centre(3), kBlue); // spherical
        COMPARE_COLOR(r.at(45.3, 9.7), QColor(200, 0, 55));
        COMPARE_COLOR(centre(4), kRed);
        COMPARE_COLOR(r.at(80, 0.3), kBlue); // hemispherical: from the bottom's middle
        COMPARE_COLOR(r.at(75.3, 9.7), kRed);
        COMPARE_COLOR(r.at(95, 0.3), kRed);
        COMPARE_COLOR(r.at(105, 9.7), kRed); // curved: down from the top
        COMPARE_COLOR(r.at(105, 0.3), kBlue);
        COMPARE_COLOR(r.at(120, 9.7), kBlue);
        COMPARE_COLOR(r.at(5, 15.5), kRed); // turned: bottom to top
        COMPARE_COLOR(r.at(5, 24.5), kBlue);
        COMPARE_COLOR(r.at(15.5, 20), kGreen); // one colour, tinted to white
        COMPARE_COLOR(r.at(24.5, 20), QColor(255, 255, 255));
        // Shifted: the blend's middle moves to the first colour's side.
        const QColor shifted = r.at(35, 20), plain = centre(0);
        QVERIFY2(shifted.blue() > plain.blue() + 60, qPrintable(shifted.name() + plain.name()));
    }

    void clippedInsertsShowTheirBoundary() {
        const auto doc = ReaderRegistry::builtin().load(fixture("xclip.dxf"));
        const Block& model = doc->blocks[size_t(doc->blockIndex("*Model_Space"))];
        QCOMPARE(model.inserts.size(), size_t(3));
        QCOMPARE(model.inserts[0].clip.size(), size_t(4)); // two corners make a rectangle
        QVERIFY(!model.inserts[0].clipInverted);
        QCOMPARE(model.inserts[1].clip.size(), size_t(3));
        QVERIFY(model.inserts[1].clipInverted);
        QVERIFY(model.inserts[2].clip.empty());
        // The rectangle bounds the first insert: the extents start at its clip.
        const Box& e = doc->layouts[0].extents;
        QCOMPARE(e.minX, 2.0);
        QCOMPARE(e.minY, 0.0);
        QCOMPARE(e.maxX, 50.0);

        const Rendered r = render("xclip.dxf", {480, 100}, {2, 0, 48, 10});
        COMPARE_COLOR(r.at(4, 4), kRed); // inside the rectangle
        COMPARE_COLOR(r.at(4, 8), kBlack);
        COMPARE_COLOR(r.at(8, 4), kBlack);
        COMPARE_COLOR(r.at(22, 2), kBlack); // inside the triangle: cut away
        COMPARE_COLOR(r.at(28, 8), kRed);   // outside it: kept
        COMPARE_COLOR(r.at(42, 2), kRed);   // unclipped
        COMPARE_COLOR(r.at(48, 8), kRed);
    }
};

QTEST_GUILESS_MAIN(TestDxfFills)
#include "test_dxf_fills.moc"
