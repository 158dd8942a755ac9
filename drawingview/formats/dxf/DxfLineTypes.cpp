#include "DxfLineTypes.h"

#include "model/Document.h"

#include <algorithm>
#include <cmath>

namespace dv::dxf {

namespace {

// CAD programs allow 12 elements; more only costs work on every line drawn.
constexpr size_t kMaxElements = 64;

} // namespace

LineTypeRecord readLineType(Cursor& c) {
    LineTypeRecord r;
    bool drawable = false, valid = true;
    while (c.advance() && c.group().code != 0) {
        const Group& g = c.group();
        if (g.code == 2) {
            r.name = g.value;
        } else if (g.code == 49 && r.dashes.size() < kMaxElements) {
            // The count (73) and total (40) are not trusted: the elements are.
            const double d = toDouble(g);
            valid = valid && std::isfinite(d) && std::abs(d) < 1e100;
            drawable = drawable || d >= 0;
            r.dashes.push_back(d);
        }
    }
    double period = 0;
    for (double d : r.dashes)
        period += std::abs(d);
    // Only gaps would hide the line; a zero period would never advance.
    if (!valid || !drawable || !(period > 0) || !std::isfinite(period))
        r.dashes.clear();
    return r;
}

int16_t lineWeightCode(int raw, int16_t fallback) {
    if (raw >= LineWeight::Default && raw <= LineWeight::Max)
        return int16_t(raw);
    if (raw > LineWeight::Max) // heavier than any pen: the heaviest
        return LineWeight::Max;
    return fallback;
}

} // namespace dv::dxf
