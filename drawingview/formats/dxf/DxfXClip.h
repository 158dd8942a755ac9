#pragma once

// Block clipping (XCLIP): an insert's extension dictionary leads through
// ACAD_FILTER and SPATIAL to the boundary its content is cut to. The objects
// come after the entities, so the boundaries are tied on at the end.

#include "DxfContext.h"
#include "DxfTokenizer.h"

namespace dv::dxf {

void readDictionary(Cursor& c, DxfContext& ctx);
void readSpatialFilter(Cursor& c, DxfContext& ctx);
// Only records that say whether a clip is inverted are kept.
void readClipRecord(Cursor& c, DxfContext& ctx);
void applyClips(DxfContext& ctx);

} // namespace dv::dxf
