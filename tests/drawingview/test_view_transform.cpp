#include "render/ViewHistory.h"
#include "render/ViewTransform.h"

#include <QTest>

using namespace dv;

class TestViewTransform : public QObject {
    Q_OBJECT

    static Box box(double x0, double y0, double x1, double y1) {
        Box b;
        b.add(x0, y0);
        b.add(x1, y1);
        return b;
    }

private slots:
    void mapsAreInverse() {
        ViewTransform v;
        v.zoomToFit(box(-1234.5, 77, 9876.25, 4321), QRectF(10, 30, 800, 600), 0.05);
        v.zoomAbout(v.zoom() * 3.7, QPointF(123, 456));
        for (QPointF px : {QPointF(0, 0), QPointF(799.5, 12.25), QPointF(-40, 1000)}) {
            const Vec2 d = v.mapToDrawing(px);
            const QPointF back = v.mapFromDrawing(d);
            QVERIFY(std::abs(back.x() - px.x()) < 1e-9);
            QVERIFY(std::abs(back.y() - px.y()) < 1e-9);
            const QPointF viaQt = v.toQTransform().map(QPointF(d.x, d.y));
            QVERIFY(std::abs(viaQt.x() - px.x()) < 1e-9);
            QVERIFY(std::abs(viaQt.y() - px.y()) < 1e-9);
        }
    }

    void yGrowsUpward() {
        ViewTransform v;
        v.zoomToFit(box(0, 0, 100, 100), QRectF(0, 0, 200, 200), 0);
        QVERIFY(v.mapFromDrawing({0, 100}).y() < v.mapFromDrawing({0, 0}).y());
        QCOMPARE(v.mapFromDrawing({0, 100}), QPointF(0, 0));
        QCOMPARE(v.mapFromDrawing({100, 0}), QPointF(200, 200));
    }

    void zoomAboutKeepsThePointFixed() {
        ViewTransform v;
        v.zoomToFit(box(0, 0, 50, 20), QRectF(0, 0, 640, 480), 0.05);
        const QPointF pixel(100, 333);
        const Vec2 before = v.mapToDrawing(pixel);
        for (double zoom : {v.zoom() * 2, v.zoom() * 0.01, 1.0, 1e6}) {
            v.zoomAbout(zoom, pixel);
            QCOMPARE(v.zoom(), zoom);
            const Vec2 after = v.mapToDrawing(pixel);
            QVERIFY(std::abs(after.x - before.x) < 1e-9 * std::max(1.0, std::abs(before.x)));
            QVERIFY(std::abs(after.y - before.y) < 1e-9 * std::max(1.0, std::abs(before.y)));
        }
    }

    void absoluteOneToOneIsOneUnitPerPixel() {
        ViewTransform v;
        v.zoomToFit(box(0, 0, 1000, 1000), QRectF(0, 0, 100, 100), 0);
        v.zoomAbout(1.0, QPointF(50, 50));
        const QPointF a = v.mapFromDrawing({10, 10}), b = v.mapFromDrawing({17, 10});
        QCOMPARE(b.x() - a.x(), 7.0);
    }

    void fitCentresWithAndWithoutBorder() {
        const Box e = box(100, 200, 300, 300); // 2:1
        const QRectF vp(0, 0, 400, 400);
        ViewTransform v;
        v.zoomToFit(e, vp, 0);
        QCOMPARE(v.zoom(), 2.0);
        QCOMPARE(v.mapFromDrawing({200, 250}), QPointF(200, 200));
        QCOMPARE(v.mapFromDrawing({100, 250}).x(), 0.0);
        v.zoomToFit(e, vp, 0.05);
        QCOMPARE(v.zoom(), 400 * 0.9 / 200);
        QCOMPARE(v.mapFromDrawing({200, 250}), QPointF(200, 200));
        QCOMPARE(v.mapFromDrawing({100, 250}).x(), 20.0);
    }

    void fitOfDegenerateExtents() {
        ViewTransform v;
        v.zoomToFit(box(5, 5, 5, 5), QRectF(0, 0, 100, 100), 0); // a single point
        QVERIFY(std::isfinite(v.zoom()) && v.zoom() > 0);
        QCOMPARE(v.mapFromDrawing({5, 5}), QPointF(50, 50));
        v.zoomToFit(box(0, 3, 10, 3), QRectF(0, 0, 100, 100), 0); // a horizontal line
        QCOMPARE(v.zoom(), 10.0);
        v.zoomToFit(Box{}, QRectF(0, 0, 100, 100), 0); // nothing at all
        QVERIFY(std::isfinite(v.zoom()) && v.zoom() > 0);
    }

    void nonsenseZoomIsRefused() {
        ViewTransform v;
        v.setZoom(4, {1, 2});
        v.setZoom(std::numeric_limits<double>::quiet_NaN(), {1, 2});
        QVERIFY(std::isfinite(v.zoom()) && v.zoom() > 0);
        v.setZoom(1e300, {1, 2});
        QVERIFY(v.zoom() <= ViewTransform::maxScale);
    }

    void historyIsALastInFirstOutStack() {
        ViewHistory h(3);
        QVERIFY(!h.pop());
        ViewTransform a, b, c, d;
        a.setZoom(1, {});
        b.setZoom(2, {});
        c.setZoom(3, {});
        d.setZoom(4, {});
        h.push(a);
        h.push(b);
        h.push(b); // the same view twice is one step back
        QCOMPARE(h.size(), size_t(2));
        h.push(c);
        h.push(d); // the oldest falls off
        QCOMPARE(h.pop()->zoom(), 4.0);
        QCOMPARE(h.pop()->zoom(), 3.0);
        QCOMPARE(h.pop()->zoom(), 2.0);
        QVERIFY(!h.pop());
    }
};

QTEST_APPLESS_MAIN(TestViewTransform)
#include "test_view_transform.moc"
