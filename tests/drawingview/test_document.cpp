#include "model/Document.h"
#include "model/HugePages.h"
#include "model/Units.h"

#include <QTest>

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <numbers>
#include <numeric>
#include <vector>

using namespace dv;

namespace {

Box sampledArcBox(const Arc& a) {
    Box box;
    const int steps = 200000;
    const double c = std::cos(a.rotation), s = std::sin(a.rotation);
    for (int i = 0; i <= steps; ++i) {
        const double t = a.startAngle + (a.endAngle - a.startAngle) * i / steps;
        const double x = a.radiusX * std::cos(t), y = a.radiusY * std::sin(t);
        box.add(a.center.x + x * c - y * s, a.center.y + x * s + y * c);
    }
    return box;
}

Document singleBlockDocument() {
    Document doc;
    doc.layerIndex("0");
    doc.blocks.push_back(Block{});
    doc.blocks[0].name = "*Model_Space";
    Layout model;
    model.name = "Model";
    model.block = 0;
    doc.layouts.push_back(model);
    return doc;
}

// Model (block 0) plus blocks A (1) and B (2), A inserting B; `line` goes
// into A or B.
Document twoBlockDocument(bool lineInA, std::vector<Vec2> line) {
    Document doc = singleBlockDocument();
    Block a, b;
    a.name = "A";
    b.name = "B";
    (lineInA ? a : b).addPolyline(std::move(line), false);
    doc.blocks.push_back(a);
    doc.blocks.push_back(b);
    Insert toB;
    toB.block = 2;
    doc.blocks[1].addInsert(toB);
    return doc;
}

Insert insertOf(int block, Vec2 at = {}) {
    Insert ins;
    ins.block = block;
    ins.position = at;
    return ins;
}

} // namespace

class TestDocument : public QObject {
    Q_OBJECT
private slots:
    // Large arrays come as whole 2 MB pages, aligned so that large pages can
    // back them; small ones as from new. Either holds what is put in.
    void largeArraysGetWholeLargePages() {
        std::vector<double, HugePageAllocator<double>> big;
        big.reserve(300000); // 2.4 MB
        QCOMPARE(reinterpret_cast<uintptr_t>(big.data()) % (uintptr_t(2) << 20), uintptr_t(0));
        big.assign(300000, 1.5);
        big.push_back(0.5);
        QCOMPARE(std::accumulate(big.begin(), big.end(), 0.0), 450000.5);
        std::vector<double, HugePageAllocator<double>> small(10, 2.0);
        small.push_back(3.0);
        QCOMPARE(small.back() + small.front(), 5.0);
    }

    // Fresh zeroed memory, small or in large pages, reads as zeros to its
    // last byte and holds what is written, while other blocks live beside it.
    void zeroedMemoryIsZeroToItsEnd() {
        for (const size_t bytes :
             {size_t(0), size_t(1000), size_t(200000), size_t(2) << 20, (size_t(5) << 20) + 3}) {
            std::shared_ptr<char> a = zeroedForHugePages(bytes);
            std::shared_ptr<char> b = zeroedForHugePages(bytes);
            QVERIFY(a && b);
            const char* p = a.get();
            QVERIFY(std::all_of(p, p + bytes, [](char c) { return c == 0; }));
            if (bytes == 0)
                continue;
            std::memset(a.get(), 0x5a, bytes);
            b.get()[bytes - 1] = 7;
            a.reset();
            QCOMPARE(int(b.get()[bytes - 1]), 7);
            QCOMPARE(int(b.get()[0]), 0);
        }
    }

    void arcExtentsAreExact_data() {
        QTest::addColumn<double>("rx");
        QTest::addColumn<double>("ry");
        QTest::addColumn<double>("rotation");
        QTest::addColumn<double>("start");
        QTest::addColumn<double>("end");
        const double pi = std::numbers::pi;
        QTest::newRow("quarter circle") << 2.0 << 2.0 << 0.0 << 0.0 << pi / 2;
        QTest::newRow("arc over the top") << 1.0 << 1.0 << 0.0 << pi / 4 << 3 * pi / 4;
        QTest::newRow("rotated full ellipse") << 5.0 << 2.0 << 0.6 << 0.0 << 2 * pi;
        QTest::newRow("rotated partial ellipse") << 5.0 << 2.0 << 2.2 << 1.0 << 4.5;
        QTest::newRow("arc across zero") << 3.0 << 3.0 << 0.0 << 5.5 << 7.0;
        QTest::newRow("rotated full circle") << 4.0 << 4.0 << 1.3 << 0.0 << 2 * pi;
        QTest::newRow("turned thin ellipse, part") << 6.0 << 0.5 << 1.5 << -0.4 << 0.3;
        QTest::newRow("sweep the other way") << 3.0 << 1.0 << 0.3 << 3.0 << 1.0;
        QTest::newRow("flat ellipse") << 3.0 << 0.0 << 0.7 << 0.5 << 2.5;
        QTest::newRow("more than a turn") << 2.0 << 1.0 << 0.2 << 1.0 << 1.0 + 3 * pi;
    }
    void arcExtentsAreExact() {
        QFETCH(double, rx);
        QFETCH(double, ry);
        QFETCH(double, rotation);
        QFETCH(double, start);
        QFETCH(double, end);
        Document doc = singleBlockDocument();
        const Arc arc{{10, -4}, rx, ry, rotation, start, end};
        doc.blocks[0].addArc(arc);
        doc.finish();
        const Box got = doc.layouts[0].extents;
        const Box want = sampledArcBox(arc);
        QVERIFY(std::abs(got.minX - want.minX) < 1e-6);
        QVERIFY(std::abs(got.minY - want.minY) < 1e-6);
        QVERIFY(std::abs(got.maxX - want.maxX) < 1e-6);
        QVERIFY(std::abs(got.maxY - want.maxY) < 1e-6);
    }

    void insertExtentsFollowScaleRotationAndArrays() {
        Document doc = singleBlockDocument();
        Block unit;
        unit.name = "UNIT";
        unit.basePoint = {1, 1};
        unit.addPolyline({{1, 1}, {2, 1}}, false); // one unit long from the base point
        doc.blocks.push_back(unit);
        Insert ins;
        ins.block = 1;
        ins.position = {100, 50};
        ins.scaleX = -3; // mirrored: runs to the left
        ins.columns = 2;
        ins.columnSpacing = -10;
        doc.blocks[0].addInsert(ins);
        doc.finish();
        const Box e = doc.layouts[0].extents;
        QCOMPARE(e.maxX, 100.0);
        QCOMPARE(e.minX, 100.0 - 10 - 3);
        QCOMPARE(e.minY, 50.0);
        QCOMPARE(e.maxY, 50.0);
    }

    // An inserted block is measured by its convex hull: interior points,
    // points on its edges and repeated corners must leave the turned
    // outline's extents exact.
    void rotatedInsertsAreMeasuredByTheirHull() {
        Document doc = singleBlockDocument();
        Block shape;
        shape.name = "SHAPE";
        shape.addPolyline({{0, 0}, {2, 0}, {4, 0}, {4, 4}, {0, 4}, {0, 0}}, true);
        for (int i = 0; i < 50; ++i)
            shape.addPolyline({{0.5 + i * 0.06, 1.0 + (i % 7) * 0.3}, {3.5, 3.5 - i * 0.05}},
                              false);
        shape.addPolyline({{4, 4}, {4, 4}, {2, 4}}, false);
        doc.blocks.push_back(shape);
        Insert ins;
        ins.block = 1;
        ins.position = {10, 10};
        ins.rotation = 0.5;
        doc.blocks[0].addInsert(ins);
        doc.finish();
        const double c = std::cos(0.5), s = std::sin(0.5);
        Box want;
        for (const Vec2 p : {Vec2{0, 0}, Vec2{4, 0}, Vec2{4, 4}, Vec2{0, 4}})
            want.add(10 + p.x * c - p.y * s, 10 + p.x * s + p.y * c);
        const Box got = doc.layouts[0].extents;
        QVERIFY(std::abs(got.minX - want.minX) < 1e-9);
        QVERIFY(std::abs(got.maxX - want.maxX) < 1e-9);
        QVERIFY(std::abs(got.minY - want.minY) < 1e-9);
        QVERIFY(std::abs(got.maxY - want.maxY) < 1e-9);
    }

    void insertCyclesAreCutNotFollowed() {
        Document doc = twoBlockDocument(true, {{0, 0}, {1, 1}});
        doc.blocks[2].addInsert(insertOf(1));
        doc.blocks[0].addInsert(insertOf(1));
        doc.finish();
        QVERIFY(doc.layouts[0].extents.isValid());
        QCOMPARE(doc.layouts[0].extents.maxX, 1.0);
        // One of the two inserts that close the loop is cut.
        const bool cut =
            doc.blocks[1].inserts[0].block == -1 || doc.blocks[2].inserts[0].block == -1;
        QVERIFY(cut);
    }

    void sharedBlocksAreNotCycles() {
        // Model inserts A twice and B; A inserts B: B is reached three ways,
        // never through itself, so nothing is cut.
        Document doc = twoBlockDocument(false, {{0, 0}, {2, 3}});
        doc.blocks[0].addInsert(insertOf(1));
        doc.blocks[0].addInsert(insertOf(1, {10, 0}));
        doc.blocks[0].addInsert(insertOf(2));
        doc.finish();
        for (const Block& block : doc.blocks)
            for (const Insert& ins : block.inserts)
                QVERIFY(ins.block != -1);
        QCOMPARE(doc.layouts[0].extents.maxX, 12.0);
        // Block extents are measured when first asked for, and follow the nesting.
        const Box inA = doc.blockExtents(1);
        QCOMPARE(inA.maxX, 2.0);
        QCOMPARE(inA.maxY, 3.0);
        QCOMPARE(doc.blockExtents(0).maxX, 12.0);
    }

    void largeBlocksAreMeasuredInPartsAlike() {
        // Enough shapes to be measured on several cores: inserts and text
        // among them, the extremes at either end of the list.
        Document doc = twoBlockDocument(false, {{-1, -1}, {1, 1}});
        Block& model = doc.blocks[0];
        model.addPolyline({{-700, 3}, {0, 0}}, false);
        for (int i = 0; i < 100'000; ++i) {
            const double x = i % 1000, y = i / 1000;
            if (i % 10 == 0) {
                Insert ins = insertOf(1, {x, y});
                ins.rotation = 0.5;
                model.addInsert(ins);
            } else if (i % 10 == 1) {
                Text t;
                t.text = QString::number(i % 50);
                t.position = {x, y};
                t.height = 0.5;
                model.addText(t);
            } else {
                model.addPolyline({{x, y}, {x + 0.5, y + 0.25}}, false);
            }
        }
        model.addPolyline({{0, 0}, {1200, 900}}, false);
        doc.finish();
        const Box e = doc.layouts[0].extents;
        QCOMPARE(e.minX, -700.0);
        QCOMPARE(e.maxX, 1200.0);
        QCOMPARE(e.maxY, 900.0);
        // The lowest insert, turned: its unit square's lowest corner.
        QVERIFY(std::abs(e.minY - (-std::sqrt(2.0) * std::cos(std::numbers::pi / 4 - 0.5))) < 1e-9);
    }

    void colourIndexRules() {
        QCOMPARE(Color::fromAci(0).kind, Color::Kind::ByBlock);
        QCOMPARE(Color::fromAci(256).kind, Color::Kind::ByLayer);
        QCOMPARE(Color::fromAci(7).kind, Color::Kind::Foreground);
        QCOMPARE(Color::fromAci(1).rgb, 0xFF0000u);
        QCOMPARE(Color::fromAci(5).rgb, 0x0000FFu);
        QCOMPARE(aciToRgb(-3), 0x00FF00u); // a layer switched off keeps its colour
        QCOMPARE(aciToRgb(10), 0xFF0000u);
        QCOMPARE(aciToRgb(250), 0x333333u);
    }

    void declaredUnits() {
        std::map<QString, QString> header;
        QCOMPARE(millimetresPerUnit(header), 1.0);
        QCOMPARE(unitName(header), QString("unitless"));
        QVERIFY(measurementName(header).isEmpty());
        header["$INSUNITS"] = " 1 ";
        header["$MEASUREMENT"] = "0";
        QCOMPARE(millimetresPerUnit(header), 25.4);
        QCOMPARE(unitName(header), QString("inches"));
        QCOMPARE(measurementName(header), QString("imperial"));
        header["$INSUNITS"] = "6";
        header["$MEASUREMENT"] = "1";
        QCOMPARE(millimetresPerUnit(header), 1000.0);
        QCOMPARE(measurementName(header), QString("metric"));
        // Codes past the table or not numbers fall back to unitless.
        for (const char* bad : {"21", "-1", "x", ""}) {
            header["$INSUNITS"] = bad;
            QCOMPARE(millimetresPerUnit(header), 1.0);
            QCOMPARE(unitName(header), QString("unitless"));
        }
    }
};

QTEST_APPLESS_MAIN(TestDocument)
#include "test_document.moc"
