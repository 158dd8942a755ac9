// Text in DXF files as it is drawn: aligned and fit text between their
// points, and the lines of underlined, overlined and struck-through text.

#include "formats/Reader.h"
#include "model/TextMetrics.h"
#include "render/Renderer.h"

#include <QPainter>
#include <QtTest>

#include <cmath>

using namespace dv;

namespace {

constexpr double kZoom = 10; // pixels per drawing unit

struct View {
    QImage image;
    Vec2 center;
    QPoint pixel(double x, double y) const {
        return {int(std::lround(image.width() / 2.0 + (x - center.x) * kZoom)),
                int(std::lround(image.height() / 2.0 - (y - center.y) * kZoom))};
    }
    Vec2 point(int px, int py) const {
        return {center.x + (px + 0.5 - image.width() / 2.0) / kZoom,
                center.y - (py + 0.5 - image.height() / 2.0) / kZoom};
    }
    bool red(int px, int py) const {
        if (!image.rect().contains(px, py))
            return false;
        const QRgb c = image.pixel(px, py);
        return qRed(c) > 120 && qGreen(c) < 90 && qBlue(c) < 90;
    }
    // The share of the pixels along y, from x0 to x1, that are red.
    double redAlong(double y, double x0, double x1) const {
        const QPoint a = pixel(x0, y), b = pixel(x1, y);
        int lit = 0;
        for (int px = a.x(); px <= b.x(); ++px)
            lit += red(px, a.y()) || red(px, a.y() - 1) || red(px, a.y() + 1);
        return double(lit) / double(b.x() - a.x() + 1);
    }
};

View render(const std::shared_ptr<Document>& doc, Vec2 center, QSize size) {
    RenderScene scene(doc);
    View v{QImage(size, QImage::Format_RGB32), center};
    v.image.fill(Qt::black);
    ViewTransform view;
    view.setViewport(QRectF(QPointF(0, 0), QSizeF(size)));
    view.setZoom(kZoom, center);
    QPainter painter(&v.image);
    QPainterBackend backend(painter, QRectF(v.image.rect()));
    Renderer(scene).render(backend, view, 0);
    return v;
}

// The red pixels' extent along `dir` from `origin`, for those lying between
// `below` and `above` across it.
std::pair<double, double> inkAlong(const View& v, Vec2 origin, Vec2 dir, double below,
                                   double above) {
    double lo = INFINITY, hi = -INFINITY;
    for (int py = 0; py < v.image.height(); ++py)
        for (int px = 0; px < v.image.width(); ++px) {
            if (!v.red(px, py))
                continue;
            const Vec2 p = v.point(px, py);
            const double dx = p.x - origin.x, dy = p.y - origin.y;
            const double along = dx * dir.x + dy * dir.y, across = -dx * dir.y + dy * dir.x;
            if (across < below || across > above)
                continue;
            lo = std::min(lo, along);
            hi = std::max(hi, along);
        }
    return {lo, hi};
}

} // namespace

class TestDxfTextRender : public QObject {
    Q_OBJECT

    std::shared_ptr<Document> m_doc;

private slots:
    void initTestCase() {
        m_doc =
            ReaderRegistry::builtin().load(QStringLiteral(TEST_DATA_DIR "/dxf/text_fidelity.dxf"));
        QVERIFY(m_doc);
    }

    void alignedAndFitSpanTheirPoints() {
        // Four pixels: a slanted stroke measured a little above the baseline.
        auto spans = [](std::pair<double, double> ink, double length) {
            return std::abs(ink.first) < 0.4 && std::abs(ink.second - length) < 0.4;
        };
        const View level = render(m_doc, {20, 12}, {520, 380});
        QVERIFY(spans(inkAlong(level, {0, 0}, {1, 0}, 0.2, 6), 40));
        // Fit keeps its height of 5 and only widens.
        QVERIFY(spans(inkAlong(level, {0, 20}, {1, 0}, 0.2, 4.8), 40));
        const auto fitTop = inkAlong(level, {0, 20}, {1, 0}, 4.6, 5.5);
        QVERIFY(fitTop.first < fitTop.second);
        QVERIFY(std::isinf(inkAlong(level, {0, 20}, {1, 0}, 5.4, 8).first));
        // Turned by its two points, 30 apart.
        const View turned = render(m_doc, {72, 9}, {400, 300});
        QVERIFY(spans(inkAlong(turned, {60, 0}, {0.8, 0.6}, 0.2, 8), 30));
    }

    void decorationsAreDrawnUnderOverAndThrough() {
        const View v = render(m_doc, {15, 95}, {400, 1000});
        const double h = 5;
        auto width = [&](const char* s) { return textAdvance(QString::fromLatin1(s), {}, h); };
        // MTEXT of height 5, top left: baselines one height below the insertion.
        QVERIFY(v.redAlong(55 - 0.2 * h, 0.3, width("UNDER") - 0.3) > 0.97);
        QVERIFY(v.redAlong(75 + 1.2 * h, 0.3, width("OVER") - 0.3) > 0.97);
        QVERIFY(v.redAlong(95 + 0.45 * h, 0.3, width("HIT") - 0.3) > 0.97);
        // Neither beyond the run nor where no line was asked for.
        QVERIFY(v.redAlong(55 - 0.2 * h, width("UNDER") + 0.5, width("UNDER") + 3) == 0);
        QVERIFY(v.redAlong(75 - 0.2 * h, 0.3, width("OVER") - 0.3) == 0);
        // TEXT: %%u lines "HI" only, %%o tops "TOP" only.
        QVERIFY(v.redAlong(120 - 0.2 * h, 0.3, width("HI") - 0.3) > 0.97);
        QVERIFY(v.redAlong(120 - 0.2 * h, width("HI ") + 0.3, width("HI LO") - 0.3) == 0);
        QVERIFY(v.redAlong(120 + 1.2 * h, width("HI LO ") + 0.3, width("HI LO TOP") - 0.3) > 0.97);
        QVERIFY(v.redAlong(120 + 1.2 * h, 0.3, width("HI LO") - 0.3) == 0);
    }

    void extentsHoldTheLines() {
        const std::shared_ptr<Document> doc =
            ReaderRegistry::builtin().load(QStringLiteral(TEST_DATA_DIR "/dxf/text_overline.dxf"));
        // Height 10: the overline 12 up and as thick as 0.6.
        QVERIFY(doc->layouts[0].extents.maxY >= 12.6 - 1e-9);
        const View v = render(doc, {8, 6}, {300, 200});
        QVERIFY(v.redAlong(12, 0.3, textAdvance(QStringLiteral("AB"), {}, 10) - 0.3) > 0.97);
    }
};

QTEST_MAIN(TestDxfTextRender)
#include "test_dxf_text_render.moc"
