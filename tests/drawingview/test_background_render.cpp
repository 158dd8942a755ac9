// Views drawn in bands and on the worker thread: the same pictures as one
// plain pass, cancelled by newer views, and never shown out of order.

#include "DrawingView.h"
#include "ViewRenderThread.h"
#include "formats/Reader.h"
#include "render/RenderScene.h"
#include "render/Renderer.h"

#include <QApplication>
#include <QDir>
#include <QPainter>
#include <QSignalSpy>
#include <QTest>
#include <QWheelEvent>

#include <random>
#include <thread>

using namespace dv;

namespace {

std::shared_ptr<Document> load(const QString& name) {
    return ReaderRegistry::builtin().load(QStringLiteral(TEST_DATA_DIR "/dxf/") + name, {});
}

// Many small lines and circles in a few colours, with one long line and a
// text across the middle where the bands meet.
std::shared_ptr<Document> crowded(int count, bool withText = true) {
    auto doc = std::make_shared<Document>();
    doc->format = "TEST";
    for (int i = 0; i < 6; ++i) {
        const int l = doc->layerIndex(QString("L%1").arg(i));
        doc->layers[l].color = Color::fromAci(1 + i);
    }
    Block model;
    model.name = "*Model_Space";
    std::mt19937 rng(7);
    std::uniform_real_distribution<double> x(0, 1000), y(0, 600), size(0.5, 30);
    for (int i = 0; i < count; ++i) {
        const Vec2 p{x(rng), y(rng)};
        const double s = size(rng);
        Shape* shape;
        if (i % 3) {
            shape = &model.addPolyline({p, {p.x + s, p.y + s / 2}}, false);
        } else {
            Arc a;
            a.center = p;
            a.radiusX = a.radiusY = s / 3;
            a.endAngle = 2 * 3.14159265358979;
            shape = &model.addArc(a);
        }
        shape->layer = i % 6;
    }
    model.addPolyline({{0, 299.7}, {1000, 300.4}}, false).layer = 0;
    Text t;
    t.text = "ACROSS THE BANDS";
    t.position = {100, 290};
    t.height = 25;
    if (withText)
        model.addText(t).layer = 1;
    doc->blocks.push_back(model);
    Layout l;
    l.name = "Model";
    l.block = 0;
    doc->layouts.push_back(l);
    doc->finish();
    return doc;
}

ViewTransform fitted(const Document& doc, QSize size, double zoom = 1) {
    ViewTransform view;
    view.zoomToFit(Renderer::contentExtents(doc, 0), QRectF(QPointF(0, 0), QSizeF(size)),
                   Renderer::borderMargin);
    view.setZoom(view.zoom() * zoom, view.center());
    return view;
}

QImage plain(const RenderScene& scene, const ViewTransform& view, QSize size) {
    QImage image(size, QImage::Format_RGB32);
    QPainter painter(&image);
    QPainterBackend backend(painter, QRectF(image.rect()));
    RenderOptions options;
    options.frame = true;
    Renderer(scene).render(backend, view, 0, options);
    return image;
}

QImage banded(const RenderScene& scene, const ViewTransform& view, QSize size, int bands,
              bool levelOfDetail = false) {
    QImage image(size, QImage::Format_RGB32);
    RenderOptions options;
    options.frame = true;
    options.levelOfDetail = levelOfDetail;
    renderInBands(scene, image, view, 0, options, bands);
    return image;
}

int differingPixels(const QImage& a, const QImage& b) {
    if (a.size() != b.size())
        return a.width() * a.height();
    int n = 0;
    for (int y = 0; y < a.height(); ++y)
        for (int x = 0; x < a.width(); ++x)
            n += a.pixel(x, y) != b.pixel(x, y);
    return n;
}

} // namespace

class TestBackgroundRender : public QObject {
    Q_OBJECT

private slots:
    void bandsDrawTheSamePictureAsOnePass_data() {
        QTest::addColumn<QString>("file");
        QTest::addColumn<int>("bands");
        QTest::addColumn<double>("zoom");
        for (const char* f : {"entities.dxf", "hatch.dxf", "linetypes.dxf", "lineweights.dxf",
                              "mtext.dxf", "text_fidelity.dxf", "viewports.dxf", "gradients.dxf"})
            for (int bands : {2, 3, 7})
                QTest::addRow("%s/%d", f, bands) << QString(f) << bands << 1.0;
        QTest::addRow("entities zoomed/2") << QString("entities.dxf") << 2 << 4.0;
    }
    void bandsDrawTheSamePictureAsOnePass() {
        QFETCH(QString, file);
        QFETCH(int, bands);
        QFETCH(double, zoom);
        if (!QFile::exists(QStringLiteral(TEST_DATA_DIR "/dxf/") + file))
            QSKIP("fixture missing");
        const auto doc = load(file);
        RenderScene scene(doc);
        scene.buildAll();
        const QSize size(640, 411); // rows that do not split evenly
        const ViewTransform view = fitted(*doc, size, zoom);
        const QImage one = plain(scene, view, size);
        const QImage split = banded(scene, view, size, bands);
        // Only batches of different colours that overlap may stack otherwise.
        QVERIFY2(differingPixels(one, split) <= size.width() * size.height() / 1000,
                 qPrintable(QString::number(differingPixels(one, split))));
    }

    void anyNumberOfBandsDrawsTheSamePicture() {
        // Dense and many-coloured, so overlapping batches are everywhere.
        const auto doc = crowded(20'000);
        RenderScene scene(doc);
        scene.buildAll();
        const QSize size(800, 500);
        for (double zoom : {1.0, 2.0, 9.0}) {
            const ViewTransform view = fitted(*doc, size, zoom);
            const QImage one = banded(scene, view, size, 1);
            for (int bands : {2, 3, 5}) {
                const QImage split = banded(scene, view, size, bands);
                QCOMPARE(differingPixels(one, split), 0);
            }
        }
    }

    void levelOfDetailAgreesWithThePlainPicture_data() {
        QTest::addColumn<QString>("file");
        QTest::addColumn<double>("zoom");
        for (const char* f : {"entities.dxf", "hatch.dxf", "linetypes.dxf", "lineweights.dxf",
                              "mtext.dxf", "viewports.dxf", "gradients.dxf"})
            for (double zoom : {0.25, 1.0})
                QTest::addRow("%s/%g", f, zoom) << QString(f) << zoom;
    }
    void levelOfDetailAgreesWithThePlainPicture() {
        QFETCH(QString, file);
        QFETCH(double, zoom);
        const auto doc = load(file);
        RenderScene scene(doc);
        scene.buildAll();
        const QSize size(640, 400);
        const ViewTransform view = fitted(*doc, size, zoom);
        const QImage one = plain(scene, view, size);
        const QImage lod = banded(scene, view, size, 2, true);
        // A pixel of the detailed picture is matched when the plain one has
        // its colour there or next to it: shapes a few pixels across may
        // shift by one.
        int unmatched = 0;
        for (int y = 0; y < size.height(); ++y)
            for (int x = 0; x < size.width(); ++x) {
                const QRgb c = lod.pixel(x, y);
                bool found = false;
                for (int dy = -1; dy <= 1 && !found; ++dy)
                    for (int dx = -1; dx <= 1 && !found; ++dx)
                        found = one.valid(x + dx, y + dy) && one.pixel(x + dx, y + dy) == c;
                unmatched += !found;
            }
        QVERIFY2(unmatched <= size.width() * size.height() / 500,
                 qPrintable(QString::number(unmatched)));
    }

    void switchingALayerOffRemovesExactlyItsPixels() {
        // No text: its smoothed edges blend with what lies under them.
        auto doc = crowded(200'000, false);
        const QSize size(800, 500);
        const ViewTransform view = fitted(*doc, size);
        const QRgb cyan = qRgb(0, 255, 255); // layer L3 alone has colour 4
        QImage before, after;
        {
            RenderScene scene(doc);
            scene.buildAll();
            before = banded(scene, view, size, 2, true);
        }
        doc->layers[size_t(doc->layerIndex("L3"))].on = false;
        {
            RenderScene scene(doc);
            scene.buildAll();
            after = banded(scene, view, size, 2, true);
        }
        int changed = 0, wrong = 0, left = 0;
        for (int y = 0; y < size.height(); ++y)
            for (int x = 0; x < size.width(); ++x) {
                const bool differs = before.pixel(x, y) != after.pixel(x, y);
                changed += differs;
                wrong += differs && before.pixel(x, y) != cyan;
                left += after.pixel(x, y) == cyan;
            }
        QVERIFY(changed > 1000);
        QCOMPARE(wrong, 0);
        QCOMPARE(left, 0);
    }

    void plotsKeepTheirOrderOnScreen() {
        // A plot's later fill covers its earlier strokes, however small.
        auto doc = std::make_shared<Document>();
        doc->format = "TEST";
        doc->exactColors = true;
        doc->layerIndex("0");
        Block model;
        model.name = "*Model_Space";
        // A stroke long enough to be batched, under a fill a pixel or two across.
        model.addPolyline({{-20, 11.5}, {20, 11.5}}, false).color = Color::fromRgb(0xFF0000);
        model.addPolygon({{0, 10}, {3, 10}, {3, 13}, {0, 13}}).color = Color::fromRgb(0xFFFFFF);
        model.addPolyline({{0, 0}, {300, 300}}, false).color = Color::fromRgb(0x0000FF);
        doc->blocks.push_back(model);
        Layout l;
        l.name = "Model";
        l.block = 0;
        doc->layouts.push_back(l);
        doc->finish();
        RenderScene scene(doc);
        scene.buildAll();
        const QSize size(200, 200);
        const ViewTransform view = fitted(*doc, size);
        const QImage lod = banded(scene, view, size, 2, true);
        // The pixels whose centres the fill covers show the fill alone.
        const QRectF fill(view.mapFromDrawing({0, 13}), view.mapFromDrawing({3, 10}));
        int white = 0, red = 0;
        for (int y = 0; y < size.height(); ++y)
            for (int x = 0; x < size.width(); ++x)
                if (fill.contains(x + 0.5, y + 0.5)) {
                    white += lod.pixel(x, y) == qRgb(255, 255, 255);
                    red += lod.pixel(x, y) == qRgb(255, 0, 0);
                }
        QVERIFY(white > 0);
        QCOMPARE(red, 0);
    }

    void aCancelledPassStopsAndSaysSo() {
        const auto doc = crowded(200'000);
        RenderScene scene(doc);
        scene.buildAll();
        std::atomic<bool> cancel{true};
        QImage image(400, 300, QImage::Format_RGB32);
        QPainter painter(&image);
        QPainterBackend backend(painter, QRectF(image.rect()));
        RenderOptions options;
        options.cancel = &cancel;
        const RenderStats stats =
            Renderer(scene).render(backend, fitted(*doc, image.size()), 0, options);
        QVERIFY(stats.cancelled);
        QVERIFY(stats.shapes + stats.dots < 200'000 / 10);
        cancel = false;
        const RenderStats whole =
            Renderer(scene).render(backend, fitted(*doc, image.size()), 0, options);
        QVERIFY(!whole.cancelled);
        QVERIFY(whole.shapes + whole.dots > 200'000 / 10);
    }

    void aNewerJobCancelsTheOlderAndOnlyItsPictureArrives() {
        const auto doc = crowded(300'000);
        auto scene = std::make_shared<RenderScene>(doc);
        scene->buildAll();
        ViewRenderThread thread;
        QSignalSpy spy(&thread, &ViewRenderThread::finished);
        const QSize size(800, 500);
        std::vector<quint64> numbers;
        for (int i = 0; i < 6; ++i) {
            ViewRenderThread::Job job;
            job.scene = scene;
            job.size = size;
            job.view = fitted(*doc, size, 1 + i * 0.25);
            numbers.push_back(thread.request(job));
        }
        QTRY_VERIFY_WITH_TIMEOUT(spy.count() >= 1, 20000);
        QTest::qWait(200); // nothing older may follow
        QCOMPARE(spy.count(), 1);
        QCOMPARE(spy.at(0).at(0).value<quint64>(), numbers.back());
        const QImage got = spy.at(0).at(1).value<QImage>();
        const ViewTransform lastView = fitted(*doc, size, 1 + 5 * 0.25);
        QCOMPARE(differingPixels(got, banded(*scene, lastView, size, 1)), 0);
    }

    // A view of the whole drawing reads the bounds alone: the first picture
    // does not wait for the tree, which the thread packs once it is shown.
    // Closer views then find exactly what a scan finds, from any thread.
    void theFirstPictureDoesNotWaitForTheTree() {
        const auto doc = crowded(60'000);
        auto scene = std::make_shared<RenderScene>(doc);
        scene->buildAll();
        const QSize size(800, 500);
        const QImage first = banded(*scene, fitted(*doc, size), size, 2, true);
        QVERIFY(!scene->index(0).treePacked());
        ViewRenderThread thread;
        QSignalSpy spy(&thread, &ViewRenderThread::finished);
        ViewRenderThread::Job job;
        job.scene = scene;
        job.size = size;
        job.view = fitted(*doc, size);
        job.options.frame = true;
        job.options.levelOfDetail = true;
        thread.request(job);
        QTRY_VERIFY_WITH_TIMEOUT(spy.count() == 1, 20000);
        QCOMPARE(differingPixels(spy.at(0).at(1).value<QImage>(), first), 0);
        QTRY_VERIFY_WITH_TIMEOUT(scene->index(0).treePacked(), 20000);

        RenderScene fresh(doc);
        const SpatialIndex& index = fresh.index(0);
        QVERIFY(!index.treePacked());
        Box area;
        area.add(200, 100);
        area.add(260, 140);
        std::vector<uint32_t> expected;
        for (uint32_t i = 0; i < doc->blocks[0].shapes.size(); ++i)
            if (index.bounds(i).intersects(area))
                expected.push_back(i);
        std::vector<std::vector<uint32_t>> found(4);
        std::vector<std::thread> askers;
        for (auto& out : found)
            askers.emplace_back([&index, &area, &out] {
                index.query(area, out);
                std::sort(out.begin(), out.end());
            });
        for (auto& t : askers)
            t.join();
        QVERIFY(expected.size() > 10);
        for (const auto& out : found)
            QCOMPARE(out, expected);
    }

    void cancellingAllDropsThePictureOnItsWay() {
        const auto doc = crowded(50'000);
        auto scene = std::make_shared<RenderScene>(doc);
        scene->buildAll();
        ViewRenderThread thread;
        QSignalSpy spy(&thread, &ViewRenderThread::finished);
        ViewRenderThread::Job job;
        job.scene = scene;
        job.size = QSize(300, 200);
        job.view = fitted(*doc, job.size);
        thread.request(job);
        thread.cancelAll();
        QTest::qWait(500);
        QCOMPARE(spy.count(), 0);
    }

    void theControlShowsTheOldPictureUntilTheNewOneIsDrawn() {
        DrawingView v;
        v.setToolBarVisible(false);
        v.setLayoutsBarVisible(false);
        v.setMouseNavigation(true);
        v.resize(500, 320);
        v.setBackgroundRendering(DrawingView::BackgroundRendering::Always);
        v.show();
        QVERIFY(QTest::qWaitForWindowExposed(&v));
        auto doc = crowded(150'000);
        v.setDocument(std::make_unique<Document>(*doc));
        v.repaint();
        QTRY_VERIFY_WITH_TIMEOUT(v.isPictureCurrent(), 20000);
        const int drawn = v.renderCount();
        const QImage before = v.grab().toImage();

        // Ten wheel notches at once: each paints at once from the last
        // picture, and only the last view is drawn in full.
        for (int i = 0; i < 10; ++i) {
            QWheelEvent wheel(QPointF(250, 160), v.mapToGlobal(QPointF(250, 160)), QPoint(),
                              QPoint(0, 120), Qt::NoButton, Qt::NoModifier, Qt::NoScrollPhase,
                              false);
            QApplication::sendEvent(&v, &wheel);
            v.repaint();
            QVERIFY(!v.isPictureCurrent());
        }
        const QImage scaled = v.grab().toImage();
        QVERIFY(differingPixels(scaled, before) > 0); // the old picture, magnified
        QTRY_VERIFY_WITH_TIMEOUT(v.isPictureCurrent(), 20000);
        QVERIFY(v.renderCount() <= drawn + 3); // superseded views were given up
        const QImage exact = v.grab().toImage();
        RenderScene scene(doc);
        ViewTransform view = v.viewTransform();
        view.resizeViewport(QRectF(QPointF(0, 0), QSizeF(exact.size())));
        // As the screen draws: level of detail, in any number of bands.
        QCOMPARE(differingPixels(exact, banded(scene, view, exact.size(), 1, true)), 0);
    }

    void smallDrawingsStillDrawInThePaint() {
        DrawingView v;
        v.setToolBarVisible(false);
        v.setLayoutsBarVisible(false);
        v.resize(300, 200);
        v.show();
        QVERIFY(QTest::qWaitForWindowExposed(&v));
        v.setDocument(std::make_unique<Document>(*crowded(500)));
        v.grab();
        QVERIFY(v.isPictureCurrent()); // no waiting: the first paint drew it
    }
};

QTEST_MAIN(TestBackgroundRender)
#include "test_background_render.moc"
