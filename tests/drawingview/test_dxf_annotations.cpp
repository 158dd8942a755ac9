// Splines, dimensions, leaders and the other drawing aids: their geometry
// as the document holds it.

#include "formats/Reader.h"
#include "formats/dxf/DxfCurves.h"
#include "formats/dxf/DxfReader.h"

#include <QtTest>

#include <algorithm>
#include <cmath>

using namespace dv;

namespace {

bool near(double a, double b, double eps = 1e-9) {
    return std::abs(a - b) <= eps;
}

std::vector<const Shape*> shapesOf(const Document& d, const Block& b, const char* type) {
    std::vector<const Shape*> out;
    for (const Shape& s : b.shapes)
        if (d.entityTypeNames[s.entityType] == QLatin1String(type) && s.count > 0)
            out.push_back(&s);
    return out;
}

std::vector<Vec2> pointsOf(const Block& b, const Shape& s) {
    return {b.points.begin() + s.first, b.points.begin() + s.first + s.count};
}

bool passesThrough(const std::vector<Vec2>& pts, Vec2 p, double eps = 1e-9) {
    return std::any_of(pts.begin(), pts.end(),
                       [&](Vec2 q) { return near(q.x, p.x, eps) && near(q.y, p.y, eps); });
}

} // namespace

class TestDxfAnnotations : public QObject {
    Q_OBJECT

    std::unique_ptr<Document> m_doc;
    const Block* m_model = nullptr;

private slots:
    void initTestCase() {
        m_doc =
            ReaderRegistry::builtin().load(QStringLiteral(TEST_DATA_DIR "/dxf/annotations.dxf"));
        m_model = &m_doc->blocks[size_t(m_doc->blockIndex("*Model_Space"))];
    }

    void splines() {
        const auto splines = shapesOf(*m_doc, *m_model, "SPLINE");
        QCOMPARE(splines.size(), size_t(4));
        // A cubic Bezier: its ends and its midpoint.
        const auto bezier = pointsOf(*m_model, *splines[0]);
        QVERIFY(near(bezier.front().x, 0) && near(bezier.back().x, 10));
        QVERIFY(passesThrough(bezier, {5, 7.5}));
        // Weighted: a true quarter circle about (20, 0).
        for (Vec2 p : pointsOf(*m_model, *splines[1]))
            QVERIFY(near(std::hypot(p.x - 20, p.y), 1, 1e-12));
        // Fit points only: the curve goes through each of them.
        const auto fitted = pointsOf(*m_model, *splines[2]);
        for (Vec2 p : {Vec2{30, 0}, Vec2{35, 5}, Vec2{40, 0}})
            QVERIFY(passesThrough(fitted, p));
        QVERIFY(fitted.size() > 3);
        // Knots that do not fit: a clamped curve from end to end all the same.
        const auto repaired = pointsOf(*m_model, *splines[3]);
        QVERIFY(near(repaired.front().x, 50) && near(repaired.back().x, 60));
    }

    void curvesStayBounded() {
        std::vector<Vec2> out;
        std::vector<Vec2> control(100000, Vec2{1, 1});
        dxf::appendNurbs(out, 3, {}, control, {});
        QVERIFY(out.size() <= 20001);
        out.clear();
        dxf::appendNurbs(out, 99, {0, 1}, {{0, 0}, {1, 1}}, {-1, 0}); // degree and weights repaired
        QVERIFY(!out.empty());
        QVERIFY(near(out.back().x, 1));
        out.clear();
        dxf::appendThroughPoints(out, std::vector<Vec2>(100000, Vec2{2, 2}), true);
        QVERIFY(out.size() <= 100001 * 2);
        for (Vec2 p : out)
            QVERIFY(std::isfinite(p.x) && std::isfinite(p.y));
    }

    void dimensionDrawsItsBlock() {
        const auto dims = shapesOf(*m_doc, *m_model, "DIMENSION");
        const auto inserts = std::count_if(
            dims.begin(), dims.end(), [](const Shape* s) { return s->kind == ShapeKind::Insert; });
        QCOMPARE(inserts, 1);
        const auto it = std::find_if(dims.begin(), dims.end(),
                                     [](const Shape* s) { return s->kind == ShapeKind::Insert; });
        const Insert& ins = m_model->inserts[(*it)->first];
        QCOMPARE(ins.block, m_doc->blockIndex("*D1"));
        QVERIFY(near(ins.position.x, 0) && near(ins.scaleX, 1));
        // Arc length dimensions come with their block the same way.
        const auto arcDims = shapesOf(*m_doc, *m_model, "ARC_DIMENSION");
        QCOMPARE(arcDims.size(), size_t(1));
        QCOMPARE(m_model->inserts[arcDims[0]->first].block, m_doc->blockIndex("*D1"));
        QCOMPARE(m_doc->skippedEntities.at("ARC_DIMENSION without its block"), 1);
    }

    void dimensionWithoutBlockFromItsPoints() {
        QStringList labels;
        for (const Shape* s : shapesOf(*m_doc, *m_model, "DIMENSION"))
            if (s->kind == ShapeKind::Text) {
                labels << m_model->texts[s->first].text;
                QCOMPARE(s->color, labels.back() == "5.00" ? Color::fromAci(1) : Color::byLayer());
            }
        // The override's own formatting applies: a red measurement, a second line.
        QCOMPARE(labels, (QStringList{"10.00", "5.00", " mm", "max"}));
        // The aligned one: its dimension line at y = 55 from x 0 to 10.
        bool found = false;
        for (const Shape* s : shapesOf(*m_doc, *m_model, "DIMENSION")) {
            if (s->kind != ShapeKind::Polyline || s->count != 2)
                continue;
            const auto p = pointsOf(*m_model, *s);
            found = found ||
                    (near(p[0].y, 55) && near(p[1].y, 55) && near(p[0].x, 0) && near(p[1].x, 10));
        }
        QVERIFY(found);
        // Arrows: four filled triangles for the two drawn dimensions.
        const auto dims = shapesOf(*m_doc, *m_model, "DIMENSION");
        QCOMPARE(std::count_if(dims.begin(), dims.end(),
                               [](const Shape* s) { return s->kind == ShapeKind::Polygon; }),
                 4);
    }

    void leaders() {
        const auto leader = shapesOf(*m_doc, *m_model, "LEADER");
        QCOMPARE(leader.size(), size_t(2));
        QCOMPARE(leader[0]->count, 3u);
        QCOMPARE(leader[1]->kind, ShapeKind::Polygon);
        const auto arrow = pointsOf(*m_model, *leader[1]);
        QVERIFY(near(arrow[0].x, 0) && near(arrow[0].y, 100)); // the tip on the first vertex

        const auto ml = shapesOf(*m_doc, *m_model, "MULTILEADER");
        std::vector<const Shape*> lines, arrows, texts;
        for (const Shape* s : ml)
            (s->kind == ShapeKind::Polyline  ? lines
             : s->kind == ShapeKind::Polygon ? arrows
                                             : texts)
                .push_back(s);
        QCOMPARE(lines.size(), size_t(2)); // the leader line and the dogleg
        QCOMPARE(arrows.size(), size_t(1));
        QCOMPARE(texts.size(), size_t(1));
        const auto line = pointsOf(*m_model, *lines[0]);
        QVERIFY(near(line.front().x, 40) && near(line.back().x, 55) && near(line.back().y, 110));
        const auto dogleg = pointsOf(*m_model, *lines[1]);
        QVERIFY(near(dogleg[1].x, 57));
        const Text& note = m_model->texts[texts[0]->first];
        QCOMPARE(note.text, QStringLiteral("Note"));
        QCOMPARE(note.height, 2.5);
        QVERIFY(near(pointsOf(*m_model, *arrows[0])[0].x, 40));
    }

    void multileaderOutOfOrderLosesNothingElse() {
        // Closing braces with nothing open, then a line without a leader.
        const QByteArray bytes = "0\nSECTION\n2\nENTITIES\n0\nMULTILEADER\n305\n}\n10\n1.0\n"
                                 "303\n}\n20\n2.0\n304\nLEADER_LINE{\n10\n3\n20\n4\n"
                                 "10\n5\n20\n6\n0\nLINE\n10\n0\n20\n0\n11\n1\n21\n1\n"
                                 "0\nENDSEC\n0\nEOF\n";
        const auto doc = readDxfBytes(bytes.constData(), size_t(bytes.size()), "ml.dxf");
        const Block& b = doc->blocks[size_t(doc->blockIndex("*Model_Space"))];
        QCOMPARE(b.entityCounts.at("MULTILEADER"), 1);
        QCOMPARE(b.entityCounts.at("LINE"), 1);
        QCOMPARE(shapesOf(*doc, b, "MULTILEADER").front()->count, 2u);
    }

    // A helix seen along its axis is drawn from its definition: from its
    // start point, anticlockwise when right-handed, its radius growing evenly.
    void helixDrawsFromItsAxisAndTurns() {
        auto helix = [](const char* axis, const char* turns, int handed) {
            const QByteArray bytes = QByteArray("0\nSECTION\n2\nENTITIES\n0\nHELIX\n"
                                                "100\nAcDbSpline\n10\n50\n20\n50\n40\n7\n"
                                                "100\nAcDbHelix\n10\n0\n20\n0\n11\n1\n21\n0\n") +
                                     axis + "40\n3\n41\n" + turns + "\n42\n1\n290\n" +
                                     QByteArray::number(handed) + "\n0\nENDSEC\n0\nEOF\n";
            return readDxfBytes(bytes.constData(), size_t(bytes.size()), "helix.dxf");
        };
        for (const int handed : {1, 0}) {
            const auto doc = helix("12\n0\n22\n0\n32\n1\n", "2", handed);
            const Block& b = doc->blocks[size_t(doc->blockIndex("*Model_Space"))];
            const auto shapes = shapesOf(*doc, b, "HELIX");
            QCOMPARE(shapes.size(), size_t(1));
            const auto pts = pointsOf(b, *shapes[0]);
            QVERIFY(near(pts.front().x, 1) && near(pts.front().y, 0));
            QVERIFY(near(pts.back().x, 3) && near(pts.back().y, 0, 1e-9));
            // A quarter of the first turn: an eighth of the way out.
            const Vec2 quarter = pts[pts.size() / 8];
            QVERIFY(near(quarter.x, 0, 1e-9));
            QVERIFY(near(quarter.y, handed ? 1.25 : -1.25));
        }
        // Tilted, or with turns no drawing has, it has only its stored
        // graphics to be drawn from: none here.
        for (const auto& [axis, turns] : {std::pair{"12\n1\n22\n0\n32\n0\n", "2"},
                                          std::pair{"12\n0\n22\n0\n32\n1\n", "1e12"}}) {
            const auto doc = helix(axis, turns, 1);
            const Block& b = doc->blocks[size_t(doc->blockIndex("*Model_Space"))];
            QVERIFY(shapesOf(*doc, b, "HELIX").empty());
            QCOMPARE(doc->skippedEntities.at(QStringLiteral("HELIX")), 1);
        }
    }

    void meshes() {
        std::vector<std::vector<Vec2>> grid, faces;
        for (const Shape* s : shapesOf(*m_doc, *m_model, "POLYLINE")) {
            auto pts = pointsOf(*m_model, *s);
            (pts[0].x >= 500 ? faces : grid).push_back(pts);
        }
        // Two rows of three, three columns of two.
        QCOMPARE(grid.size(), size_t(5));
        QCOMPARE(grid[0].size(), size_t(3));
        QCOMPARE(grid[4].size(), size_t(2));
        QVERIFY(near(grid[4][0].x, 402) && near(grid[4][1].y, 1));
        // A closed triangle, then the second face's two visible edges (its
        // first, from vertex 1 to 3, is hidden); the face naming vertex 99
        // keeps nothing but sound edges.
        QCOMPARE(faces.size(), size_t(3));
        QCOMPARE(faces[0].size(), size_t(3));
        QVERIFY(near(faces[1][0].x, 501) && near(faces[1][1].x, 500)); // 3 -> 4
        QVERIFY(near(faces[2][0].x, 500) && near(faces[2][1].y, 0));   // 4 -> 1
        QCOMPARE(m_doc->skippedEntities.count("POLYLINE"), size_t(0));
    }

    void facesHideTheirInvisibleEdges() {
        const auto faces = shapesOf(*m_doc, *m_model, "3DFACE");
        QCOMPARE(faces.size(), size_t(4)); // three visible edges, then one closed outline
        for (int i = 0; i < 3; ++i) {
            const auto e = pointsOf(*m_model, *faces[size_t(i)]);
            QVERIFY(!(near(e[0].x, 10) && near(e[1].x, 10))); // edge 2-3 is hidden
        }
        QVERIFY(faces[3]->flags & Closed);
    }

    void infiniteLinesReachFarBeyondTheDrawing() {
        const auto xl = shapesOf(*m_doc, *m_model, "XLINE");
        const auto ray = shapesOf(*m_doc, *m_model, "RAY");
        QCOMPARE(xl.size(), size_t(1));
        QCOMPARE(ray.size(), size_t(1));
        const auto x = pointsOf(*m_model, *xl[0]);
        // The rest spans about 310 x 260: both ends far outside it.
        QVERIFY(x[0].x < -3000 && x[1].x > 3000);
        QVERIFY(near(x[0].y, 200) && near(x[1].y, 200));
        const auto r = pointsOf(*m_model, *ray[0]);
        QVERIFY(near(r[0].y, 0) && r[1].y < -3000 && near(r[1].x, 0));
        // A zoom to extents shows the drawing, not the lines; culling still
        // knows where they reach.
        const Box& e = m_doc->layouts[0].extents;
        QVERIFY(e.minX > -1000 && e.maxX < 1000 && e.minY > -1000);
        QVERIFY(m_doc->blockExtents(m_doc->layouts[0].block).minX < -3000);
    }

    void attributeDefinitions() {
        QStringList texts;
        for (const Shape* s : shapesOf(*m_doc, *m_model, "ATTDEF"))
            texts << m_model->texts[s->first].text;
        QCOMPARE(texts, QStringList{"SHOWNTAG"});
        const Block& def = m_doc->blocks[size_t(m_doc->blockIndex("WithDef"))];
        QVERIFY(def.texts.empty());
        QCOMPARE(def.entityCounts.at("ATTDEF"), 1);
        QCOMPARE(def.shapes.size(), size_t(1)); // the point only
    }

    void wipeoutMaskAndSkippedKinds() {
        // A mask in the background's colour, then its frame.
        const auto w = shapesOf(*m_doc, *m_model, "WIPEOUT");
        QCOMPARE(w.size(), size_t(2));
        QCOMPARE(w[0]->kind, ShapeKind::Polygon);
        QCOMPARE(w[0]->color, Color::background());
        QCOMPARE(w[1]->kind, ShapeKind::Polyline);
        const auto p = pointsOf(*m_model, *w[1]);
        QCOMPARE(p.size(), size_t(4));
        QVERIFY(near(p[2].x, 85) && near(p[2].y, 5));
        // An image without size or pixel vectors cannot be placed; a lone
        // viewport is the sheet itself: counted, not a window.
        QCOMPARE(m_doc->skippedEntities.at("IMAGE without size"), 1);
        QCOMPARE(m_doc->skippedEntities.count("VIEWPORT"), size_t(0));
    }

    void multilinesDrawEachElementAlongTheMiters() {
        const auto doc =
            ReaderRegistry::builtin().load(QStringLiteral(TEST_DATA_DIR "/dxf/mline.dxf"));
        const Block& model = doc->blocks[size_t(doc->blockIndex("*Model_Space"))];
        const auto elements = shapesOf(*doc, model, "MLINE");
        // The closed one: an inner square, the path itself and an outer square.
        QCOMPARE(elements.size(), size_t(3));
        for (const Shape* s : elements) {
            QCOMPARE(s->count, 4u);
            QVERIFY(s->flags & Closed);
        }
        QVERIFY(passesThrough(pointsOf(model, *elements[0]), {0.5, 0.5}));
        QVERIFY(passesThrough(pointsOf(model, *elements[0]), {9.5, 9.5}));
        QVERIFY(passesThrough(pointsOf(model, *elements[1]), {10, 0}));
        QVERIFY(passesThrough(pointsOf(model, *elements[2]), {-0.5, 10.5}));
        // The damaged one is counted but draws nothing.
        QCOMPARE(model.entityCounts.at("MLINE"), 2);
        QVERIFY(!doc->skippedEntities.count("MLINE"));
    }

    void multilineStylesColourFillAndCap() {
        const auto doc =
            ReaderRegistry::builtin().load(QStringLiteral(TEST_DATA_DIR "/dxf/mline_styles.dxf"));
        const Block& model = doc->blocks[size_t(doc->blockIndex("*Model_Space"))];
        const auto shapes = shapesOf(*doc, model, "MLINE");
        const Color green = Color::fromAci(3), red = Color::fromAci(1), blue = Color::fromAci(5);
        // Per wall: the fill, two elements, two caps; the second wall finds
        // its style by name alone.
        QCOMPARE(shapes.size(), size_t(10));
        for (int wall = 0; wall < 2; ++wall) {
            const double y = wall * 5.0;
            const Shape* const* w = shapes.data() + wall * 3;
            QCOMPARE(w[0]->kind, ShapeKind::Polygon);
            QCOMPARE(w[0]->color, green);
            QCOMPARE(w[1]->color, red);
            QCOMPARE(w[2]->color, blue);
            QVERIFY(passesThrough(pointsOf(model, *w[1]), {10, y + 0.5}));
            QVERIFY(passesThrough(pointsOf(model, *w[2]), {0, y - 0.5}));
        }
        // Caps come after both walls' lines: straight at the start, round past the end.
        const auto startCap = pointsOf(model, *shapes[6]);
        QCOMPARE(startCap.size(), size_t(2));
        QCOMPARE(startCap.front().x, 0.0);
        QCOMPARE(startCap.back().x, 0.0);
        const auto endCap = pointsOf(model, *shapes[7]);
        QVERIFY(endCap.size() > 2);
        QVERIFY(passesThrough(endCap, {10.5, 0}));
        // A cap is the multiline's, not an element's: its own colour.
        QCOMPARE(shapes[7]->color, Color::byLayer());
        // Without a style the fill stays hidden: mline.dxf's walls have none.
        const auto plain =
            ReaderRegistry::builtin().load(QStringLiteral(TEST_DATA_DIR "/dxf/mline.dxf"));
        const Block& plainModel = plain->blocks[size_t(plain->blockIndex("*Model_Space"))];
        for (const Shape* s : shapesOf(*plain, plainModel, "MLINE"))
            QCOMPARE(s->kind, ShapeKind::Polyline);
    }

    void pointDisplayModeComesFromTheHeader() {
        const auto doc =
            ReaderRegistry::builtin().load(QStringLiteral(TEST_DATA_DIR "/dxf/points.dxf"));
        QCOMPARE(doc->pointMode, 35);
        QCOMPARE(doc->pointSize, -10.0);
    }
};

QTEST_GUILESS_MAIN(TestDxfAnnotations)
#include "test_dxf_annotations.moc"
