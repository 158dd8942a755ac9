#pragma once

// Drawing units to widget pixels and back. Drawings have y up, widgets y
// down. The scale is pixels per drawing unit, so 1.0 shows one drawing unit
// (or one raster pixel) per screen pixel.

#include "model/Document.h"

#include <QPointF>
#include <QRectF>
#include <QTransform>

namespace dv {

class ViewTransform {
public:
    static constexpr double minScale = 1e-12;
    static constexpr double maxScale = 1e12;

    double zoom() const { return m_scale; }
    Vec2 center() const { return m_center; }
    QRectF viewport() const { return m_viewport; }
    void setViewport(const QRectF& viewport) { m_viewport = viewport; }

    void setZoom(double zoom, Vec2 center);
    // Sets the scale while the drawing point under `pixel` stays there.
    void zoomAbout(double zoom, QPointF pixel);
    // Shows `extents` whole and centred; `margin` is the fraction of the
    // viewport's width and height left free on every side.
    void zoomToFit(const Box& extents, const QRectF& viewport, double margin);
    void panBy(QPointF pixels);
    // Moves the viewport, keeping the drawing point at its centre and the scale.
    void resizeViewport(const QRectF& viewport);

    QPointF mapFromDrawing(Vec2 p) const;
    Vec2 mapToDrawing(QPointF pixel) const;
    QTransform toQTransform() const;
    // The part of the drawing the viewport shows.
    Box visibleArea() const;

    bool operator==(const ViewTransform& o) const {
        return m_scale == o.m_scale && m_center.x == o.m_center.x && m_center.y == o.m_center.y &&
               m_viewport == o.m_viewport;
    }

private:
    double m_scale = 1.0;
    Vec2 m_center;
    QRectF m_viewport{0, 0, 1, 1};
};

} // namespace dv
