#include "Bounds.h"
#include "Clipping.h"

#include <algorithm>
#include <cmath>
#include <numbers>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace dv {

void addArcBounds(Box& box, const Arc& a) {
    const double sweep = a.endAngle - a.startAngle;
    if (!std::isfinite(sweep) || !std::isfinite(a.startAngle) || !std::isfinite(a.radiusX) ||
        !std::isfinite(a.radiusY))
        return;
    // Most arcs are not turned: then no angle needs taking but the ends'.
    const bool upright = a.rotation == 0 && a.radiusX > 0 && a.radiusY > 0;
    const double c = upright ? 1 : std::cos(a.rotation), s = upright ? 0 : std::sin(a.rotation);
    // A point of the ellipse is centre + (cos t, sin t) through these rows.
    const double ax = a.radiusX * c, bx = -a.radiusY * s;
    const double ay = a.radiusX * s, by = a.radiusY * c;
    auto addDir = [&](double ct, double st) {
        box.add(a.center.x + ax * ct + bx * st, a.center.y + ay * ct + by * st);
    };
    // x peaks where (cos t, sin t) runs along (ax, bx), y along (ay, by), and
    // their opposites bottom out: no angles needed for the points themselves.
    const double hx = std::hypot(ax, bx), hy = std::hypot(ay, by);
    struct Extreme {
        double ct, st;
    };
    Extreme extremes[4] = {{1, 0}, {-1, 0}, {0, 1}, {0, -1}};
    if (hx > 0) {
        extremes[0] = {ax / hx, bx / hx};
        extremes[1] = {-ax / hx, -bx / hx};
    }
    if (hy > 0) {
        extremes[2] = {ay / hy, by / hy};
        extremes[3] = {-ay / hy, -by / hy};
    }
    const double twoPi = 2 * std::numbers::pi;
    if (std::abs(sweep) >= twoPi) {
        for (const Extreme& e : extremes)
            addDir(e.ct, e.st);
        return;
    }
    addDir(std::cos(a.startAngle), std::sin(a.startAngle));
    addDir(std::cos(a.endAngle), std::sin(a.endAngle));
    const double lo = std::min(a.startAngle, a.endAngle);
    const double toX = upright ? 0 : std::atan2(extremes[0].st, extremes[0].ct);
    const double toY = upright ? std::numbers::pi / 2 : std::atan2(extremes[2].st, extremes[2].ct);
    const double at[4] = {toX, toX + std::numbers::pi, toY, toY + std::numbers::pi};
    for (int i = 0; i < 4; ++i) {
        const Extreme& e = extremes[i];
        double offset = std::fmod(at[i] - lo, twoPi);
        if (offset < 0)
            offset += twoPi;
        if (offset <= std::abs(sweep))
            addDir(e.ct, e.st);
    }
}

InsertPlacer::InsertPlacer(const Insert& insert, Vec2 base)
    : m_ins(insert), m_base(base), m_cos(std::cos(insert.rotation)),
      m_sin(std::sin(insert.rotation)) {}

Vec2 InsertPlacer::operator()(Vec2 p, int column, int row) const {
    const Insert& ins = m_ins;
    const double y = (p.y - m_base.y) * ins.scaleY + row * ins.rowSpacing;
    const double x = (p.x - m_base.x) * ins.scaleX + column * ins.columnSpacing + ins.shear * y;
    return {ins.position.x + x * m_cos - y * m_sin, ins.position.y + x * m_sin + y * m_cos};
}

Vec2 placeInInsert(const Insert& ins, Vec2 base, Vec2 p, int column, int row) {
    return InsertPlacer(ins, base)(p, column, row);
}

void addInsertBounds(Box& box, const Insert& ins, const Box& whole, Vec2 base) {
    Box inner = whole;
    if (ins.clip.size() >= 3 && !ins.clipInverted)
        inner = clippedBox(whole, ins.clip);
    if (!inner.isValid())
        return;
    const InsertPlacer place(ins, base);
    const int cols = std::max(1, ins.columns), rows = std::max(1, ins.rows);
    const double xs[2] = {inner.minX, inner.maxX}, ys[2] = {inner.minY, inner.maxY};
    for (int corner = 0; corner < 4; ++corner)
        for (int gx : {0, cols - 1})
            for (int gy : {0, rows - 1})
                box.add(place({xs[corner & 1], ys[corner >> 1]}, gx, gy));
}

void addImageBounds(Box& box, const Image& image) {
    if (!image.image || image.image->isNull())
        return;
    if (image.clip.size() >= 3) {
        for (Vec2 p : image.clip)
            box.add(p);
        return;
    }
    const double w = image.image->width(), h = image.image->height();
    for (double i : {0.0, w})
        for (double j : {0.0, h})
            box.add(image.origin.x + i * image.u.x + j * image.v.x,
                    image.origin.y + i * image.u.y + j * image.v.y);
}

void addPictureBounds(Box& box, const Picture& picture) {
    if (!picture.picture || picture.bounds.isEmpty())
        return;
    const QRectF& r = picture.bounds;
    for (double x : {r.left(), r.right()})
        for (double y : {r.top(), r.bottom()})
            box.add(picture.origin.x + x * picture.u.x + y * picture.v.x,
                    picture.origin.y + x * picture.u.y + y * picture.v.y);
}

void addViewportBounds(Box& box, const Viewport& viewport) {
    if (!(viewport.width > 0) || !(viewport.height > 0))
        return;
    box.add(viewport.center.x - viewport.width / 2, viewport.center.y - viewport.height / 2);
    box.add(viewport.center.x + viewport.width / 2, viewport.center.y + viewport.height / 2);
}

void addPointRunBounds(Box& box, const PointVector& points, size_t first, size_t count) {
    if (first >= points.size())
        return;
    const Vec2* p = points.data() + first;
    const size_t n = std::min(count, points.size() - first);
    size_t i = 0;
    // Into a local box, not `box`: the compiler must otherwise assume a store
    // to it may change the points, and keeps both in memory.
    Box run = box;
#if defined(__SSE2__)
    // x and y side by side, two points at a time into two pairs of running
    // bounds; v - v is 0 exactly for finite v.
    static_assert(sizeof(Vec2) == 2 * sizeof(double));
    const __m128d zero = _mm_setzero_pd();
    const auto finite = [&](__m128d v) {
        return _mm_movemask_pd(_mm_cmpeq_pd(_mm_sub_pd(v, v), zero)) == 3;
    };
    __m128d lo0 = _mm_set_pd(run.minY, run.minX), hi0 = _mm_set_pd(run.maxY, run.maxX);
    __m128d lo1 = lo0, hi1 = hi0;
    for (; i + 2 <= n; i += 2) {
        const __m128d a = _mm_loadu_pd(&p[i].x), b = _mm_loadu_pd(&p[i + 1].x);
        if (finite(a)) {
            lo0 = _mm_min_pd(a, lo0);
            hi0 = _mm_max_pd(a, hi0);
        }
        if (finite(b)) {
            lo1 = _mm_min_pd(b, lo1);
            hi1 = _mm_max_pd(b, hi1);
        }
    }
    lo0 = _mm_min_pd(lo1, lo0);
    hi0 = _mm_max_pd(hi1, hi0);
    run.minX = _mm_cvtsd_f64(lo0);
    run.minY = _mm_cvtsd_f64(_mm_unpackhi_pd(lo0, lo0));
    run.maxX = _mm_cvtsd_f64(hi0);
    run.maxY = _mm_cvtsd_f64(_mm_unpackhi_pd(hi0, hi0));
#endif
    for (; i < n; ++i)
        run.add(p[i]);
    box = run;
}

bool addOwnShapeBounds(Box& box, const Block& b, const Shape& s) {
    switch (s.kind) {
    case ShapeKind::Polyline:
    case ShapeKind::Polygon:
    case ShapeKind::Point:
        addPointRunBounds(box, b.points, s.first, s.count);
        return true;
    case ShapeKind::Arc:
        if (s.first < b.arcs.size())
            addArcBounds(box, b.arcs[s.first]);
        return true;
    case ShapeKind::Image:
        if (s.first < b.images.size())
            addImageBounds(box, b.images[s.first]);
        return true;
    case ShapeKind::Picture:
        if (s.first < b.pictures.size())
            addPictureBounds(box, b.pictures[s.first]);
        return true;
    case ShapeKind::Viewport:
        // The window on paper, not what it looks at.
        if (s.first < b.viewports.size())
            addViewportBounds(box, b.viewports[s.first]);
        return true;
    case ShapeKind::Text:
    case ShapeKind::Insert:
        break;
    }
    return false;
}

void addTextReach(Box& box, const Text& t) {
    // Generous, as culling must never drop visible text: the widest glyphs
    // ("W", "M") are about 1.3 cap heights across in common fonts (East
    // Asian ideographs 1.4, and taller than capitals), and
    // oblique text leans by its height.
    const double h = std::abs(t.height);
    const double w = std::max<qsizetype>(1, t.text.size()) * h * 1.5 * std::abs(t.widthFactor) +
                     h * std::abs(std::tan(t.oblique));
    const double x0 = alignedStart(t, w);
    double y0 = 0;
    if (t.vAlign == Text::Middle)
        y0 = -h / 2;
    else if (t.vAlign == Text::Top)
        y0 = -h;
    else if (t.vAlign == Text::Bottom)
        y0 = h * 0.3;
    addTextFrame(box, t, x0 - h * 0.1, x0 + w, y0 - h * 0.35, y0 + h * 1.4);
}

double alignedStart(const Text& t, double width) {
    return t.hAlign == Text::Center ? -width / 2 : t.hAlign == Text::Right ? -width : 0;
}

void addTextFrame(Box& box, const Text& t, double left, double right, double bottom, double top) {
    const double c = std::cos(t.rotation), s = std::sin(t.rotation);
    // Backwards and upside-down text lie mirrored about the alignment point.
    const double sx = t.widthFactor < 0 ? -1 : 1, sy = t.height < 0 ? -1 : 1;
    for (double x : {sx * left, sx * right})
        for (double y : {sy * bottom, sy * top})
            box.add(t.position.x + x * c - y * s, t.position.y + x * s + y * c);
}

} // namespace dv
