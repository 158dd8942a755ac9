#pragma once

// Clipping a segment to an axis-aligned box, for readers and the renderer.

#include "Document.h"

#include <vector>

namespace dv {

// The part of `box` that a clip polygon keeps, as a box: where they overlap.
// Invalid when they do not.
Box clippedBox(const Box& box, const std::vector<Vec2>& polygon);

// Liang-Barsky: the part [t0, t1] of the segment a + t (b - a), t in [0, 1],
// that lies inside the box; false when none does.
bool clipParameters(double ax, double ay, double bx, double by, double minX, double minY,
                    double maxX, double maxY, double& t0, double& t1);

} // namespace dv
