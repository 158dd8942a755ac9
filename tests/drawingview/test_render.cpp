#include "render/Renderer.h"

#include "formats/Reader.h"

#include <QFontMetricsF>
#include <QGuiApplication>
#include <QPainter>
#include <QTest>

#include <numbers>

using namespace dv;

namespace {

constexpr uint32_t red = 0xFF0000, green = 0x00FF00, blue = 0x0000FF;

// A document with layer "0" and one layout; the layout's block is block 0.
std::shared_ptr<Document> makeDoc(bool paper = false) {
    auto doc = std::make_shared<Document>();
    doc->format = "TEST";
    doc->layerIndex("0");
    Block space;
    space.name = paper ? "*Paper_Space" : "*Model_Space";
    doc->blocks.push_back(space);
    Layout l;
    l.name = paper ? "Sheet" : "Model";
    l.block = 0;
    l.paperSpace = paper;
    doc->layouts.push_back(l);
    return doc;
}

Shape& line(Block& b, Vec2 p, Vec2 q, Color c = Color::foreground(), int layer = 0) {
    Shape& s = b.addPolyline({p, q}, false);
    s.color = c;
    s.layer = layer;
    return s;
}

int addBlock(Document& doc, const QString& name) {
    Block b;
    b.name = name;
    doc.blocks.push_back(b);
    return int(doc.blocks.size() - 1);
}

// Renders drawing area (0,0)-(100,100) into 200x200 pixels: (x, y) lands on
// pixel (2x, 200 - 2y).
QImage render(const std::shared_ptr<Document>& doc, RenderStats* stats = nullptr, double zoom = 2.0,
              Vec2 center = {50, 50}) {
    doc->finish();
    RenderScene scene(doc);
    QImage image(200, 200, QImage::Format_RGB32);
    image.fill(Qt::magenta);
    ViewTransform view;
    view.setViewport(QRectF(0, 0, 200, 200));
    view.setZoom(zoom, center);
    QPainter painter(&image);
    QPainterBackend backend(painter, QRectF(image.rect()));
    const RenderStats s = Renderer(scene).render(backend, view, 0);
    if (stats)
        *stats = s;
    return image;
}

// Whether any pixel within one of drawing point `p` has colour `rgb`.
bool hasColorNear(const QImage& image, Vec2 p, uint32_t rgb) {
    const int px = int(std::lround(p.x * 2)), py = int(std::lround(200 - p.y * 2));
    for (int dy = -1; dy <= 1; ++dy)
        for (int dx = -1; dx <= 1; ++dx) {
            const QPoint at(px + dx, py + dy);
            if (image.rect().contains(at) && (image.pixel(at) & 0xFFFFFF) == rgb)
                return true;
        }
    return false;
}

bool onlyBackgroundNear(const QImage& image, Vec2 p, uint32_t background) {
    const int px = int(std::lround(p.x * 2)), py = int(std::lround(200 - p.y * 2));
    for (int dy = -2; dy <= 2; ++dy)
        for (int dx = -2; dx <= 2; ++dx) {
            const QPoint at(px + dx, py + dy);
            if (image.rect().contains(at) && (image.pixel(at) & 0xFFFFFF) != background)
                return false;
        }
    return true;
}

} // namespace

class TestRender : public QObject {
    Q_OBJECT

private slots:
    void lineLandsInItsColourAtItsPlace() {
        auto doc = makeDoc();
        line(doc->blocks[0], {10, 50}, {90, 50}, Color::fromRgb(red));
        const QImage img = render(doc);
        QVERIFY(hasColorNear(img, {50, 50}, red));
        QVERIFY(hasColorNear(img, {12, 50}, red));
        QVERIFY(onlyBackgroundNear(img, {50, 60}, 0x000000));
        QVERIFY(onlyBackgroundNear(img, {95, 50}, 0x000000));
    }

    void foregroundFollowsTheBackground() {
        auto model = makeDoc(false);
        line(model->blocks[0], {10, 50}, {90, 50}, Color::foreground());
        const QImage onBlack = render(model);
        QVERIFY(hasColorNear(onBlack, {50, 50}, 0xFFFFFF));
        QVERIFY(onlyBackgroundNear(onBlack, {50, 80}, 0x000000));

        auto paper = makeDoc(true);
        line(paper->blocks[0], {10, 50}, {90, 50}, Color::fromAci(7));
        const QImage onWhite = render(paper);
        QVERIFY(hasColorNear(onWhite, {50, 50}, 0x000000));
        QVERIFY(onlyBackgroundNear(onWhite, {50, 80}, 0xFFFFFF));
    }

    void colourLikeTheBackgroundStaysVisible() {
        auto doc = makeDoc();
        line(doc->blocks[0], {10, 50}, {90, 50}, Color::fromRgb(0x050505));
        const QImage img = render(doc);
        const QRgb p = img.pixel(100, 100) | img.pixel(100, 99) | img.pixel(100, 101);
        QVERIFY2(qGray(p) > 40, "a near-black line on black must be lifted");
    }

    void byLayerAndByBlockThroughAnInsert() {
        auto doc = makeDoc();
        const int redLayer = doc->layerIndex("RED");
        doc->layers[redLayer].color = Color::fromRgb(red);
        const int b = addBlock(*doc, "B");
        line(doc->blocks[b], {0, 0}, {10, 0}, Color::byBlock(), 0);
        line(doc->blocks[b], {0, 5}, {10, 5}, Color::byLayer(), 0); // layer 0: the insert's
        Insert ins;
        ins.block = b;
        ins.position = {40, 40};
        Shape& s = doc->blocks[0].addInsert(ins);
        s.color = Color::fromRgb(green);
        s.layer = redLayer;
        // A ByBlock entity outside any block draws in the foreground.
        line(doc->blocks[0], {10, 80}, {90, 80}, Color::byBlock());

        QImage img = render(doc);
        QVERIFY(hasColorNear(img, {45, 40}, green));
        QVERIFY(hasColorNear(img, {45, 45}, red));
        QVERIFY(hasColorNear(img, {50, 80}, 0xFFFFFF));

        // Hiding the insert's layer hides what inherits it.
        doc->layers[redLayer].frozen = true;
        img = render(doc);
        QVERIFY(onlyBackgroundNear(img, {45, 40}, 0));
        QVERIFY(onlyBackgroundNear(img, {45, 45}, 0));
    }

    void hiddenLayerDrawsNothing() {
        auto doc = makeDoc();
        const int hidden = doc->layerIndex("HIDDEN");
        line(doc->blocks[0], {10, 50}, {90, 50}, Color::fromRgb(red), hidden);
        Arc circle;
        circle.center = {50, 50};
        circle.radiusX = circle.radiusY = 20;
        circle.endAngle = 2 * std::numbers::pi;
        Shape& a = doc->blocks[0].addArc(circle);
        a.color = Color::fromRgb(red);
        a.layer = hidden;
        QVERIFY(hasColorNear(render(doc), {50, 50}, red));
        doc->layers[hidden].on = false;
        const QImage img = render(doc);
        QVERIFY(onlyBackgroundNear(img, {50, 50}, 0));
        QVERIFY(onlyBackgroundNear(img, {50, 70}, 0));
    }

    void insertTransformsPlaceTheBlock() {
        // The block: a line from its base point 10 units along x.
        auto make = [](double sx, double sy, double rotationDeg) {
            auto doc = makeDoc();
            const int b = addBlock(*doc, "ARROW");
            doc->blocks[b].basePoint = {100, 100};
            line(doc->blocks[b], {100, 100}, {110, 100}, Color::fromRgb(blue));
            Insert ins;
            ins.block = b;
            ins.position = {50, 50};
            ins.scaleX = sx;
            ins.scaleY = sy;
            ins.rotation = rotationDeg * std::numbers::pi / 180;
            doc->blocks[0].addInsert(ins);
            return doc;
        };
        QImage img = render(make(2, 2, 90)); // up to (50, 70)
        QVERIFY(hasColorNear(img, {50, 65}, blue));
        QVERIFY(onlyBackgroundNear(img, {60, 50}, 0));
        QVERIFY(onlyBackgroundNear(img, {50, 75}, 0));

        img = render(make(-1, 1, 0)); // mirrored: to the left
        QVERIFY(hasColorNear(img, {45, 50}, blue));
        QVERIFY(onlyBackgroundNear(img, {55, 50}, 0));

        img = render(make(3, 1, 180)); // turned round: to (20, 50)
        QVERIFY(hasColorNear(img, {25, 50}, blue));
        QVERIFY(onlyBackgroundNear(img, {60, 50}, 0));
    }

    void arrayInsertRepeatsTheBlock() {
        auto doc = makeDoc();
        const int b = addBlock(*doc, "TICK");
        line(doc->blocks[b], {0, 0}, {0, 5}, Color::fromRgb(red));
        Insert ins;
        ins.block = b;
        ins.position = {20, 20};
        ins.columns = 3;
        ins.rows = 2;
        ins.columnSpacing = 20;
        ins.rowSpacing = 30;
        doc->blocks[0].addInsert(ins);
        const QImage img = render(doc);
        for (double x : {20, 40, 60})
            for (double y : {22.5, 52.5})
                QVERIFY(hasColorNear(img, {x, y}, red));
        QVERIFY(onlyBackgroundNear(img, {80, 22.5}, 0));
        QVERIFY(onlyBackgroundNear(img, {20, 82.5}, 0));
    }

    void hugeArrayCostsOnlyWhatShows() {
        auto doc = makeDoc();
        const int b = addBlock(*doc, "DOT");
        line(doc->blocks[b], {0, 0}, {0.5, 0}, Color::fromRgb(red));
        Insert ins;
        ins.block = b;
        ins.rotation = std::numbers::pi / 2; // the grid's columns run up the page
        ins.columns = 100000;
        ins.rows = 100000;
        ins.columnSpacing = 1;
        ins.rowSpacing = -1; // rows to the right (rotated -y)
        doc->blocks[0].addInsert(ins);
        // Column 60000, row 70000 sits at (70000, 60000), far into the grid.
        RenderStats stats;
        const QImage img = render(doc, &stats, 2.0, {70000.25, 60000.5});
        QVERIFY(hasColorNear(img, {50, 50.25}, red));
        QVERIFY(stats.shapes < 20000); // a 100 x 100 unit view holds about 10,000 cells
    }

    void nestedInsertsAndCyclesEnd() {
        auto doc = makeDoc();
        const int a = addBlock(*doc, "A"), b = addBlock(*doc, "B");
        line(doc->blocks[a], {0, 0}, {10, 0}, Color::fromRgb(red));
        Insert toB;
        toB.block = b;
        toB.position = {0, 10};
        doc->blocks[a].addInsert(toB);
        line(doc->blocks[b], {0, 0}, {10, 0}, Color::fromRgb(green));
        Insert toA;
        toA.block = a; // back to A: a cycle
        toA.position = {0, 10};
        doc->blocks[b].addInsert(toA);
        Insert top;
        top.block = a;
        top.position = {40, 40};
        doc->blocks[0].addInsert(top);
        // Not calling finish() leaves the cycle in place for the renderer.
        RenderScene scene(doc);
        QImage image(200, 200, QImage::Format_RGB32);
        ViewTransform view;
        view.setViewport(QRectF(0, 0, 200, 200));
        view.setZoom(2, {50, 50});
        QPainter painter(&image);
        QPainterBackend backend(painter, QRectF(image.rect()));
        Renderer(scene).render(backend, view, 0);
        painter.end();
        QVERIFY(hasColorNear(image, {45, 40}, red));
        QVERIFY(hasColorNear(image, {45, 50}, green));

        // A deep but finite chain is drawn down to the depth limit.
        auto deep = makeDoc();
        int previous = -1;
        for (int i = 0; i < 200; ++i) {
            const int blk = addBlock(*deep, QString("L%1").arg(i));
            line(deep->blocks[blk], {0, 0}, {1, 0}, Color::fromRgb(red));
            if (previous >= 0) {
                Insert in;
                in.block = previous;
                deep->blocks[blk].addInsert(in);
            }
            previous = blk;
        }
        Insert in;
        in.block = previous;
        in.position = {50, 50};
        deep->blocks[0].addInsert(in);
        QVERIFY(hasColorNear(render(deep), {50.5, 50}, red));
    }

    void cullingKeepsShapesThatCrossTheView() {
        auto doc = makeDoc();
        // Both ends far outside a zoomed view.
        line(doc->blocks[0], {-1000, 50}, {1000, 50}, Color::fromRgb(red));
        Arc circle; // centre outside, rim through the view
        circle.center = {50, -940};
        circle.radiusX = circle.radiusY = 1000;
        circle.endAngle = 2 * std::numbers::pi;
        doc->blocks[0].addArc(circle).color = Color::fromRgb(green);
        line(doc->blocks[0], {5000, 5000}, {5001, 5001}, Color::fromRgb(blue)); // far away
        RenderStats stats;
        const QImage img = render(doc, &stats, 2.0, {50, 50});
        QVERIFY(hasColorNear(img, {50, 50}, red));
        QVERIFY(hasColorNear(img, {50, 60}, green));
        QCOMPARE(stats.shapes, size_t(2));
    }

    void manyColoursDrawEveryLine() {
        auto doc = makeDoc();
        for (int i = 0; i < 6000; ++i) // more colours than one batch table holds
            line(doc->blocks[0], {i / 60.0, 10}, {i / 60.0, 90}, Color::fromRgb(0x100000 + i * 37));
        line(doc->blocks[0], {10, 95}, {90, 95}, Color::fromRgb(red));
        const QImage img = render(doc);
        QVERIFY(hasColorNear(img, {50, 95}, red));
        int lit = 0;
        for (int x = 0; x < 200; ++x)
            lit += (img.pixel(x, 100) & 0xFFFFFF) != 0;
        QVERIFY(lit >= 199);
    }

    void hugeZoomDoesNotLoseTheLine() {
        auto doc = makeDoc();
        line(doc->blocks[0], {0, 0}, {100, 100}, Color::fromRgb(red));
        Text t; // and a text far taller than the screen
        t.text = "Huge";
        t.position = {49.99, 49.99};
        t.height = 20;
        doc->blocks[0].addText(t).color = Color::fromRgb(green);
        Arc circle; // a circle so large only a sliver of it shows
        circle.center = {50.00001, 50 - 1e5};
        circle.radiusX = circle.radiusY = 1e5;
        circle.endAngle = 2 * std::numbers::pi;
        doc->blocks[0].addArc(circle).color = Color::fromRgb(blue);
        // A million times closer: the segment spans 1e8 pixels.
        const QImage img = render(doc, nullptr, 2e6, {50, 50});
        QVERIFY(hasColorNear(img, {50, 50}, red));
        QVERIFY(hasColorNear(img, {50, 50}, blue));
        // A quarter of a huge circle, its visible part far from its ends.
        auto quarter = makeDoc();
        Arc q;
        q.center = {50 - 7071.0678118654752, 50 - 7071.0678118654752};
        q.radiusX = q.radiusY = 10000;
        q.startAngle = 0.1;
        q.endAngle = 1.4;
        quarter->blocks[0].addArc(q).color = Color::fromRgb(blue);
        QVERIFY(hasColorNear(render(quarter, nullptr, 1e6, {50, 50}), {50, 50}, blue));
    }

    void tinyShapesBecomeDots() {
        auto doc = makeDoc();
        for (int i = 0; i < 20000; ++i) {
            const double x = (i % 200) * 0.5, y = (i / 200) * 0.5;
            line(doc->blocks[0], {x, y}, {x + 0.01, y + 0.01}, Color::fromRgb(red));
        }
        RenderStats stats;
        const QImage img = render(doc, &stats, 1.0);
        QCOMPARE(stats.shapes, size_t(0));
        QVERIFY(stats.dots > 0 && stats.dots <= 20000);
        QVERIFY(hasColorNear(img, {25, 25}, red)); // at zoom 1 the helper's x2 halves
    }

    void polygonFillsOddEven() {
        auto doc = makeDoc();
        Block& b = doc->blocks[0];
        Shape& s = b.addPolygon({{10, 10},
                                 {90, 10},
                                 {90, 90},
                                 {10, 90}, // outer
                                 {40, 40},
                                 {60, 40},
                                 {60, 60},
                                 {40, 60}}); // hole
        s.color = Color::fromRgb(blue);
        b.ringStarts.push_back(s.first + 4);
        const QImage img = render(doc);
        QCOMPARE(img.pixel(40, 100) & 0xFFFFFF, blue); // (20, 50)
        QCOMPARE(img.pixel(100, 100) & 0xFFFFFF, 0u);  // (50, 50), in the hole
    }

    void textSitsByItsAlignment() {
        auto doc = makeDoc();
        Text t;
        t.text = "HHHH";
        t.position = {50, 50};
        t.height = 10;
        t.hAlign = Text::Right;
        doc->blocks[0].addText(t).color = Color::fromRgb(red);
        QImage img = render(doc);
        auto redIn = [&](QRect r) {
            for (int y = r.top(); y <= r.bottom(); ++y)
                for (int x = r.left(); x <= r.right(); ++x)
                    if (qRed(img.pixel(x, y)) > 128 && qGreen(img.pixel(x, y)) < 100)
                        return true;
            return false;
        };
        // Right-aligned at (50, 50): ink left of x=100 px, above y=100 px.
        QVERIFY(redIn(QRect(40, 80, 58, 19)));
        QVERIFY(!redIn(QRect(103, 60, 90, 60)));
        QVERIFY(!redIn(QRect(40, 103, 60, 40)));

        doc->blocks[0].texts[0].vAlign = Text::Top;
        doc->blocks[0].texts[0].hAlign = Text::Left;
        img = render(doc);
        QVERIFY(redIn(QRect(101, 102, 60, 18))); // below and right of the point
        QVERIFY(!redIn(QRect(0, 0, 200, 97)));   // nothing above it
        QVERIFY(!redIn(QRect(0, 0, 97, 200)));   // nothing left of it
    }

    void cullingKeepsTheEndOfWideTextInABlock() {
        auto doc = makeDoc();
        const int b = addBlock(*doc, "LABEL");
        Text t;
        t.text = "WWWWWWWW";
        t.height = 10;
        doc->blocks[b].addText(t).color = Color::fromRgb(red);
        Insert ins;
        ins.block = b;
        ins.position = {0, 50};
        doc->blocks[0].addInsert(ins);
        // Show only the last few units of the text's real width.
        QFont font("DejaVu Sans");
        font.setPixelSize(100);
        const QFontMetricsF fm(font);
        const double width = fm.horizontalAdvance(t.text) * t.height / fm.capHeight();
        const QImage img = render(doc, nullptr, 2.0, {width - 4 + 50, 50});
        bool ink = false;
        for (int y = 70; y < 110; ++y)
            for (int x = 0; x < 10; ++x)
                ink = ink || qRed(img.pixel(x, y)) > 128;
        QVERIFY(ink);
    }

    void rasterUsesThePyramidWhenZoomedOut() {
        auto doc = std::make_shared<Document>();
        doc->kind = Document::Kind::Raster;
        doc->raster = QImage(400, 400, QImage::Format_RGB32);
        doc->raster.fill(QColor(red));
        // A half-size level of another colour shows which level is drawn.
        QImage half(200, 200, QImage::Format_RGB32);
        half.fill(QColor(green));
        doc->rasterPyramid.push_back(half);
        RenderScene scene(doc);
        auto draw = [&](double zoom) {
            QImage image(200, 200, QImage::Format_RGB32);
            ViewTransform view;
            view.setViewport(QRectF(0, 0, 200, 200));
            view.setZoom(zoom, {200, 200});
            QPainter painter(&image);
            QPainterBackend backend(painter, QRectF(image.rect()));
            Renderer(scene).render(backend, view, 0);
            return image;
        };
        QCOMPARE(draw(0.5).pixel(100, 100) & 0xFFFFFF, green);
        QCOMPARE(draw(1.0).pixel(100, 100) & 0xFFFFFF, red);
        // Zoomed out further, the image leaves grey around it.
        QCOMPARE(draw(0.25).pixel(2, 2) & 0xFFFFFF, 0x808080u);
    }

    void fittedRenderFramesTheExtents() {
        auto doc = makeDoc();
        line(doc->blocks[0], {0, 0}, {100, 100}, Color::fromRgb(red));
        doc->finish();
        RenderScene scene(doc);
        const QImage framed = renderFitted(scene, 0, QSize(300, 200), false);
        const QImage bare = renderFitted(scene, 0, QSize(300, 200), true);
        // With the border the diagonal stops short of the image's corners.
        QCOMPARE(bare.pixel(150, 100) & 0xFFFFFF, red);
        QVERIFY((framed.pixel(2, 2) & 0xFFFFFF) == 0);
        QCOMPARE(framed.pixel(150, 10) & 0xFFFFFF, 0x808080u); // the frame's top edge
    }

    void placedImageFollowsItsPixelGrid() {
        auto doc = makeDoc();
        auto image = std::make_shared<QImage>(2, 2, QImage::Format_RGB32);
        image->setPixel(0, 0, 0xFF000000u | red);
        image->setPixel(1, 0, 0xFF000000u | green);
        image->setPixel(0, 1, 0xFF000000u | blue);
        image->setPixel(1, 1, 0xFFFFFFFFu);
        Image placed;
        placed.image = image;
        placed.origin = {20, 80}; // top-left; rows run down
        placed.u = {20, 0};
        placed.v = {0, -20};
        doc->blocks[0].addImage(placed);
        QImage img = render(doc);
        QVERIFY(hasColorNear(img, {30, 70}, red));
        QVERIFY(hasColorNear(img, {50, 70}, green));
        QVERIFY(hasColorNear(img, {30, 50}, blue));
        QVERIFY(onlyBackgroundNear(img, {70, 20}, 0));
        QCOMPARE(doc->layouts[0].extents.minX, 20.0);
        QCOMPARE(doc->layouts[0].extents.maxY, 80.0);

        // A clip polygon keeps only its inside: the left half.
        doc->blocks[0].images[0].clip = {{20, 40}, {40, 40}, {40, 80}, {20, 80}};
        img = render(doc);
        QVERIFY(hasColorNear(img, {30, 70}, red));
        QVERIFY(onlyBackgroundNear(img, {50, 70}, 0));
    }

    void recordedPictureReplaysWhereItIsPlaced() {
        auto doc = makeDoc(true);
        auto picture = std::make_shared<QPicture>();
        {
            QPainter p(picture.get());
            p.fillRect(QRectF(0, 0, 10, 5), QColor::fromRgb(red));
        }
        Picture placed;
        placed.picture = picture;
        placed.bounds = QRectF(0, 0, 10, 10);
        placed.origin = {0, 100};
        placed.u = {10, 0}; // one picture unit is ten drawing units
        placed.v = {0, -10};
        doc->blocks[0].addPicture(placed);
        const QImage img = render(doc);
        QVERIFY(hasColorNear(img, {50, 75}, red));
        QVERIFY(onlyBackgroundNear(img, {50, 25}, 0xFFFFFF));
        QCOMPARE(doc->layouts[0].extents.minY, 0.0);
        QCOMPARE(doc->layouts[0].extents.maxX, 100.0);
    }

    void pointsShowInTheirDisplayMode() {
        auto doc = makeDoc();
        Shape& p = doc->blocks[0].addPoint({50, 50});
        p.color = Color::fromRgb(red);
        // A plus in a circle, 10 units across: arms and rim 5 units out.
        doc->pointMode = 2 | 32;
        doc->pointSize = 10;
        QImage img = render(doc);
        QVERIFY(hasColorNear(img, {50, 50}, red));
        QVERIFY(hasColorNear(img, {53, 50}, red));
        QVERIFY(hasColorNear(img, {50 + 5 * 0.7071, 50 + 5 * 0.7071}, red)); // the rim
        QVERIFY(onlyBackgroundNear(img, {51.5, 52.5}, 0));                   // between arm and rim
        // A cross sized as a share of the view: 20% of 200 px is 40 px, 20 units.
        doc->pointMode = 3;
        doc->pointSize = -20;
        img = render(doc);
        QVERIFY(hasColorNear(img, {58, 58}, red));
        QVERIFY(onlyBackgroundNear(img, {50, 58}, 0));
        // Mode 1 shows nothing; mode 0 a dot.
        doc->pointMode = 1;
        QVERIFY(onlyBackgroundNear(render(doc), {50, 50}, 0));
        doc->pointMode = 0;
        QVERIFY(hasColorNear(render(doc), {50, 50}, red));
    }

    void vastCurvesAndFarPointsStayBounded() {
        // A circle so large that its chord step vanishes, and a point far
        // outside any integer pixel: both are cut short, and the rest draws.
        auto doc = makeDoc();
        Arc vast;
        vast.center = {50, 50};
        vast.radiusX = vast.radiusY = 1e300;
        vast.endAngle = 2 * std::numbers::pi;
        doc->blocks[0].addArc(vast);
        doc->blocks[0].addPoint({1e30, 1e30});
        line(doc->blocks[0], {10, 50}, {90, 50}, Color::fromRgb(red));
        QVERIFY(hasColorNear(render(doc), {50, 50}, red));

        // A fuzzed drawing that once made the arc step infinite.
        auto fuzzed = ReaderRegistry::builtin().load(
            QStringLiteral(TEST_DATA_DIR "/dxf/regression_vast_arc.dxf"));
        const RenderScene scene(std::shared_ptr<const Document>(fuzzed.release()));
        QVERIFY(!renderFitted(scene, 0, QSize(200, 200), false).isNull());
    }

    void exactColoursKeepWhiteAndFileOrder() {
        // On paper, a white fill drawn after a black line covers it.
        auto doc = makeDoc(true);
        doc->exactColors = true;
        line(doc->blocks[0], {10, 50}, {90, 50}, Color::fromRgb(0));
        Shape& fill = doc->blocks[0].addPolygon({{40, 40}, {60, 40}, {60, 60}, {40, 60}});
        fill.color = Color::fromRgb(0xFFFFFF);
        const QImage img = render(doc);
        QVERIFY(hasColorNear(img, {20, 50}, 0x000000));
        QVERIFY(onlyBackgroundNear(img, {50, 50}, 0xFFFFFF));

        // Without it, the white fill is lifted off the white page.
        doc->exactColors = false;
        QVERIFY(!onlyBackgroundNear(render(doc), {50, 55}, 0xFFFFFF));
    }
};

QTEST_MAIN(TestRender)
#include "test_render.moc"
