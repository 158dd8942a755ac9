#pragma once

// Entity records of AutoCAD 1.40 drawings: a type, a layer number and the
// type's fields, with no length, so each record must be read whole to find
// the next. A negative type marks an erased entity.

#include "DwgEntities.h"
#include "DwgGroups.h"
#include "DwgPreR13Entities.h"

#include <cstddef>
#include <cstdint>

namespace dv::dwg::prer13 {

struct EarlyRecord {
    int type = 0, layer = 0;
    bool erased = false;
    size_t end = 0; // where the next record starts
};

// Reads the record at `at`, appending "0 TYPE" and its groups unless it is
// erased or of a type no DXF builder draws (then `drawn` is false). Throws
// FormatError when the record runs past `end` or its type is unknown: the
// records after it cannot be found then.
EarlyRecord decodeEarlyRecord(const uint8_t* data, size_t at, size_t end, const Names& names,
                              const TextConverter& text, GroupList& out, bool& drawn);

} // namespace dv::dwg::prer13
