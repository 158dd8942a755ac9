#pragma once

// Pattern fills: families of parallel dashed lines clipped to a boundary of
// rings under the even-odd rule.

#include "model/Document.h"

#include <utility>
#include <vector>

namespace dv::dxf {

struct PatternLine {
    double angle = 0; // radians
    Vec2 base;
    Vec2 offset;                // from one line of the family to the next
    std::vector<double> dashes; // > 0 dash, < 0 gap, 0 dot; empty: continuous
};

struct PatternResult {
    std::vector<std::pair<Vec2, Vec2>> segments;
    std::vector<Vec2> dots;
};

// Clips the pattern to the rings. False (with `out` cleared) when it would
// take more than `maxSegments` segments, or as much work: the caller then
// draws something plainer.
bool clipPattern(const std::vector<std::vector<Vec2>>& rings,
                 const std::vector<PatternLine>& pattern, size_t maxSegments, PatternResult& out);

} // namespace dv::dxf
