// Content drawn from what the entity itself carries: multileader blocks,
// tables, angular, radial, diameter and ordinate dimensions whose block is
// missing, and the stored graphics of objects only their own program knows.

#include "formats/Reader.h"

#include <QProcess>
#include <QtTest>

#include <cmath>

using namespace dv;

namespace {

QString fixture(const QString& name) {
    return QStringLiteral(TEST_DATA_DIR "/dxf/") + name;
}

const Block& model(const Document& d) {
    return d.blocks[size_t(d.blockIndex("*Model_Space"))];
}

// Texts joined per alignment point, for labels split into runs.
const Text* textContaining(const Document& d, const QString& part) {
    const Block& b = model(d);
    for (const Shape& s : b.shapes)
        if (s.kind == ShapeKind::Text && b.texts[s.first].text.contains(part))
            return &b.texts[s.first];
    return nullptr;
}

// Whether some drawn point lies within `eps` of p.
bool pointNear(const Document& d, Vec2 p, double eps) {
    const Block& b = model(d);
    return std::any_of(b.points.begin(), b.points.end(),
                       [&](Vec2 q) { return std::hypot(q.x - p.x, q.y - p.y) <= eps; });
}

QImage render(const QString& file, const QString& size) {
    QTemporaryDir dir;
    const QString png = dir.filePath("out.png");
    QProcess p;
    p.start(VISTREL_TOOL, {"render", fixture(file), png, "--size", size, "--without-border"});
    if (!p.waitForFinished(60000) || p.exitCode() != 0)
        return {};
    return QImage(png).convertToFormat(QImage::Format_RGB32);
}

} // namespace

class TestDxfDimensionFallbacks : public QObject {
    Q_OBJECT

    std::unique_ptr<Document> m_dims;

private slots:
    void initTestCase() {
        m_dims = ReaderRegistry::builtin().load(fixture("dimensions_unblocked.dxf"));
        QVERIFY(m_dims);
    }

    void multileaderDrawsItsBlockContent() {
        const auto doc = ReaderRegistry::builtin().load(fixture("mleader_block.dxf"));
        const Block& b = model(*doc);
        QCOMPARE(b.inserts.size(), size_t(1));
        const Insert& ins = b.inserts[0];
        QCOMPARE(ins.block, doc->blockIndex("Tag"));
        QCOMPARE(ins.position.x, 50.0);
        QCOMPARE(ins.position.y, 30.0);
        QCOMPARE(ins.scaleX, 2.0);
        // The circle of radius 2 at twice the size reaches x = 54; the leader
        // still starts at its arrow point.
        const Box e = doc->layouts[0].extents;
        QVERIFY(std::abs(e.maxX - 54) < 1e-6);
        QVERIFY(std::abs(e.maxY - 34) < 1e-6);
        QVERIFY(std::abs(e.minX - 20) < 1e-6);
        // Pixels: the circle's right and top edges, nothing at its middle
        // above the cross.
        const QImage img = render("mleader_block.dxf", "340x240");
        QVERIFY(!img.isNull());
        const QRgb bg = img.pixel(img.width() - 1, img.height() - 1);
        // Extents 20..54 x 10..34 map 10 px per unit onto 340 x 240.
        auto ink = [&](double x, double y) {
            const int px = int(std::lround((x - 20) * 10)), py = int(std::lround((34 - y) * 10));
            for (int dy = -2; dy <= 2; ++dy)
                for (int dx = -2; dx <= 2; ++dx) {
                    const int ix = std::clamp(px + dx, 0, img.width() - 1);
                    const int iy = std::clamp(py + dy, 0, img.height() - 1);
                    if (img.pixel(ix, iy) != bg)
                        return true;
                }
            return false;
        };
        QVERIFY(ink(50, 34));  // top of the circle
        QVERIFY(ink(50, 26));  // bottom
        QVERIFY(ink(52, 30));  // the cross's bar
        QVERIFY(!ink(50, 32)); // inside, above the bar
    }

    void tablesAreDrawnFromTheirBlock() {
        const auto doc = ReaderRegistry::builtin().load(fixture("tables.dxf"));
        const Block& b = model(*doc);
        QCOMPARE(b.inserts.size(), size_t(2));
        const int tableBlock = doc->blockIndex("*T1");
        QVERIFY(tableBlock >= 0);
        // The cell data's own text and points do not move the table.
        QCOMPARE(b.inserts[0].block, tableBlock);
        QCOMPARE(b.inserts[0].position.x, 100.0);
        QCOMPARE(b.inserts[0].position.y, 50.0);
        QCOMPARE(b.inserts[0].rotation, 0.0);
        QVERIFY(std::abs(b.inserts[1].rotation - M_PI / 2) < 1e-12);
        const auto missing = doc->skippedEntities.find("ACAD_TABLE without its block");
        QVERIFY(missing != doc->skippedEntities.end());
        QCOMPARE(missing->second, 1);
        // The first frame hangs down from (100, 50); the turned one runs up
        // from (200, 50) over x 200..210, y 50..70.
        const Box e = doc->layouts[0].extents;
        QVERIFY2(std::abs(e.minX - 100) < 1e-6, qPrintable(QString::number(e.minX)));
        QVERIFY2(std::abs(e.minY - 40) < 1e-6, qPrintable(QString::number(e.minY)));
        QVERIFY2(std::abs(e.maxX - 210) < 1e-6, qPrintable(QString::number(e.maxX)));
        QVERIFY2(std::abs(e.maxY - 70) < 1e-6, qPrintable(QString::number(e.maxY)));
    }

    void proxyGraphicsAreDrawn() {
        const auto doc = ReaderRegistry::builtin().load(fixture("proxies.dxf"));
        const Block& b = model(*doc);
        QCOMPARE(b.entityCounts.at("ACAD_PROXY_ENTITY"), 1);
        QCOMPARE(b.entityCounts.at("AEC_THING"), 1);
        // One proxy had no graphics; one command was not one we draw.
        QCOMPARE(doc->skippedEntities.at("ACAD_PROXY_ENTITY"), 1);
        QCOMPARE(doc->skippedEntities.at("proxy graphics command"), 1);

        std::vector<const Shape*> lines, areas, texts;
        for (const Shape& s : b.shapes)
            (s.kind == ShapeKind::Text      ? texts
             : s.kind == ShapeKind::Polygon ? areas
                                            : lines)
                .push_back(&s);
        QCOMPARE(texts.size(), size_t(2));
        QCOMPARE(areas.size(), size_t(1));
        QCOMPARE(lines.size(), size_t(5)); // circle, red path, half circle, layer line, custom
        // The circle of radius 3 round (5, 5), in the entity's colour.
        QVERIFY(pointNear(*doc, {8, 5}, 1e-9) && pointNear(*doc, {2, 5}, 1e-2));
        QCOMPARE(lines[0]->color, Color::byLayer());
        QVERIFY(lines[0]->flags & Closed);
        QCOMPARE(lines[1]->color, Color::fromAci(1));
        QCOMPARE(areas[0]->color, Color::fromAci(1)); // filled while fill was on
        // Text with its true colour; the second in UTF-16.
        const Text& proxy = b.texts[texts[0]->first];
        QCOMPARE(proxy.text, QStringLiteral("PROXY"));
        QCOMPARE(proxy.height, 2.0);
        QCOMPARE(proxy.position.y, 15.0);
        QCOMPARE(texts[0]->color, Color::fromRgb(0x00FF00));
        QCOMPARE(b.texts[texts[1]->first].text, QStringLiteral("\u00dcn\u00ef"));
        // The half circle moved by the pushed transform: up to (40, 5) and back down.
        QVERIFY(pointNear(*doc, {45, 0}, 1e-9) && pointNear(*doc, {40, 5}, 1e-9) &&
                pointNear(*doc, {35, 0}, 1e-9));
        // The layer chosen by its place in the table, the colour ByLayer again.
        QCOMPARE(lines[3]->layer, doc->layerIndex("WALLS"));
        QCOMPARE(lines[3]->color, Color::byLayer());
        // A custom class with graphics in its entity part, and nothing of the
        // entity data after the graphics taken for them.
        QVERIFY(pointNear(*doc, {30, 30}, 1e-9));
        const Box e = doc->layouts[0].extents;
        QCOMPARE(e.minY, -5.0);
        QCOMPARE(e.maxY, 30.0);
    }

    void angularDimensionsDrawArcAndDegrees() {
        // Three points: 90 degrees at the origin, arc of radius 9.9.
        const Text* right = textContaining(*m_dims, QStringLiteral("90.0\u00b0"));
        QVERIFY(right);
        QCOMPARE(right->height, 2.0); // $DIMTXT x $DIMSCALE
        QVERIFY(std::hypot(right->position.x, right->position.y) > 9.9);
        QVERIFY(pointNear(*m_dims, {9.8995, 0}, 1e-3));
        QVERIFY(pointNear(*m_dims, {0, 9.8995}, 1e-3));
        QVERIFY(pointNear(*m_dims, {7, 7}, 1e-2));
        // Two lines meeting at (30, 0) at 60 degrees; the arc of radius 12
        // reaches past both lines, so extension lines lead to it.
        QVERIFY(textContaining(*m_dims, QStringLiteral("60.0\u00b0")));
        QVERIFY(pointNear(*m_dims, {42, 0}, 1e-6));
        QVERIFY(pointNear(*m_dims, {30 + 12 * 0.5, 12 * std::sqrt(3.0) / 2}, 1e-6));
        QVERIFY(pointNear(*m_dims, {40, 0}, 1e-6));
    }

    void radialAndDiameterDimensions() {
        const Text* radius = textContaining(*m_dims, QStringLiteral("R8.0"));
        QVERIFY(radius);
        QVERIFY(std::abs(radius->rotation - std::atan(1.0)) < 1e-9);
        QVERIFY(pointNear(*m_dims, {60, 0}, 1e-9));
        // The override keeps its text around the measurement.
        const Text* diameter = textContaining(*m_dims, QStringLiteral("\u230016.0 TYP"));
        QVERIFY(diameter);
        QVERIFY(std::abs(diameter->position.x - 88) < 5);
        // Arrowheads of $DIMASZ x $DIMSCALE = 1 at both ends.
        QVERIFY(pointNear(*m_dims, {81, 0.0}, 0.4));
        QVERIFY(pointNear(*m_dims, {95, 0.0}, 0.4));
    }

    void ordinateDimensionsMeasureFromTheOrigin() {
        const Text* x = textContaining(*m_dims, QStringLiteral("110.0"));
        QVERIFY(x);
        QVERIFY(std::abs(x->rotation - std::acos(0.0)) < 1e-9); // along the leader
        QVERIFY(pointNear(*m_dims, {110, 10}, 1e-9));           // the knee
        const Text* y = textContaining(*m_dims, QStringLiteral("5.0"));
        QVERIFY(y);
        QCOMPARE(y->rotation, 0.0);
        QVERIFY(y->position.x >= 130);
        QVERIFY(m_dims->skippedEntities.empty());
    }

    void renderedDimensionsShowTheirArcs() {
        const QImage img = render("dimensions_unblocked.dxf", "1000x300");
        QVERIFY(!img.isNull());
        const QRgb bg = img.pixel(img.width() - 1, img.height() - 1);
        // Ink fills more than a few columns in each sixth of the drawing.
        int busy[6] = {};
        for (int x = 0; x < img.width(); ++x)
            for (int y = 0; y < img.height(); ++y)
                if (img.pixel(x, y) != bg) {
                    ++busy[std::min(5, 6 * x / img.width())];
                    break;
                }
        for (int b : busy)
            QVERIFY(b > 5);
    }
};

QTEST_MAIN(TestDxfDimensionFallbacks)
#include "test_dxf_dimension_fallbacks.moc"
