#pragma once

// Hatch patterns the CAD programs know by name, for files that name a
// pattern without carrying its lines.

#include "DxfHatch.h"

#include <string_view>
#include <vector>

namespace dv::dxf {

// The lines of the named pattern (case-insensitive) at `scale` and turned by
// `angle` radians, as a hatch entity would carry them. `metric` drawings use
// the millimetre versions of the inch patterns. False for a name we do not
// know; `out` then holds a plain 45 degree hatch in its place.
bool standardPattern(std::string_view name, double scale, double angle, bool metric,
                     std::vector<PatternLine>& out);

} // namespace dv::dxf
