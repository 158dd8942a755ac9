// Paper-space viewports onto the model and IMAGE entities: what the document
// holds and what the renderer puts where.

#include "formats/Reader.h"
#include "formats/dxf/DxfImageFiles.h"
#include "render/Renderer.h"

#include <QDir>
#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>
#include <QPainter>
#include <QProcess>
#include <QTemporaryDir>
#include <QtTest>

#include <cmath>
#include <numbers>

using namespace dv;

namespace {

QString fixture(const char* name) {
    return QStringLiteral(TEST_DATA_DIR "/dxf/") + QLatin1String(name);
}

std::shared_ptr<Document> load(const char* name) {
    return std::shared_ptr<Document>(ReaderRegistry::builtin().load(fixture(name)));
}

int layoutIndex(const Document& d, const char* name) {
    for (size_t i = 0; i < d.layouts.size(); ++i)
        if (d.layouts[i].name == QLatin1String(name))
            return int(i);
    return -1;
}

// A layout rendered at `pxPerUnit` pixels a drawing unit, with colour probes
// by drawing coordinates.
struct Shot {
    QImage image;
    ViewTransform view;
    RenderStats stats;

    QColor at(double x, double y) const {
        const QPointF p = view.mapFromDrawing({x, y});
        return image.pixelColor(int(std::floor(p.x())), int(std::floor(p.y())));
    }
    // Whether any pixel within `r` pixels of (x, y) has colour `c`.
    bool near(double x, double y, QColor c, int r = 1) const {
        const QPointF p = view.mapFromDrawing({x, y});
        for (int dy = -r; dy <= r; ++dy)
            for (int dx = -r; dx <= r; ++dx) {
                const QPoint q(int(std::floor(p.x())) + dx, int(std::floor(p.y())) + dy);
                if (image.rect().contains(q) && image.pixelColor(q) == c)
                    return true;
            }
        return false;
    }
};

Shot render(std::shared_ptr<const Document> doc, int layout, const Box& area, double pxPerUnit) {
    Shot s;
    s.image = QImage(int(std::lround(area.width() * pxPerUnit)),
                     int(std::lround(area.height() * pxPerUnit)), QImage::Format_RGB32);
    s.view.zoomToFit(area, QRectF(s.image.rect()), 0);
    RenderScene scene(std::move(doc));
    QPainter painter(&s.image);
    QPainterBackend backend(painter, QRectF(s.image.rect()));
    s.stats = Renderer(scene).render(backend, s.view, layout);
    return s;
}

const QColor red(255, 0, 0), green(0, 255, 0), blue(0, 0, 255), white(255, 255, 255),
    black(0, 0, 0), magenta(255, 0, 255);

std::vector<const Viewport*> viewportsOf(const Document& d, int layout) {
    std::vector<const Viewport*> out;
    for (const Viewport& v : d.blocks[size_t(d.layouts[size_t(layout)].block)].viewports)
        out.push_back(&v);
    return out;
}

} // namespace

class TestDxfViewports : public QObject {
    Q_OBJECT

private slots:
    void viewportsAreRead() {
        const auto d = load("viewports.dxf");
        const int paper = layoutIndex(*d, "Layout1");
        QVERIFY(paper > 0);
        QCOMPARE(d->activeLayout, paper);
        // The sheet (ID 1) is no window; the other four are, the one that is
        // off without a model to show.
        const auto vps = viewportsOf(*d, paper);
        QCOMPARE(vps.size(), size_t(4));
        QCOMPARE(vps[0]->block, d->layouts[0].block);
        QCOMPARE(vps[3]->block, -1);
        QCOMPARE(vps[1]->twist, std::numbers::pi / 2);
        QCOMPARE(vps[1]->frozenLayers, std::vector<int32_t>{d->layerIndex("B")});
        QVERIFY(vps[0]->frozenLayers.empty());
        // Extents reach the windows' rectangles, not the model they show.
        const Box& e = d->layouts[size_t(paper)].extents;
        QCOMPARE(e.minX, 0.0);
        QCOMPARE(e.minY, 0.0);
        QCOMPARE(e.maxX, 240.0);
        QCOMPARE(e.maxY, 180.0);
        QCOMPARE(d->layouts[0].extents.maxX, 30.0);
        QVERIFY(d->skippedEntities.empty());
    }

    void binaryAndR12FilesGiveTheSameWindows() {
        const auto ascii = load("viewports.dxf");
        const auto binary = load("viewports_binary.dxf");
        const auto a = viewportsOf(*ascii, layoutIndex(*ascii, "Layout1"));
        const auto b = viewportsOf(*binary, layoutIndex(*binary, "Layout1"));
        QCOMPARE(a.size(), b.size());
        for (size_t i = 0; i < a.size(); ++i) {
            QCOMPARE(b[i]->center.x, a[i]->center.x);
            QCOMPARE(b[i]->viewHeight, a[i]->viewHeight);
            QCOMPARE(b[i]->twist, a[i]->twist);
            QCOMPARE(b[i]->frozenLayers, a[i]->frozenLayers);
        }
        // R12 keeps the view in extended data and freezes layers by name.
        const auto r12 = load("viewports_r12.dxf");
        const auto c = viewportsOf(*r12, layoutIndex(*r12, "Layout1"));
        QCOMPARE(c.size(), size_t(1));
        QCOMPARE(c[0]->center.x, a[0]->center.x);
        QCOMPARE(c[0]->width, a[0]->width);
        QCOMPARE(c[0]->viewCenter.x, a[0]->viewCenter.x);
        QCOMPARE(c[0]->viewCenter.y, a[0]->viewCenter.y);
        QCOMPARE(c[0]->viewHeight, a[0]->viewHeight);
        QCOMPARE(c[0]->block, r12->layouts[0].block);
        QCOMPARE(c[0]->frozenLayers, std::vector<int32_t>{r12->layerIndex("B")});
    }

    void windowsShowTheModelInPlace() {
        const auto d = load("viewports.dxf");
        const int paper = layoutIndex(*d, "Layout1");
        const Shot s = render(d, paper, d->layouts[size_t(paper)].extents, 4);
        // Scale 2 about model (15, 5): both squares, on the white paper.
        QCOMPARE(s.at(40, 60), red);
        QCOMPARE(s.at(80, 60), green);
        QCOMPARE(s.at(60, 60), white);
        QCOMPARE(s.at(28, 60), white); // A ends at paper x = 30
        QVERIFY(s.near(10, 60, blue)); // the border, in its layer's colour
        // Turned and with layer B frozen: A alone, B nowhere in this window.
        QCOMPARE(s.at(200, 50), red);
        QCOMPARE(s.at(200, 70), white);
        // Scale 5: A's corner at the window's centre, cut at the window's edge.
        QCOMPARE(s.at(205, 165), red);
        QCOMPARE(s.at(195, 155), white);
        QCOMPARE(s.at(215, 165), white);
        QCOMPARE(s.at(205, 175), white);
        // On a layer that is off: no border, the model all the same.
        for (double y = 151; y < 160; y += 1)
            QVERIFY(!s.near(190, y, blue, 2));
        // Off: an empty window in its border.
        QCOMPARE(s.at(60, 160), white);
        QVERIFY(s.near(40, 160, blue));
    }

    void windowsClipToTheirOutline() {
        const auto d = load("viewports_clipped.dxf");
        const int paper = layoutIndex(*d, "Layout1");
        QVERIFY(paper >= 0);
        const auto windows = viewportsOf(*d, paper);
        QCOMPARE(windows.size(), size_t(3));
        QCOMPARE(windows[0]->clip.size(), size_t(128)); // the circle, tessellated
        QCOMPARE(windows[1]->clip.size(), size_t(3));
        QVERIFY(windows[2]->clip.empty());
        const auto missing =
            d->skippedEntities.find("VIEWPORT clip boundary not found (rectangle used)");
        QVERIFY(missing != d->skippedEntities.end());
        QCOMPARE(missing->second, 1);

        const Shot s = render(d, paper, d->layouts[size_t(paper)].extents, 4);
        // The circle: A inside it, B (inside the rectangle) cut away.
        QCOMPARE(s.at(40, 60), red);
        QCOMPARE(s.at(80, 60), white);
        QVERIFY(s.near(55, 60, blue));  // the circle is drawn as the layout's own line
        QVERIFY(!s.near(10, 60, blue)); // and the rectangle is not
        // The triangle keeps A's lower left corner only.
        QCOMPARE(s.at(186, 56), red);
        QCOMPARE(s.at(194, 64), white);
        QCOMPARE(s.at(210, 60), white);
        // An outline that is not there: the rectangle clips and shows.
        QCOMPARE(s.at(190, 160), red);
        QCOMPARE(s.at(210, 160), green);
        QVERIFY(s.near(160, 160, blue));
    }

    void twistTurnsCounterClockwise() {
        auto d = load("viewports.dxf");
        const int paper = layoutIndex(*d, "Layout1");
        Block& b = d->blocks[size_t(d->layouts[size_t(paper)].block)];
        b.viewports[1].frozenLayers.clear();
        const Shot s = render(d, paper, d->layouts[size_t(paper)].extents, 4);
        // Model +x runs up the paper: B (right of A) shows above it.
        QCOMPARE(s.at(200, 70), green);
        QCOMPARE(s.at(200, 50), red);
        QCOMPARE(s.at(210, 60), white);
    }

    void layersSwitchedOffHideInEveryWindow() {
        auto d = load("viewports.dxf");
        d->layers[size_t(d->layerIndex("A"))].on = false;
        const int paper = layoutIndex(*d, "Layout1");
        const Shot s = render(d, paper, d->layouts[size_t(paper)].extents, 4);
        QCOMPARE(s.at(40, 60), white);
        QCOMPARE(s.at(80, 60), green);
        QCOMPARE(s.at(200, 50), white);
    }

    void aViewportNeverShowsPaperSpace() {
        auto d = load("viewports.dxf");
        const int paper = layoutIndex(*d, "Layout1");
        const int paperBlock = d->layouts[size_t(paper)].block;
        for (Viewport& v : d->blocks[size_t(paperBlock)].viewports)
            v.block = paperBlock;
        const Shot s = render(d, paper, d->layouts[size_t(paper)].extents, 4);
        QCOMPARE(s.at(40, 60), white);
        QVERIFY(s.near(10, 60, blue));
    }

    void windowsCullByTheModelIndex() {
        // 100 x 100 squares in the model; a window onto four of them.
        auto d = std::make_shared<Document>();
        d->layers.push_back({QStringLiteral("0"), Color::fromRgb(0xFF0000)});
        d->blocks.resize(2);
        for (int i = 0; i < 100; ++i)
            for (int j = 0; j < 100; ++j)
                d->blocks[0].addPolygon({{i * 10.0, j * 10.0},
                                         {i * 10.0 + 5, j * 10.0},
                                         {i * 10.0 + 5, j * 10.0 + 5},
                                         {i * 10.0, j * 10.0 + 5}});
        Viewport vp;
        vp.center = {50, 50};
        vp.width = vp.height = 100;
        vp.viewCenter = {505, 505};
        vp.viewHeight = 20;
        vp.block = 0;
        d->blocks[1].addViewport(vp);
        d->layouts = {{QStringLiteral("Model"), 0, 0, false, {}},
                      {QStringLiteral("Sheet"), 1, 1, true, {}}};
        d->finish();
        const Shot s = render(d, 1, d->layouts[1].extents, 4);
        QVERIFY2(s.stats.shapes <= 16, qPrintable(QString::number(s.stats.shapes)));
        // Model (500..505, 500..505) fills paper (25..50, 25..50) at scale 5.
        QCOMPARE(s.at(40, 40), red);
        QCOMPARE(s.at(60, 40), white); // the gap before the next square
        QCOMPARE(s.at(80, 40), red);
    }

    void imagesArePlacedByTheirPixels() {
        const auto d = load("images.dxf");
        const Block& model = d->blocks[size_t(d->layouts[0].block)];
        // One decoded picture for every IMAGE that shows the file, whatever
        // spelling of its path found it.
        QCOMPARE(model.images.size(), size_t(4));
        QVERIFY(model.images[0].image);
        QCOMPARE(model.images[0].image.get(), model.images[1].image.get());
        QCOMPARE(model.images[0].image->size(), QSize(4, 2));
        QVERIFY(!model.images[3].image);
        QCOMPARE(d->skippedEntities.at("IMAGE file missing"), 1);
        QCOMPARE(model.entityCounts.at("IMAGE"), 5);

        Box area;
        area.add(-10, -10);
        area.add(450, 130);
        const Shot s = render(d, 0, area, 2);
        QCOMPARE(s.at(5, 15), red); // the top-left pixel
        QCOMPARE(s.at(25, 15), blue);
        QCOMPARE(s.at(35, 5), magenta);
        QCOMPARE(s.at(15, 5), black);
        // Turned a quarter to the left.
        QCOMPARE(s.at(85, 5), red);
        QCOMPARE(s.at(95, 35), magenta);
        QCOMPARE(s.at(85, 25), blue);
        // Clipped to the top-left triangle.
        QCOMPARE(s.at(205, 15), red);
        QCOMPARE(s.at(235, 5), black);
        QCOMPARE(s.at(235, 2), black);
        // Through a block.
        QCOMPARE(s.at(5, 115), red);
        QCOMPARE(s.at(35, 105), magenta);
        // A hidden image leaves its frame.
        QCOMPARE(s.at(415, 15), black);
        QVERIFY(s.near(400, 10, white));
    }

    void aMissingImageLeavesAFrameAndItsName() {
        const auto d = load("images.dxf");
        const Block& model = d->blocks[size_t(d->layouts[0].block)];
        QStringList texts;
        for (const Text& t : model.texts)
            texts << t.text;
        QCOMPARE(texts, QStringList{"missing.png"});
        QVERIFY(model.texts[0].position.x > 300 && model.texts[0].position.x < 340);
        Box area;
        area.add(-10, -10);
        area.add(450, 130);
        const Shot s = render(d, 0, area, 2);
        QVERIFY(s.near(300, 10, white));
        QVERIFY(s.near(340, 10, white));
    }

    void imageFilesAreFoundBesideTheDrawing() {
        QTemporaryDir dir;
        QVERIFY(dir.isValid());
        QDir(dir.path()).mkdir("sub");
        QFile png(dir.filePath("sub/Plan.PNG"));
        QVERIFY(png.open(QIODevice::WriteOnly));
        png.write("x");
        png.close();
        QDir(dir.path()).mkdir("folder.png");
        const dxf::ImageFiles files(dir.filePath("sub/drawing.dxf"));
        const QString expected = dir.filePath("sub/Plan.PNG");
        QCOMPARE(files.resolve("Plan.PNG"), expected);
        QCOMPARE(QFileInfo(files.resolve("plan.png")).fileName(), QString("Plan.PNG"));
        QCOMPARE(QFileInfo(files.resolve("E:\\Jobs\\12\\PLAN.png")).fileName(),
                 QString("Plan.PNG"));
        QCOMPARE(files.resolve(expected), expected);
        QCOMPARE(files.resolve("../sub/Plan.PNG"), expected);
        // Nothing that is not a plain file, and no guessing beyond the name.
        QVERIFY(files.resolve("/dev/zero").isEmpty());
        QVERIFY(files.resolve("../folder.png").isEmpty());
        QVERIFY(files.resolve("other.png").isEmpty());
        QVERIFY(files.resolve("..").isEmpty());
        QVERIFY(files.resolve("").isEmpty());
        // An unreadable file is a missing picture, not a failed load.
        dxf::ImageFiles loader(dir.filePath("sub/drawing.dxf"));
        QVERIFY(!loader.load("Plan.PNG"));
    }

    void wipeoutsMaskWithTheBackground() {
        Box area;
        area.add(-1, -1);
        area.add(11, 11);
        const auto d = load("wipeouts.dxf");
        const Shot m = render(d, 0, area, 10);
        QCOMPARE(m.at(2, 5), red);
        QCOMPARE(m.at(6, 8), black); // under the triangle
        QCOMPARE(m.at(9, 2), red);   // beside it
        QVERIFY(m.near(7.5, 10, blue));
        // Through a window the mask is the paper's white.
        const int paper = layoutIndex(*d, "Layout1");
        const Shot p = render(d, paper, d->layouts[size_t(paper)].extents, 8);
        QCOMPARE(p.at(52, 56), white);
        QCOMPARE(p.at(58, 44), red);
        QCOMPARE(p.at(44, 50), red);
        // The drawing's wipeout settings can hide the frame.
        const auto n = load("wipeouts_noframe.dxf");
        const Shot q = render(n, 0, area, 10);
        QCOMPARE(q.at(6, 8), black);
        QVERIFY(!q.near(7.5, 10, blue, 2));
    }

    // Masks hide lines drawn before them, though lines are drawn in batches.
    void masksHideTheLinesBeneath() {
        const auto d = load("masks.dxf");
        Box area;
        area.add(-1, -1);
        area.add(51, 13);
        const Shot s = render(d, 0, area, 10);
        const QColor green(0, 255, 0);
        // A text box in red, 0.5 larger than the text's 10 x 1 all round.
        QCOMPARE(s.at(14, 0.5), red);
        QCOMPARE(s.at(15.3, 1.8), red);
        QCOMPARE(s.at(20, 0.5), green);
        // A text box in the view's colour.
        QCOMPARE(s.at(14, 10.5), black);
        QCOMPARE(s.at(20, 10.5), green);
        // A wipeout.
        QCOMPARE(s.at(35, 5), black);
        QCOMPARE(s.at(27, 5), green);
        QCOMPARE(s.at(42, 5), green);
    }

    void infoCountsViewportsAndImages() {
        QProcess p;
        p.start(VISTREL_TOOL, {"info", fixture("viewports.dxf")});
        QVERIFY(p.waitForFinished(60000));
        QCOMPARE(p.exitCode(), 0);
        const QJsonObject o = QJsonDocument::fromJson(p.readAllStandardOutput()).object();
        QCOMPARE(o["entities"].toObject()["Layout1"].toObject()["VIEWPORT"].toInt(), 5);
        QVERIFY(o["skipped"].toObject().isEmpty());
    }
};

QTEST_MAIN(TestDxfViewports)
#include "test_dxf_viewports.moc"
