#pragma once

// Where a gradient fill's colours lie over its boundary: worked out in
// drawing units, so that any affine map to the device can place it.

#include "model/Document.h"

#include <QColor>
#include <QGradient>

#include <cstddef>

namespace dv {

struct GradientGeometry {
    bool radial = false;
    Vec2 from, to; // linear: the line the stops run along; radial: from is the centre
    double radius = 0;
    QGradientStops stops;
};

GradientGeometry gradientGeometry(const Gradient& g, const Vec2* points, size_t count,
                                  const QColor& first, const QColor& second);

} // namespace dv
