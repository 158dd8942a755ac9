#pragma once

// A multileader keeps what it draws in an annotation context: leader roots
// with their lines, then one content, text or a block. This writes the
// entity's own data as the DXF groups of the same multileader.

#include "DwgEntities.h"

namespace dv::dwg {

// Reads the multileader's data from `r`, its handle references from
// `handles` (relative to `self`), and appends its groups after the common
// ones. FormatError when damaged.
void decodeMLeader(BitReader& r, BitReader& handles, uint64_t self, const TextConverter& text,
                   GroupList& out);

} // namespace dv::dwg
