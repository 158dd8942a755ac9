// Loads the DXF fixtures and checks that each entity kind, layer and layout
// lands in the document as the file states it.

#include "formats/Reader.h"
#include "formats/common/PolylineBands.h"
#include "formats/dxf/DxfEntities.h"
#include "formats/dxf/DxfText.h"
#include "model/Bounds.h"

#include <QFile>
#include <QTemporaryDir>
#include <QtTest>

#include <cmath>
#include <numbers>

using namespace dv;

namespace {

const double kPi = std::numbers::pi;

QString fixture(const char* name) {
    return QStringLiteral(TEST_DATA_DIR "/dxf/") + QLatin1String(name);
}

std::unique_ptr<Document> load(const QString& path) {
    return ReaderRegistry::builtin().load(path);
}

bool near(double a, double b, double eps = 1e-9) {
    return std::abs(a - b) <= eps;
}

// The point of an arc at parameter t.
Vec2 arcPoint(const Arc& a, double t) {
    const double x = a.radiusX * std::cos(t), y = a.radiusY * std::sin(t);
    const double c = std::cos(a.rotation), s = std::sin(a.rotation);
    return {a.center.x + x * c - y * s, a.center.y + x * s + y * c};
}

bool near(Vec2 a, Vec2 b, double eps = 1e-9) {
    return std::hypot(a.x - b.x, a.y - b.y) <= eps;
}

// The shapes of a block with the given entity type, in file order.
std::vector<const Shape*> shapesOf(const Document& doc, int block, const char* type) {
    std::vector<const Shape*> out;
    for (const Shape& s : doc.blocks[size_t(block)].shapes)
        if (doc.entityTypeNames[s.entityType] == QLatin1String(type))
            out.push_back(&s);
    return out;
}

int layerNamed(const Document& doc, const char* name) {
    for (size_t i = 0; i < doc.layers.size(); ++i)
        if (doc.layers[i].name == QLatin1String(name))
            return int(i);
    return -1;
}

QString writeTemp(QTemporaryDir& dir, const char* name, const QByteArray& bytes) {
    const QString path = dir.filePath(QLatin1String(name));
    QFile f(path);
    if (!f.open(QIODevice::WriteOnly))
        qFatal("cannot write %s", qPrintable(path));
    f.write(bytes);
    return path;
}

QByteArray readAll(const QString& path) {
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly))
        qFatal("cannot read %s", qPrintable(path));
    return f.readAll();
}

} // namespace

class TestDxfReader : public QObject {
    Q_OBJECT

private slots:
    void initTestCase() {
        m_doc = load(fixture("entities.dxf"));
        QVERIFY(m_doc);
        m_model = m_doc->blockIndex(QStringLiteral("*Model_Space"));
        QVERIFY(m_model >= 0);
    }

    void linesPointsAndColours() {
        const Document& d = *m_doc;
        const auto lines = shapesOf(d, m_model, "LINE");
        QCOMPARE(lines.size(), size_t(1)); // the invisible one draws nothing
        const Block& b = d.blocks[size_t(m_model)];
        QCOMPARE(lines[0]->count, 2u);
        QCOMPARE(b.points[lines[0]->first].x, 1.0);
        QCOMPARE(b.points[lines[0]->first + 1].y, 12.0);
        QCOMPARE(lines[0]->layer, layerNamed(d, "Walls"));
        QCOMPARE(lines[0]->color, Color::byLayer());

        const auto points = shapesOf(d, m_model, "POINT");
        QCOMPARE(points.size(), size_t(1));
        QCOMPARE(points[0]->kind, ShapeKind::Point);
        QCOMPARE(b.points[points[0]->first].x, 5.0);
        QCOMPARE(points[0]->color, Color::fromRgb(aciToRgb(3)));

        // True colour wins over the index, whatever their order.
        const auto circles = shapesOf(d, m_model, "CIRCLE");
        QCOMPARE(circles.size(), size_t(1));
        QCOMPARE(circles[0]->color, Color::fromRgb(0xFF8000));
        const Arc& c = b.arcs[circles[0]->first];
        QCOMPARE(c.center.x, 20.0);
        QCOMPARE(c.radiusX, 5.0);
        QVERIFY(near(c.endAngle - c.startAngle, 2 * kPi));

        QCOMPARE(b.entityCounts.at(QStringLiteral("LINE")), 2);
        QCOMPARE(b.entityCounts.at(QStringLiteral("ARC")), 2);
        QCOMPARE(b.entityCounts.at(QStringLiteral("POLYLINE")), 2);
        QCOMPARE(d.skippedEntities.at(QStringLiteral("WIBBLE")), 1);
    }

    void arcsRunCounterClockwiseAndMirror() {
        const Block& b = m_doc->blocks[size_t(m_model)];
        const auto arcs = shapesOf(*m_doc, m_model, "ARC");
        QCOMPARE(arcs.size(), size_t(2));
        // 90 to 0 degrees wraps through 180 and 270.
        const Arc& a = b.arcs[arcs[0]->first];
        QVERIFY(near(a.startAngle, kPi / 2));
        QVERIFY(near(a.endAngle, 2 * kPi));
        // Extrusion (0,0,-1): the arc from 0 to 90 degrees around (10,0) is
        // seen from below, ending up left of the y axis and swept backwards:
        // from straight up to straight left of (-10, 0).
        const Arc& m = b.arcs[arcs[1]->first];
        QCOMPARE(m.center.x, -10.0);
        const double r = m.radiusX;
        QVERIFY(near(m.radiusY, r));
        QVERIFY(near(m.endAngle - m.startAngle, kPi / 2));
        QVERIFY(near(arcPoint(m, m.startAngle), {-10, r}));
        QVERIFY(near(arcPoint(m, m.endAngle), {-10 - r, 0}));
    }

    void polylinesWithBulges() {
        const Block& b = m_doc->blocks[size_t(m_model)];
        const auto lw = shapesOf(*m_doc, m_model, "LWPOLYLINE");
        // Width 0.5 all round: one filled band per segment of the closed outline.
        QCOMPARE(lw.size(), size_t(3));
        for (const Shape* s : lw)
            QCOMPARE(s->kind, ShapeKind::Polygon);
        // A half circle below the chord (0,0)-(2,0), a quarter unit either side.
        QVERIFY(lw[0]->count >= 2 * (45 + 1));
        const Vec2* p = &b.points[lw[0]->first];
        for (uint32_t i = 0; i < lw[0]->count; ++i) {
            const double r = std::hypot(p[i].x - 1, p[i].y);
            QVERIFY2(near(r, 1.25, 1e-9) || near(r, 0.75, 1e-9), "off the band");
            QVERIFY(p[i].y <= 1e-9);
        }

        const auto polys = shapesOf(*m_doc, m_model, "POLYLINE");
        QCOMPARE(polys.size(), size_t(2));
        // A negative bulge turns clockwise: the half circle lies above.
        const Vec2* q = &b.points[polys[0]->first];
        QVERIFY(!(polys[0]->flags & Closed));
        QCOMPARE(q[0].x, 50.0);
        QVERIFY(q[1].y > 0 && near(std::hypot(q[1].x - 51, q[1].y), 1.0));
        QCOMPARE(q[polys[0]->count - 1].y, 3.0);
        // The 3D polyline is drawn as its projection, closed.
        QCOMPARE(polys[1]->count, 2u);
        QVERIFY(polys[1]->flags & Closed);
        QCOMPARE(b.points[polys[1]->first + 1].x, 61.0);
    }

    void bulgeArcIsFineEnough() {
        std::vector<Vec2> out;
        dxf::appendBulgeArc(out, {0, 0}, {0, 10}, 1.0); // half circle, counter-clockwise
        QVERIFY(out.size() >= 45 && out.size() <= 90);
        for (const Vec2& v : out)
            QVERIFY(near(std::hypot(v.x, v.y - 5), 5.0, 1e-9) && v.x > 0);
        out.clear();
        dxf::appendBulgeArc(out, {0, 0}, {0, 0}, 1.0); // no chord, no arc
        dxf::appendBulgeArc(out, {0, 0}, {1, 0}, std::nan(""));
        QVERIFY(out.empty());
    }

    // Polylines make room for their arcs' points from the bulges alone; the
    // room must hold what the arcs then add, gentle, half and near-full.
    void arcRoomHoldsTheArcsPoints() {
        for (double bulge : {1e-8, 1e-3, 0.02, 0.1, 0.4142, 1.0, -1.0, 2.5, 40.0, -1e6, 1e12}) {
            std::vector<Vec2> out;
            dxf::appendBulgeArc(out, {0, 0}, {10, 3}, bulge);
            QVERIFY2(out.size() <= size_t(bulgeArcInnerPointsAtMost(bulge)),
                     qPrintable(QStringLiteral("bulge %1: %2 points, room for %3")
                                    .arg(bulge)
                                    .arg(out.size())
                                    .arg(bulgeArcInnerPointsAtMost(bulge))));
        }
        QCOMPARE(bulgeArcInnerPointsAtMost(std::nan("")), 0);
    }

    void texts() {
        const Block& b = m_doc->blocks[size_t(m_model)];
        const auto texts = shapesOf(*m_doc, m_model, "TEXT");
        QCOMPARE(texts.size(), size_t(2));
        const Text& t = b.texts[texts[0]->first];
        QCOMPARE(t.text, QString::fromUtf8("Caf\u00e9 \u00b0 \u2300"));
        QCOMPARE(t.position.x, 30.0);
        QCOMPARE(t.height, 2.5);
        QVERIFY(near(t.rotation, kPi / 2));
        QCOMPARE(t.widthFactor, 0.8);
        QVERIFY(near(t.oblique, 15 * kPi / 180));
        // arial.ttf: a metric clone of the same face where the original is absent
        QVERIFY(QStringList({"Arial", "Liberation Sans", "Arimo", "Nimbus Sans"})
                    .contains(t.fontFamily));
        QCOMPARE(t.hAlign, Text::Left);
        QCOMPARE(t.vAlign, Text::Baseline);

        // Aligned text sits at its second point; a zero height takes the style's.
        const Text& m = b.texts[texts[1]->first];
        QCOMPARE(m.position.x, 35.0);
        QCOMPARE(m.position.y, 46.0);
        QCOMPARE(m.hAlign, Text::Center);
        QCOMPARE(m.vAlign, Text::Middle);
        QCOMPARE(m.height, 7.5);
        QVERIFY(!m.fontFamily.isEmpty()); // txt.shx has a substitute
    }

    void insertsAndBlocks() {
        const Document& d = *m_doc;
        const Block& b = d.blocks[size_t(m_model)];
        const auto inserts = shapesOf(d, m_model, "INSERT");
        QCOMPARE(inserts.size(), size_t(2));
        const Insert& i = b.inserts[inserts[0]->first];
        const int door = d.blockIndex(QStringLiteral("Door"));
        QCOMPARE(i.block, door);
        QCOMPARE(i.position.x, 70.0);
        QCOMPARE(i.scaleX, 2.0);
        QCOMPARE(i.scaleY, 3.0);
        QVERIFY(near(i.rotation, kPi / 2));
        QCOMPARE(i.columns, 2);
        QCOMPARE(i.rows, 3);
        QCOMPARE(i.columnSpacing, 5.0);
        QCOMPARE(i.rowSpacing, 6.0);
        // An insert of a block no one defined is kept harmless and reported.
        QCOMPARE(b.inserts[inserts[1]->first].block, -1);
        QCOMPARE(d.skippedEntities.at(QStringLiteral("INSERT of an unknown block")), 1);

        const Block& doorBlock = d.blocks[size_t(door)];
        QCOMPARE(doorBlock.basePoint.x, 1.0);
        QCOMPARE(doorBlock.basePoint.y, 2.0);
        QCOMPARE(doorBlock.shapes.front().color, Color::byBlock());
        // Defined after the block that uses it.
        QCOMPARE(doorBlock.inserts.front().block, d.blockIndex(QStringLiteral("Knob")));
    }

    void layers() {
        const Document& d = *m_doc;
        QVERIFY(layerNamed(d, "0") >= 0);
        QCOMPARE(d.layers[size_t(layerNamed(d, "0"))].color, Color::foreground());
        const Layer& walls = d.layers[size_t(layerNamed(d, "Walls"))];
        QCOMPARE(walls.color, Color::fromRgb(0xFF0000));
        QVERIFY(walls.isVisible());
        const Layer& hidden = d.layers[size_t(layerNamed(d, "Hidden"))];
        QVERIFY(!hidden.on);
        QCOMPARE(hidden.color, Color::fromRgb(aciToRgb(3)));
        const Layer& frozen = d.layers[size_t(layerNamed(d, "Frozen"))];
        QVERIFY(frozen.on && frozen.frozen && !frozen.isVisible());
        QCOMPARE(d.layers[size_t(layerNamed(d, "Tinted"))].color, Color::fromRgb(0x123456));
    }

    void layoutsInTabOrder() {
        const Document& d = *m_doc;
        QCOMPARE(d.layouts.size(), size_t(3));
        QCOMPARE(d.layouts[0].name, QStringLiteral("Model"));
        QCOMPARE(d.layouts[0].block, m_model);
        QVERIFY(!d.layouts[0].paperSpace);
        QCOMPARE(d.layouts[1].name, QStringLiteral("Sheet A"));
        QCOMPARE(d.layouts[1].tabOrder, 1);
        QCOMPARE(d.layouts[1].block, d.blockIndex(QStringLiteral("*Paper_Space")));
        QVERIFY(d.layouts[1].paperSpace);
        QCOMPARE(d.layouts[2].name, QStringLiteral("Detail"));
        QCOMPARE(d.layouts[2].block, d.blockIndex(QStringLiteral("*Paper_Space0")));
        QCOMPARE(d.activeLayout, 0);

        // The flagged line went to the active paper space, not the model.
        const auto paperLines = shapesOf(d, d.layouts[1].block, "LINE");
        QCOMPARE(paperLines.size(), size_t(1));
        QCOMPARE(paperLines[0]->layer, layerNamed(d, "Frozen"));
        const Box e = d.layouts[2].extents;
        QCOMPARE(e.minX, 0.0);
        QCOMPARE(e.maxX, 420.0);
        QCOMPARE(e.maxY, 297.0);
    }

    void header() {
        const auto& h = m_doc->header;
        QCOMPARE(h.at(QStringLiteral("$ACADVER")), QStringLiteral("AC1015"));
        QCOMPARE(h.at(QStringLiteral("$DWGCODEPAGE")), QStringLiteral("ANSI_1252"));
        QCOMPARE(h.at(QStringLiteral("$INSUNITS")), QStringLiteral("6"));
        QCOMPARE(h.at(QStringLiteral("$EXTMAX")), QStringLiteral("100.0,50.0,0.0"));
        QCOMPARE(m_doc->format, QStringLiteral("DXF"));
    }

    void r12WithPaperSpace() {
        auto d = load(fixture("r12.dxf"));
        QCOMPARE(d->layouts.size(), size_t(2));
        QCOMPARE(d->layouts[0].name, QStringLiteral("Model"));
        QCOMPARE(d->layouts[1].name, QStringLiteral("Layout1"));
        QVERIFY(d->layouts[1].paperSpace);
        const Box m = d->layouts[0].extents;
        QCOMPARE(m.minX, -5.0);
        QCOMPARE(m.maxY, 5.0);
        const Box p = d->layouts[1].extents;
        QVERIFY(near(p.minX, 90.0, 1e-6) && near(p.maxX, 110.0, 1e-6));
        QVERIFY(near(p.minY, 90.0, 1e-6) && near(p.maxY, 110.0, 1e-6));
        QCOMPARE(d->blocks[size_t(d->layouts[0].block)].inserts.front().block,
                 d->blockIndex(QStringLiteral("Mark")));
        QCOMPARE(d->layers[size_t(layerNamed(*d, "Grid"))].color, Color::fromRgb(aciToRgb(8)));
    }

    void sloppyLineEndsAndBlanks() {
        // CRLF, blanks around the codes, trailing blanks after numbers, no EOF.
        QByteArray text = readAll(fixture("r12.dxf"));
        text.replace("\n", "  \r\n");
        text.replace("EOF  \r\n", "");
        text.chop(text.size() - text.lastIndexOf("  0  \r\n"));
        QTemporaryDir dir;
        auto d = load(writeTemp(dir, "crlf.dxf", text));
        const Box m = d->layouts[0].extents;
        QCOMPARE(m.minX, -5.0);
        QCOMPARE(m.maxX, 5.0);
        QCOMPARE(d->layouts.size(), size_t(2));
        QVERIFY(layerNamed(*d, "Grid") >= 0);
    }

    void paperSpaceActiveWhenTileModeIsOff() {
        QByteArray text = readAll(fixture("entities.dxf"));
        text.replace("$TILEMODE\n 70\n1\n", "$TILEMODE\n 70\n0\n");
        QTemporaryDir dir;
        auto d = load(writeTemp(dir, "paper.dxf", text));
        QCOMPARE(d->layouts[size_t(d->activeLayout)].name, QStringLiteral("Sheet A"));
    }

    void characterSets() {
        QTemporaryDir dir;
        auto textOf = [&](const char* version, const char* codePage, const QByteArray& value) {
            const QByteArray dxf = QByteArray("0\nSECTION\n2\nHEADER\n9\n$ACADVER\n1\n") + version +
                                   "\n9\n$DWGCODEPAGE\n3\n" + codePage +
                                   "\n0\nENDSEC\n0\nSECTION\n2\nENTITIES\n0\nTEXT\n8\n0\n1\n" +
                                   value + "\n0\nENDSEC\n0\nEOF\n";
            auto d = load(writeTemp(dir, "cs.dxf", dxf));
            return d->blocks[0].texts.at(0).text;
        };
        QCOMPARE(textOf("AC1021", "ANSI_1252", "\xC3\x84 \\U+00B0"),
                 QString::fromUtf8("\u00c4 \u00b0"));
        QCOMPARE(textOf("AC1015", "ANSI_1251", "\xC4\xE0"), QString::fromUtf8("\u0414\u0430"));
        QCOMPARE(textOf("AC1015", "ANSI_1252", "\x80"), QString::fromUtf8("\u20ac"));
        QCOMPARE(textOf("AC1015", "NO_SUCH", "\xE9"), QString::fromUtf8("\u00e9")); // Latin-1
    }

    void textEscapes() {
        using dxf::expandEscapes;
        QCOMPARE(expandEscapes(QStringLiteral("%%p0.5 %%D %%c10")),
                 QString::fromUtf8("\u00b10.5 \u00b0 \u230010"));
        QCOMPARE(expandEscapes(QStringLiteral("%%uunder%%u 100%%%")), QStringLiteral("under 100%"));
        QCOMPARE(expandEscapes(QStringLiteral("%%065B")), QStringLiteral("AB"));
        QCOMPARE(expandEscapes(QStringLiteral("\\U+2205x \\U+12")),
                 QString::fromUtf8("\u2205x \\U+12"));
        QCOMPARE(expandEscapes(QStringLiteral("50%")), QStringLiteral("50%"));
    }

    void mirroredByExtrusion() {
        const QByteArray dxf = "0\nSECTION\n2\nBLOCKS\n0\nBLOCK\n2\nB\n10\n0\n20\n0\n0\nENDBLK\n"
                               "0\nENDSEC\n0\nSECTION\n2\nENTITIES\n"
                               "0\nLWPOLYLINE\n10\n1\n20\n0\n42\n1\n10\n3\n20\n0\n"
                               "210\n0\n220\n0\n230\n-1\n"
                               "0\nTEXT\n10\n5\n20\n1\n1\nT\n50\n30\n230\n-1.0\n"
                               "0\nINSERT\n2\nB\n10\n7\n20\n2\n41\n2\n50\n30\n230\n-1\n"
                               "0\nENDSEC\n0\nEOF\n";
        QTemporaryDir dir;
        auto d = load(writeTemp(dir, "mirror.dxf", dxf));
        const Block& b = d->blocks[size_t(d->layouts[0].block)];
        // y is kept and x flips, bulge with it: the half circle below the chord
        // from (1,0) to (3,0) stays below, now from -1 to -3.
        const Shape& pl = b.shapes[0];
        QCOMPARE(b.points[pl.first].x, -1.0);
        QCOMPARE(b.points[pl.first + pl.count - 1].x, -3.0);
        QVERIFY(b.points[pl.first + 5].y < 0);
        const Text& t = b.texts.at(0);
        QCOMPARE(t.position.x, -5.0);
        QVERIFY(near(std::remainder(t.rotation + kPi / 6, 2 * kPi), 0));
        QCOMPARE(t.hAlign, Text::Right);
        // The block's x axis runs mirrored at 30 degrees, its y axis straight up.
        const Insert& i = b.inserts.at(0);
        QCOMPARE(i.position.x, -7.0);
        const Vec2 base{0, 0};
        QVERIFY(near(placeInInsert(i, base, {1, 0}), {-7 - 2 * std::cos(kPi / 6), 2 + 1}));
        QVERIFY(
            near(placeInInsert(i, base, {0, 1}), {-7 + std::sin(kPi / 6), 2 + std::cos(kPi / 6)}));
    }

    // The drawing users see first: whole, nothing skipped, every layout filled.
    void sampleSitePlan() {
        auto d = load(QStringLiteral(TEST_DATA_DIR "/../../samples/site-plan.dxf"));
        QCOMPARE(d->layouts.size(), size_t(3));
        QCOMPARE(d->layouts[1].name, QStringLiteral("Layout1"));
        QCOMPARE(d->layouts[2].name, QStringLiteral("Detail"));
        for (const Layout& l : d->layouts)
            QVERIFY2(l.extents.isValid() && l.extents.width() > 10, qPrintable(l.name));
        QVERIFY(d->skippedEntities.empty());
        QVERIFY(d->layers.size() >= 8);
        for (const Block& b : d->blocks)
            for (const Insert& i : b.inserts)
                QVERIFY(i.block >= 0);
    }

private:
    std::unique_ptr<Document> m_doc;
    int m_model = -1;
};

QTEST_GUILESS_MAIN(TestDxfReader)
#include "test_dxf_reader.moc"
