#pragma once

// Rendered views of a document for tests that probe pixels: black
// background, so any colour drawn is ink.

#include "render/Renderer.h"

#include <QImage>
#include <QPainter>

#include <cmath>
#include <memory>

namespace dv {

// A view of `size` pixels at `zoom` pixels per unit, centred on `center`.
struct View {
    QImage image;
    ViewTransform transform;
    QPoint at(Vec2 p) const {
        const QPointF q = transform.mapFromDrawing(p);
        return QPoint(int(std::floor(q.x())), int(std::floor(q.y())));
    }
    bool ink(int x, int y) const {
        return image.rect().contains(x, y) && (image.pixel(x, y) & 0xFFFFFF) != 0;
    }
    // Whether the horizontal line at y is drawn at column x (a row either side).
    bool inkAt(int x, int y) const { return ink(x, y - 1) || ink(x, y) || ink(x, y + 1); }
};

inline View render(const std::shared_ptr<const Document>& doc, int layout, double zoom, Vec2 center,
                   QSize size = {400, 60}) {
    RenderScene scene(doc);
    View v;
    v.image = QImage(size, QImage::Format_RGB32);
    v.transform.setViewport(QRectF(QPointF(0, 0), QSizeF(size)));
    v.transform.setZoom(zoom, center);
    QPainter painter(&v.image);
    QPainterBackend backend(painter, QRectF(v.image.rect()));
    RenderOptions options;
    options.background = Qt::black;
    Renderer(scene).render(backend, v.transform, layout, options);
    return v;
}

} // namespace dv
