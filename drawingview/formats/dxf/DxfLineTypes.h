#pragma once

// The LTYPE table's dash patterns and the codes of lineweights and transparency. Text inside
// complex linetypes is kept; shapes (from SHX files) keep their place only.

#include "DxfTokenizer.h"

#include <cstdint>
#include <string_view>
#include <vector>

namespace dv::dxf {

struct LineTypeRecord {
    std::string_view name;
    std::vector<double> dashes; // > 0 dash, < 0 gap, 0 dot
    struct Text {
        uint32_t element;
        std::string_view text; // in the file's encoding
        double height = 1, rotation = 0, dx = 0, dy = 0;
        bool absolute = false;
    };
    std::vector<Text> texts;
};

// Reads one "0 LTYPE" record and leaves the cursor at the next "0". A
// pattern that cannot be drawn as given (no dash or dot, lengths that are
// not finite) comes back empty: continuous.
LineTypeRecord readLineType(Cursor& c);

// A lineweight code as the file gives it (370) made safe: hundredths of a
// millimetre up to LineWeight::Max, or ByLayer/ByBlock/Default; anything
// else becomes `fallback`.
int16_t lineWeightCode(int raw, int16_t fallback);

// A transparency as the file gives it (440, or a layer's AcCmTransparency):
// an opacity 0..255 or Alpha::ByBlock; anything else becomes `fallback`.
int16_t alphaCode(int raw, int16_t fallback);

} // namespace dv::dxf
