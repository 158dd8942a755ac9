// Linetypes, lineweights and transparency: dash patterns read from the LTYPE
// table and drawn at the right pitch (ByLayer, ByBlock, dots, complex ones,
// patterns too fine to show), lineweights at a fixed size in model space and
// at paper size on layouts, and see-through fills. Each row of linetypes.dxf
// is one case.

#include "PixelView.h"
#include "formats/Reader.h"
#include "render/Dashes.h"
#include "render/Renderer.h"

#include <QJsonDocument>
#include <QJsonObject>
#include <QPainter>
#include <QProcess>
#include <QtTest>

#include <cmath>

using namespace dv;

namespace {

QString fixture(const char* name) {
    return QStringLiteral(TEST_DATA_DIR "/dxf/") + QLatin1String(name);
}

std::shared_ptr<const Document> load(const char* name) {
    return ReaderRegistry::builtin().load(fixture(name));
}

int layoutNamed(const Document& doc, const char* name) {
    for (size_t i = 0; i < doc.layouts.size(); ++i)
        if (doc.layouts[i].name == QLatin1String(name))
            return int(i);
    return -1;
}

// Ink along a horizontal line from x0 to x1 (drawing units) at y: the
// columns inked, and the pixel distances between the starts of ink runs.
struct Profile {
    int columns = 0;
    int inked = 0;
    std::vector<int> runStarts;
    double fill() const { return columns ? double(inked) / columns : 0; }
    // The median distance between run starts; 0 when there are fewer than three runs.
    double pitch() const {
        if (runStarts.size() < 3)
            return 0;
        std::vector<int> d;
        for (size_t i = 1; i < runStarts.size(); ++i)
            d.push_back(runStarts[i] - runStarts[i - 1]);
        std::sort(d.begin(), d.end());
        return d[d.size() / 2];
    }
};

Profile profile(const View& v, double x0, double x1, double y) {
    Profile p;
    const QPoint a = v.at({x0, y}), b = v.at({x1, y});
    bool previous = false;
    for (int x = a.x(); x <= b.x(); ++x) {
        const bool on = v.inkAt(x, a.y());
        ++p.columns;
        p.inked += on;
        if (on && !previous)
            p.runStarts.push_back(x);
        previous = on;
    }
    return p;
}

// The thickness in pixels of the horizontal line through `p`: the run of
// ink in its column that meets the point's row or one either side.
int thickness(const View& v, Vec2 p) {
    const QPoint c = v.at(p);
    int y = c.y() - 1;
    while (y <= c.y() + 1 && !v.ink(c.x(), y))
        ++y;
    if (y > c.y() + 1)
        return 0;
    int top = y, bottom = y;
    while (v.ink(c.x(), top - 1))
        --top;
    while (v.ink(c.x(), bottom + 1))
        ++bottom;
    return bottom - top + 1;
}

// At 10 pixels a unit and $LTSCALE 2, DASHED (0.5, -0.25) repeats every 15 pixels.
constexpr double zoom = 10;

} // namespace

class TestDxfLineTypes : public QObject {
    Q_OBJECT

    std::shared_ptr<const Document> m_doc;

    Profile row(double y, double x0 = 0.5, double x1 = 29.5) const {
        return profile(render(m_doc, 0, zoom, {15, y}), x0, x1, y);
    }

private slots:
    void initTestCase() { m_doc = load("linetypes.dxf"); }

    void tableAndHeaderAreRead() {
        QCOMPARE(m_doc->lineTypeScale, 2.0);
        QVERIFY(m_doc->paperLineTypeScale);
        QVERIFY(!m_doc->showLineWeights);
        const auto type = [&](const char* name) -> const LineType* {
            for (const LineType& t : m_doc->lineTypes)
                if (t.name == QLatin1String(name))
                    return &t;
            return nullptr;
        };
        QVERIFY(type("DASHED"));
        QCOMPARE(type("DASHED")->dashes, (std::vector<double>{0.5, -0.25}));
        QCOMPARE(type("DASHED")->period, 0.75);
        // Complex: the text element keeps its place as a gap.
        QCOMPARE(type("GAS_LINE")->dashes, (std::vector<double>{0.5, -0.2, -0.25}));
        // Nothing but gaps would hide the line: it stays continuous.
        QVERIFY(type("GAPS")->dashes.empty());
        // Named in an entity, defined nowhere.
        QVERIFY(type("NO_SUCH_TYPE") && type("NO_SUCH_TYPE")->dashes.empty());
    }

    void dashedLineAtTheScaledPitch() {
        // $CELTSCALE (5) is for entities drawn next and must not stretch these.
        const Profile p = row(0);
        QCOMPARE(p.pitch(), 15.0);
        QVERIFY2(p.fill() > 0.55 && p.fill() < 0.85, qPrintable(QString::number(p.fill())));
        // The entity's own scale (48 = 2) doubles it.
        QCOMPARE(row(2).pitch(), 30.0);
    }

    void byLayerAndByBlock() {
        QCOMPARE(row(4).pitch(), 15.0); // the layer's DASHED
        // ByBlock inside an insert whose linetype is DASHED.
        QCOMPARE(row(6).pitch(), 15.0);
        // ByLayer on layer 0 in the block: the insert's layer, continuous.
        QCOMPARE(row(7).fill(), 1.0);
        // Continuous named on a DASHED layer wins over the layer.
        QCOMPARE(row(8).fill(), 1.0);
    }

    void dotsAndPatternsTooFine() {
        const Profile dots = row(10);
        QCOMPARE(dots.pitch(), 5.0); // (0, -0.25) x 2 units at 10 px
        QVERIFY2(dots.fill() < 0.4, qPrintable(QString::number(dots.fill())));
        // FINE repeats every 0.4 pixels: drawn as a line, as CAD programs do.
        QCOMPARE(row(12).fill(), 1.0);
        // Zoomed out until DASHED repeats every 1.5 pixels: continuous too.
        const View far = render(m_doc, 0, 1, {15, 0}, {60, 20});
        QCOMPARE(profile(far, 1, 29, 0).fill(), 1.0);
    }

    void complexLinetypeWritesItsText() {
        // GAS_LINE at $LTSCALE 2 and 50 px a unit: a 50 px dash, then "GAS"
        // 10 px high, starting 10 px back from the end of the 20 px gap and
        // 5 px under the line; the period is 95 px.
        const View v = render(m_doc, 0, 50, {4, 14}, {400, 100});
        const QPoint start = v.at({0, 14});
        auto inkAbove = [&](int from, int to) {
            for (int x = start.x() + from; x <= start.x() + to; ++x)
                for (int y = start.y() - 4; y >= start.y() - 9; --y)
                    if (v.ink(x, y))
                        return true;
            return false;
        };
        QVERIFY(v.inkAt(start.x() + 25, start.y())); // the dash
        QVERIFY(!inkAbove(2, 48));                   // no text over it
        QVERIFY(inkAbove(62, 75));                   // "GAS" in the gap
        QVERIFY(inkAbove(62 + 95, 75 + 95));         // and in the next period
        QVERIFY(!inkAbove(100, 143));
    }

    void patternRunsOnAcrossVertices() {
        // Vertices every 0.7 units, shorter than a dash: restarting at each
        // would draw the polyline solid.
        const Profile p = row(16);
        QCOMPARE(p.pitch(), 15.0);
        QVERIFY(p.fill() < 0.85);
    }

    void unusablePatternsStayVisible() {
        QCOMPARE(row(18).fill(), 1.0);           // only gaps
        QCOMPARE(row(20, 0.1, 1.1).fill(), 1.0); // shorter than one period
        QCOMPARE(row(22).fill(), 1.0);           // an undefined linetype
    }

    void curvesAreDashed() {
        // The circle at (45, 10), radius 8: some of it drawn, some gaps.
        const View v = render(m_doc, 0, zoom, {45, 10}, {200, 200});
        int on = 0, n = 0;
        for (int k = 0; k < 720; ++k) {
            const double a = k * std::numbers::pi / 360;
            const QPoint c = v.at({45 + 8 * std::cos(a), 10 + 8 * std::sin(a)});
            bool hit = false;
            for (int dy = -1; dy <= 1; ++dy)
                for (int dx = -1; dx <= 1; ++dx)
                    hit = hit || v.ink(c.x() + dx, c.y() + dy);
            on += hit;
            ++n;
        }
        QVERIFY2(on > n / 2 && on < n * 0.9, qPrintable(QString("%1 of %2").arg(on).arg(n)));
    }

    void hatchLinesKeepTheirOwnPattern() {
        // The hatch is DASHED, its pattern line continuous: the line at y 2 stays whole.
        const View v = render(m_doc, 0, zoom, {70, 2}, {300, 80});
        QCOMPARE(profile(v, 61, 79, 2).fill(), 1.0);
    }

    void binaryGivesTheSamePicture() {
        const auto binary = load("linetypes_binary.dxf");
        QCOMPARE(binary->lineTypes.size(), m_doc->lineTypes.size());
        RenderScene a(m_doc), b(binary);
        QCOMPARE(renderFitted(b, 0, QSize(600, 300), false),
                 renderFitted(a, 0, QSize(600, 300), false));
    }

    void dashesKeepTheirPlaceWhenClipped() {
        // A line 10^12 pixels long through a small view: the walk is bounded
        // by what shows, and the dashes there lie where the whole walk puts them.
        ScreenPattern pattern{{10, -5}, 15, {}};
        const QPointF line[2] = {{-9.9e11 + 7, 5}, {9.9e11, 5}}; // whole periods before x = 7
        DashedPath clipped;
        dashPath(line, 2, false, pattern, QRectF(0, 0, 100, 10), clipped);
        QVERIFY(!clipped.dashSizes.empty() && clipped.dashSizes.size() <= 8);
        const QPointF shortLine[2] = {{7, 5}, {200, 5}};
        DashedPath whole;
        dashPath(shortLine, 2, false, pattern, QRectF(0, 0, 1000, 10), whole);
        // Both start on the pattern at x = 7 (mod 15): the dash starts agree.
        auto starts = [](const DashedPath& d) {
            std::vector<double> out;
            size_t at = 0;
            for (uint32_t n : d.dashSizes) {
                const double x = d.points[at].x();
                if (x > 0.5 && x < 99.5)
                    out.push_back(x);
                at += n;
            }
            return out;
        };
        const auto c = starts(clipped), w = starts(whole);
        QVERIFY(!c.empty());
        for (double x : c)
            QVERIFY2(
                std::any_of(w.begin(), w.end(), [x](double y) { return std::abs(x - y) < 1e-3; }),
                qPrintable(QString::number(x)));
    }

    void lineWeightsInModelSpace() {
        const auto doc = load("lineweights.dxf");
        QVERIFY(doc->showLineWeights);
        QCOMPARE(doc->defaultLineWeight, int16_t(25));
        // 2.11 mm: several pixels, the same at any zoom.
        const int near = thickness(render(doc, 0, 10, {15, 0}, {400, 100}), {15, 0});
        const int far = thickness(render(doc, 0, 2, {15, 0}, {400, 100}), {15, 0});
        QVERIFY2(near >= 6 && near <= 10, qPrintable(QString::number(near)));
        QCOMPARE(far, near);
        // The default (0.25 mm) is one pixel; the layer's 1 mm a few.
        QCOMPARE(thickness(render(doc, 0, 10, {15, 10}, {400, 100}), {15, 10}), 1);
        const int layer = thickness(render(doc, 0, 10, {15, 20}, {400, 100}), {15, 20});
        QVERIFY2(layer >= 3 && layer < near, qPrintable(QString::number(layer)));
        // Without $LWDISPLAY every line is one pixel.
        const auto off = load("lineweights_off.dxf");
        QVERIFY(!off->showLineWeights);
        QCOMPARE(thickness(render(off, 0, 10, {15, 0}, {400, 100}), {15, 0}), 1);
    }

    // Weights of a few pixels are batched as square-ended strokes: they keep
    // their width, a closed outline keeps its corners, dashes their pitch.
    void mediumLineWeightsKeepWidthCornersAndDashes() {
        auto doc = std::make_shared<Document>();
        doc->showLineWeights = true;
        const int layer = doc->layerIndex(QStringLiteral("0"));
        doc->layers[layer].color = Color::fromAci(7);
        doc->lineTypes.push_back({"DASHED", {1, -1}, 2, {}, {}, 0});
        Block model;
        model.name = "*Model_Space";
        Shape& square = model.addPolyline({{0, 0}, {20, 0}, {20, 4}, {0, 4}}, true);
        square.lineWeight = 50; // 0.5 mm: 2 px
        square.layer = layer;
        Shape& thick = model.addPolyline({{0, 8}, {20, 8}}, false);
        thick.lineWeight = 70; // 0.7 mm: 3 px
        thick.layer = layer;
        Shape& dashed = model.addPolyline({{0, 12}, {20, 12}}, false);
        dashed.lineWeight = 50;
        dashed.layer = layer;
        dashed.lineStyle = uint16_t(doc->lineStyles.size());
        doc->lineStyles.push_back(LineStyle{0, 1, Alpha::ByLayer});
        doc->blocks.push_back(model);
        Layout l;
        l.name = "Model";
        l.block = 0;
        doc->layouts.push_back(l);
        doc->finish();

        const View v = render(doc, 0, 10, {10, 6}, {400, 200});
        QCOMPARE(thickness(v, {10, 0}), 2);
        QCOMPARE(thickness(v, {10, 8}), 3);
        // The outline's far corner is inked out to the stroke's outer edge.
        const QPoint corner = v.at({20, 4});
        QVERIFY(v.ink(corner.x(), corner.y()));
        QVERIFY(v.ink(corner.x(), corner.y() - 1));
        const Profile dashes = profile(v, 0.5, 19.5, 12);
        QVERIFY2(std::abs(dashes.pitch() - 20) <= 1, qPrintable(QString::number(dashes.pitch())));
        QVERIFY(dashes.fill() > 0.4 && dashes.fill() < 0.75);
    }

    void lineWeightsOnPaperFollowTheZoom() {
        const auto doc = load("lineweights.dxf");
        const int paper = layoutNamed(*doc, "Layout1");
        QVERIFY(paper >= 0);
        // Paper in millimetres: 2.11 mm is 4.2 pixels at 2 px/mm, 16.9 at 8.
        const int small = thickness(render(doc, paper, 2, {100, 50}, {400, 100}), {100, 50});
        const int large = thickness(render(doc, paper, 8, {100, 50}, {400, 100}), {100, 50});
        QVERIFY2(small >= 4 && small <= 5, qPrintable(QString::number(small)));
        QVERIFY2(large >= 16 && large <= 18, qPrintable(QString::number(large)));
    }

    // Entity, layer and block transparency blend fills with what lies under them.
    void transparencyShowsWhatLiesBeneath() {
        for (const char* name : {"transparency.dxf", "transparency_binary.dxf"}) {
            const auto doc = load(name);
            QVERIFY2(doc, name);
            const View v = render(doc, 0, 10, {25, 7.5}, {600, 200});
            auto rgb = [&](double x, double y) {
                const QPoint p = v.at({x, y});
                return QColor(v.image.pixel(p));
            };
            auto near = [](QColor c, int r, int g, int b) {
                return std::abs(c.red() - r) <= 3 && std::abs(c.green() - g) <= 3 &&
                       std::abs(c.blue() - b) <= 3;
            };
            const QColor opaque = rgb(2.5, 2.5), blend = rgb(7.5, 7.5), over = rgb(12.5, 12.5),
                         layer = rgb(25, 5), block = rgb(45, 5);
            QCOMPARE(opaque, QColor(255, 0, 0));
            QVERIFY2(near(blend, 191, 64, 0), qPrintable(blend.name()));
            QVERIFY2(near(over, 0, 64, 0), qPrintable(over.name()));
            QVERIFY2(near(layer, 0, 0, 127), qPrintable(layer.name()));
            QVERIFY2(near(block, 0, 64, 0), qPrintable(block.name()));
        }
    }

    void infoReportsTheHeaderVariables() {
        QProcess p;
        p.start(VISTREL_TOOL, {QStringLiteral("info"), fixture("linetypes.dxf")});
        QVERIFY(p.waitForFinished(60000));
        QCOMPARE(p.exitCode(), 0);
        const QJsonObject h =
            QJsonDocument::fromJson(p.readAllStandardOutput()).object().value("header").toObject();
        QCOMPARE(h.value("$LTSCALE").toString(), QStringLiteral("2.0"));
        QCOMPARE(h.value("$CELTSCALE").toString(), QStringLiteral("5.0"));
        QCOMPARE(h.value("$LWDISPLAY").toString(), QStringLiteral("0"));
        QCOMPARE(h.value("$INSUNITS").toString(), QStringLiteral("4"));
        QCOMPARE(h.value("$MEASUREMENT").toString(), QStringLiteral("1"));
        QVERIFY(h.contains("$PSLTSCALE"));
    }
};

QTEST_MAIN(TestDxfLineTypes)
#include "test_dxf_linetypes.moc"
