#pragma once

// Curves drawn as polylines: NURBS from their control points and knots, and
// curves through fit points when a spline carries nothing else.

#include "model/Document.h"

#include <vector>

namespace dv::dxf {

// Appends points of the NURBS curve. Knots that do not fit the degree and
// the number of control points are replaced by a clamped uniform vector;
// missing or non-positive weights count as 1. The point count is bounded.
void appendNurbs(std::vector<Vec2>& out, int degree, std::vector<double> knots,
                 const std::vector<Vec2>& control, std::vector<double> weights);

// Appends a smooth curve through `fit` (Catmull-Rom, centripetal).
void appendThroughPoints(std::vector<Vec2>& out, const std::vector<Vec2>& fit, bool closed);

} // namespace dv::dxf
