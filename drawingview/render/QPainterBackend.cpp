#include "PaintBackend.h"

#include <QPainter>
#include <QPainterPath>

namespace dv {

QPainterBackend::QPainterBackend(QPainter& painter, const QRectF& bounds)
    : m_painter(painter), m_bounds(bounds) {
    m_painter.setRenderHint(QPainter::Antialiasing, false);
    m_painter.setClipRect(bounds);
    QPaintDevice* device = painter.device();
    if (device && device->devType() == QInternal::Image) {
        auto* image = static_cast<QImage*>(device);
        const bool formatFits = image->format() == QImage::Format_RGB32 ||
                                image->format() == QImage::Format_ARGB32_Premultiplied;
        if (formatFits && image->devicePixelRatio() == 1 && painter.deviceTransform().isIdentity())
            m_image = image;
    }
}

void QPainterBackend::setPen(const QColor& color, double width, bool roundEnds) {
    QPen pen(color);
    pen.setWidthF(width);
    pen.setCosmetic(true);
    pen.setCapStyle(roundEnds && width > 1 ? Qt::RoundCap : Qt::SquareCap);
    pen.setJoinStyle(Qt::RoundJoin);
    m_painter.setPen(pen);
}

void QPainterBackend::clear(const QColor& background) {
    m_painter.fillRect(m_bounds, background);
}

void QPainterBackend::drawLines(const QColor& color, double widthPx, const QLineF* lines,
                                size_t count) {
    setPen(color, widthPx, false);
    m_painter.drawLines(lines, int(count));
}

void QPainterBackend::drawPolyline(const QColor& color, double widthPx, const QPointF* points,
                                   size_t count, bool closed) {
    setPen(color, widthPx);
    m_painter.setBrush(Qt::NoBrush);
    if (closed)
        m_painter.drawPolygon(points, int(count));
    else
        m_painter.drawPolyline(points, int(count));
}

void QPainterBackend::drawPoints(const QColor& color, const QPointF* points, size_t count) {
    setPen(color, 0);
    m_painter.drawPoints(points, int(count));
}

void QPainterBackend::fillPolygon(const QColor& color, const QPointF* points,
                                  const uint32_t* ringSizes, size_t ringCount) {
    fillRings(color, points, ringSizes, ringCount);
}

void QPainterBackend::fillGradient(const QGradient& gradient, const QPointF* points,
                                   const uint32_t* ringSizes, size_t ringCount) {
    fillRings(gradient, points, ringSizes, ringCount);
}

void QPainterBackend::fillRings(const QBrush& brush, const QPointF* points,
                                const uint32_t* ringSizes, size_t ringCount) {
    m_painter.setPen(Qt::NoPen);
    m_painter.setBrush(brush);
    if (ringCount == 1) {
        m_painter.drawPolygon(points, int(ringSizes[0]), Qt::OddEvenFill);
    } else {
        QPainterPath path;
        path.setFillRule(Qt::OddEvenFill);
        size_t at = 0;
        for (size_t r = 0; r < ringCount; ++r) {
            path.addPolygon(QPolygonF(QList<QPointF>(points + at, points + at + ringSizes[r])));
            path.closeSubpath();
            at += ringSizes[r];
        }
        m_painter.drawPath(path);
    }
    m_painter.setBrush(Qt::NoBrush);
}

void QPainterBackend::drawText(const QColor& color, const TextRun& run) {
    const QTransform saved = m_painter.transform();
    m_painter.setRenderHint(QPainter::TextAntialiasing, true);
    m_painter.setTransform(run.transform, true);
    m_painter.setFont(run.font);
    m_painter.setPen(color);
    m_painter.drawText(QPointF(0, 0), run.text);
    m_painter.setTransform(saved);
}

void QPainterBackend::drawImage(const QRectF& target, const QImage& image, const QRectF& source,
                                bool smooth) {
    m_painter.setRenderHint(QPainter::SmoothPixmapTransform, smooth);
    m_painter.drawImage(target, image, source);
    m_painter.setRenderHint(QPainter::SmoothPixmapTransform, false);
}

void QPainterBackend::drawFrame(const QColor& color, const QRectF& rect) {
    setPen(color, 0);
    m_painter.setBrush(Qt::NoBrush);
    m_painter.drawRect(rect);
}

void QPainterBackend::drawPlacedImage(const QTransform& imageToDevice, const QImage& image,
                                      const QPolygonF& clip, bool smooth) {
    m_painter.save();
    if (clip.size() >= 3) {
        QPainterPath path;
        path.addPolygon(clip);
        m_painter.setClipPath(path, Qt::IntersectClip);
    }
    m_painter.setRenderHint(QPainter::SmoothPixmapTransform, smooth);
    m_painter.setTransform(imageToDevice, true);
    m_painter.drawImage(QPointF(0, 0), image);
    m_painter.restore();
}

void QPainterBackend::drawPicture(const QTransform& pictureToDevice, const QPicture& picture) {
    m_painter.save();
    // Recorded painting looks as its source meant it: smooth edges and text.
    m_painter.setRenderHint(QPainter::Antialiasing, true);
    m_painter.setRenderHint(QPainter::TextAntialiasing, true);
    m_painter.setRenderHint(QPainter::SmoothPixmapTransform, true);
    m_painter.setTransform(pictureToDevice, true);
    // QPicture scales its playback by the device's resolution over the one
    // it was recorded at (a printer page would get it six times too large);
    // the map given is already in device pixels.
    if (const QPaintDevice* device = m_painter.device()) {
        const QPicture reference;
        m_painter.scale(double(reference.logicalDpiX()) / device->logicalDpiX(),
                        double(reference.logicalDpiY()) / device->logicalDpiY());
    }
    m_painter.drawPicture(QPointF(0, 0), picture);
    m_painter.restore();
}

void QPainterBackend::pushClip(const QPolygonF& polygon) {
    m_painter.save();
    ++m_clipDepth;
    QPainterPath path;
    path.addPolygon(polygon);
    path.closeSubpath();
    m_painter.setClipPath(path, Qt::IntersectClip);
}

void QPainterBackend::pushClipOutside(const QPolygonF& polygon) {
    m_painter.save();
    ++m_clipDepth;
    QPainterPath path;
    path.setFillRule(Qt::OddEvenFill);
    // Device space around the hole; the painter's own transform is identity.
    const QRectF around = m_bounds.united(polygon.boundingRect()).adjusted(-1, -1, 1, 1);
    path.addRect(around);
    path.addPolygon(polygon);
    path.closeSubpath();
    m_painter.setClipPath(path, Qt::IntersectClip);
}

void QPainterBackend::popClip() {
    if (m_clipDepth == 0)
        return;
    --m_clipDepth;
    m_painter.restore();
}

} // namespace dv
