#pragma once

// Clipping a segment to an axis-aligned box, for readers and the renderer.

namespace dv {

// Liang-Barsky: the part [t0, t1] of the segment a + t (b - a), t in [0, 1],
// that lies inside the box; false when none does.
bool clipParameters(double ax, double ay, double bx, double by, double minX, double minY,
                    double maxX, double maxY, double& t0, double& t1);

} // namespace dv
