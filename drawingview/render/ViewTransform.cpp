#include "ViewTransform.h"

#include <algorithm>
#include <cmath>

namespace dv {

namespace {
double clampScale(double s) {
    if (!std::isfinite(s) || s <= 0)
        return 1.0;
    return std::clamp(s, ViewTransform::minScale, ViewTransform::maxScale);
}
} // namespace

void ViewTransform::setZoom(double zoom, Vec2 center) {
    m_scale = clampScale(zoom);
    if (std::isfinite(center.x) && std::isfinite(center.y))
        m_center = center;
}

void ViewTransform::zoomAbout(double zoom, QPointF pixel) {
    const Vec2 fixed = mapToDrawing(pixel);
    m_scale = clampScale(zoom);
    const QPointF mid = m_viewport.center();
    m_center.x = fixed.x - (pixel.x() - mid.x()) / m_scale;
    m_center.y = fixed.y + (pixel.y() - mid.y()) / m_scale;
}

void ViewTransform::zoomToFit(const Box& extents, const QRectF& viewport, double margin) {
    m_viewport = viewport;
    if (!extents.isValid()) {
        setZoom(1.0, {});
        return;
    }
    margin = std::clamp(margin, 0.0, 0.45);
    const double w = std::max(1.0, viewport.width() * (1 - 2 * margin));
    const double h = std::max(1.0, viewport.height() * (1 - 2 * margin));
    const double ew = extents.width(), eh = extents.height();
    double s = 1.0;
    if (ew > 0 && eh > 0)
        s = std::min(w / ew, h / eh);
    else if (ew > 0)
        s = w / ew;
    else if (eh > 0)
        s = h / eh;
    setZoom(s, {(extents.minX + extents.maxX) / 2, (extents.minY + extents.maxY) / 2});
}

void ViewTransform::panBy(QPointF pixels) {
    m_center.x -= pixels.x() / m_scale;
    m_center.y += pixels.y() / m_scale;
}

void ViewTransform::resizeViewport(const QRectF& viewport) {
    m_viewport = viewport;
}

QPointF ViewTransform::mapFromDrawing(Vec2 p) const {
    const QPointF mid = m_viewport.center();
    return {mid.x() + (p.x - m_center.x) * m_scale, mid.y() - (p.y - m_center.y) * m_scale};
}

Vec2 ViewTransform::mapToDrawing(QPointF pixel) const {
    const QPointF mid = m_viewport.center();
    return {m_center.x + (pixel.x() - mid.x()) / m_scale,
            m_center.y - (pixel.y() - mid.y()) / m_scale};
}

QTransform ViewTransform::toQTransform() const {
    const QPointF mid = m_viewport.center();
    return QTransform(m_scale, 0, 0, -m_scale, mid.x() - m_center.x * m_scale,
                      mid.y() + m_center.y * m_scale);
}

Box ViewTransform::visibleArea() const {
    Box b;
    b.add(mapToDrawing(m_viewport.topLeft()));
    b.add(mapToDrawing(m_viewport.bottomRight()));
    return b;
}

} // namespace dv
