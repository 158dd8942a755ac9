#pragma once

// The one seam every output goes through: the screen, saved pictures,
// printing and the command-line renderer. Coordinates are device pixels;
// the renderer has already mapped, culled and tessellated.

#include <QColor>
#include <QFont>
#include <QGradient>
#include <QImage>
#include <QLineF>
#include <QPicture>
#include <QPointF>
#include <QPolygonF>
#include <QRectF>
#include <QString>
#include <QTransform>

#include <cstddef>
#include <cstdint>

class QPainter;

namespace dv {

struct TextRun {
    QString text;
    QFont font;
    // Glyph space (the font's pixels, y down, origin on the baseline at the
    // start of the text) to device pixels.
    QTransform transform;
};

class PaintBackend {
public:
    virtual ~PaintBackend() = default;

    virtual QRectF bounds() const = 0;
    virtual void clear(const QColor& background) = 0;
    // widthPx 0 is the thinnest line the device has. Lines are batched
    // strokes of a few pixels at most, so their ends are square: round ends
    // cost several times as much and look the same at that size.
    virtual void drawLines(const QColor& color, double widthPx, const QLineF* lines,
                           size_t count) = 0;
    virtual void drawPolyline(const QColor& color, double widthPx, const QPointF* points,
                              size_t count, bool closed) = 0;
    virtual void drawPoints(const QColor& color, const QPointF* points, size_t count) = 0;
    // Odd-even fill of one or more rings; ringSizes[i] points make ring i.
    virtual void fillPolygon(const QColor& color, const QPointF* points, const uint32_t* ringSizes,
                             size_t ringCount) = 0;
    // The same rings filled with a colour blend given in device pixels.
    virtual void fillGradient(const QGradient& gradient, const QPointF* points,
                              const uint32_t* ringSizes, size_t ringCount) = 0;
    virtual void drawText(const QColor& color, const TextRun& run) = 0;
    virtual void drawImage(const QRectF& target, const QImage& image, const QRectF& source,
                           bool smooth) = 0;
    virtual void drawFrame(const QColor& color, const QRectF& rect) = 0;
    // An image under any affine map of its pixel grid, optionally clipped to
    // a polygon in device pixels.
    virtual void drawPlacedImage(const QTransform& imageToDevice, const QImage& image,
                                 const QPolygonF& clip, bool smooth) = 0;
    // Replays recorded painting under a map from picture to device pixels.
    virtual void drawPicture(const QTransform& pictureToDevice, const QPicture& picture) = 0;
    // Narrows drawing to a polygon in device pixels until the matching
    // popClip(); clips nest.
    virtual void pushClip(const QPolygonF& polygon) = 0;
    // The same, keeping what lies outside the polygon.
    virtual void pushClipOutside(const QPolygonF& polygon) = 0;
    virtual void popClip() = 0;
    // The image under the back end when its pixels may be written straight
    // in: 32 bits a pixel, no transform, no clip but bounds(). Null for any
    // other device, and while a clip is pushed.
    virtual QImage* directPixels() { return nullptr; }
};

// Paints with a QPainter on any paint device (image, widget, printer, PDF).
class QPainterBackend : public PaintBackend {
public:
    // `bounds` is the device area the drawing covers.
    QPainterBackend(QPainter& painter, const QRectF& bounds);

    QRectF bounds() const override { return m_bounds; }
    void clear(const QColor& background) override;
    void drawLines(const QColor& color, double widthPx, const QLineF* lines, size_t count) override;
    void drawPolyline(const QColor& color, double widthPx, const QPointF* points, size_t count,
                      bool closed) override;
    void drawPoints(const QColor& color, const QPointF* points, size_t count) override;
    void fillPolygon(const QColor& color, const QPointF* points, const uint32_t* ringSizes,
                     size_t ringCount) override;
    void fillGradient(const QGradient& gradient, const QPointF* points, const uint32_t* ringSizes,
                      size_t ringCount) override;
    void drawText(const QColor& color, const TextRun& run) override;
    void drawImage(const QRectF& target, const QImage& image, const QRectF& source,
                   bool smooth) override;
    void drawFrame(const QColor& color, const QRectF& rect) override;
    void drawPlacedImage(const QTransform& imageToDevice, const QImage& image,
                         const QPolygonF& clip, bool smooth) override;
    void drawPicture(const QTransform& pictureToDevice, const QPicture& picture) override;
    void pushClip(const QPolygonF& polygon) override;
    void pushClipOutside(const QPolygonF& polygon) override;
    void popClip() override;
    QImage* directPixels() override { return m_clipDepth == 0 ? m_image : nullptr; }

private:
    void setPen(const QColor& color, double width, bool roundEnds = true);
    void fillRings(const QBrush& brush, const QPointF* points, const uint32_t* ringSizes,
                   size_t ringCount);

    QPainter& m_painter;
    QRectF m_bounds;
    int m_clipDepth = 0;
    QImage* m_image = nullptr; // when its pixels may be written directly
};

} // namespace dv
