#pragma once

// SVG lengths and the root's viewport: which drawing units a document is
// in, how big its page is, and where its user coordinates land on it.

#include <QRectF>
#include <QSizeF>
#include <QString>
#include <QTransform>

#include <optional>

namespace dv::svg {

struct Length {
    double value = 0;
    // Millimetres per unit for physical units (mm, cm, in, pt, pc),
    // 0 for px-like ones (px, none, em, ex).
    double mmPerUnit = 0;
    double pxPerUnit = 1; // for px-like ones
};

// Empty for percentages, junk and non-positive values.
std::optional<Length> parseLength(const QString& text);

// x y w h; empty unless four numbers with positive width and height.
std::optional<QRectF> parseViewBox(const QString& text);

struct Page {
    bool millimetres = false; // else px (user units)
    QSizeF size;              // in drawing units
    // From user coordinates (y down) to page coordinates (y down, drawing
    // units); `viewport` is the page in user coordinates, for clipping.
    QTransform userToPage;
    QRectF viewport;
};

// The page of a root with these attributes; `contentBounds` (user units)
// stands in when neither a size nor a viewBox says how big it is. With
// `frameMm` the page is that size in millimetres whatever the root says.
std::optional<Page> pageFor(const QString& width, const QString& height, const QString& viewBox,
                            const QString& preserveAspectRatio, const QRectF& contentBounds,
                            const std::optional<QSizeF>& frameMm = {});

} // namespace dv::svg
