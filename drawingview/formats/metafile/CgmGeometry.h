#pragma once

// Plane geometry the CGM primitives need: arcs and ellipses as point runs,
// the circle through three points, hatch lines and dash patterns.

#include "model/Document.h"

#include <optional>
#include <vector>

namespace dv::cgm {

using Segment = std::pair<Vec2, Vec2>;

// Points of a circle's arc counter-clockwise from a0 to a1 (radians).
std::vector<Vec2> arcPoints(Vec2 c, double r, double a0, double a1);
// Points of c + cos(t)*a + sin(t)*b for t from t0 to t1 (increasing).
std::vector<Vec2> ellipsePoints(Vec2 c, Vec2 a, Vec2 b, double t0, double t1);

struct Circle {
    Vec2 centre;
    double radius = 0;
};
// None when the points are (nearly) on one line.
std::optional<Circle> circleThrough(Vec2 p1, Vec2 p2, Vec2 p3);

// Odd-even hatch lines at `angle` every `spacing` over the rings; none when
// there would be more than `maxLines` scan lines.
std::optional<std::vector<Segment>> hatch(const std::vector<std::vector<Vec2>>& rings, double angle,
                                          double spacing, size_t maxLines);

// The drawn pieces of a polyline under a dash pattern (lengths alternately
// drawn and skipped); none when there would be more than `maxDashes`.
std::optional<std::vector<std::vector<Vec2>>> dashes(const std::vector<Vec2>& pts, bool closed,
                                                     const std::vector<double>& pattern,
                                                     size_t maxDashes);

} // namespace dv::cgm
