#pragma once

// Cutting geometry to a metafile's clip rectangle, in drawing units.

#include "model/Document.h"

#include <vector>

namespace dv::wmf {

// The pieces of a path that lie inside `box`.
std::vector<std::vector<Vec2>> clipPath(const std::vector<Vec2>& pts, bool closed, const Box& box);

// A ring cut to `box`; fewer than three points when nothing of it is left.
std::vector<Vec2> clipRing(const std::vector<Vec2>& ring, const Box& box);

} // namespace dv::wmf
