#pragma once

// An object's extended data as the DXF groups (1000 to 1071) a DXF file
// gives it, so that the DXF builders read both formats' alike.

#include "DwgEntities.h"

#include <string_view>

namespace dv::dwg {

// The items that are numbers, stored alike in every release: appends the
// one of kind `code` and returns true, or returns false for another kind.
template <typename Real, typename Short, typename Long>
bool appendNumberItem(int code, Real real, Short shortInt, Long longInt, GroupList& g) {
    switch (code) {
    case 10:
    case 11:
    case 12:
    case 13: {
        Point3 p;
        p.x = real();
        p.y = real();
        p.z = real();
        g.point(1000 + code, p);
        return true;
    }
    case 40:
    case 41:
    case 42:
        g.real(1000 + code, real());
        return true;
    case 70:
        g.integer(1070, int16_t(shortInt()));
        return true;
    case 71:
        g.integer(1071, int32_t(longInt()));
        return true;
    default:
        return false;
    }
}

// Appends 1001 `app`, then each item of `items` (the data one application
// attached). A damaged or unknown item ends the list; what came before it
// stays.
void appendExtendedData(BitReader items, std::string_view app, const TableNames& names,
                        const TextConverter& text, GroupList& out);

} // namespace dv::dwg
