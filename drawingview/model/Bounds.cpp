#include "Bounds.h"
#include "Clipping.h"

#include <algorithm>
#include <cmath>
#include <numbers>

namespace dv {

void addArcBounds(Box& box, const Arc& a) {
    const double sweep = a.endAngle - a.startAngle;
    if (!std::isfinite(sweep) || !std::isfinite(a.startAngle) || !std::isfinite(a.radiusX) ||
        !std::isfinite(a.radiusY))
        return;
    const double c = std::cos(a.rotation), s = std::sin(a.rotation);
    auto addAt = [&](double t) {
        const double x = a.radiusX * std::cos(t), y = a.radiusY * std::sin(t);
        box.add(a.center.x + x * c - y * s, a.center.y + x * s + y * c);
    };
    addAt(a.startAngle);
    addAt(a.endAngle);
    // The extremes in x and y lie where the derivative of that coordinate
    // vanishes; each such parameter and its opposite count when inside the sweep.
    const double twoPi = 2 * std::numbers::pi;
    const double extremes[2] = {std::atan2(-a.radiusY * s, a.radiusX * c),
                                std::atan2(a.radiusY * c, a.radiusX * s)};
    for (double base : extremes)
        for (double t : {base, base + std::numbers::pi}) {
            if (std::abs(sweep) >= twoPi) {
                addAt(t);
                continue;
            }
            const double lo = std::min(a.startAngle, a.endAngle);
            double offset = std::fmod(t - lo, twoPi);
            if (offset < 0)
                offset += twoPi;
            if (offset <= std::abs(sweep))
                addAt(lo + offset);
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

bool addOwnShapeBounds(Box& box, const Block& b, const Shape& s) {
    switch (s.kind) {
    case ShapeKind::Polyline:
    case ShapeKind::Polygon:
    case ShapeKind::Point:
        for (uint32_t i = 0; i < s.count && size_t(s.first) + i < b.points.size(); ++i)
            box.add(b.points[s.first + i]);
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

} // namespace dv
