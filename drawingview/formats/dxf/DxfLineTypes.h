#pragma once

// The LTYPE table's dash patterns and the codes of lineweights. Shapes and
// text inside complex linetypes keep their place in the pattern only.

#include "DxfTokenizer.h"

#include <cstdint>
#include <string_view>
#include <vector>

namespace dv::dxf {

struct LineTypeRecord {
    std::string_view name;
    std::vector<double> dashes; // > 0 dash, < 0 gap, 0 dot
};

// Reads one "0 LTYPE" record and leaves the cursor at the next "0". A
// pattern that cannot be drawn as given (no dash or dot, lengths that are
// not finite) comes back empty: continuous.
LineTypeRecord readLineType(Cursor& c);

// A lineweight code as the file gives it (370) made safe: hundredths of a
// millimetre up to LineWeight::Max, or ByLayer/ByBlock/Default; anything
// else becomes `fallback`.
int16_t lineWeightCode(int raw, int16_t fallback);

} // namespace dv::dxf
