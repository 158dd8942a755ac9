#pragma once

// The LTYPE table's dash patterns and the codes of lineweights and transparency. Texts and
// shapes (from shape files) inside complex linetypes are kept with where they go.

#include "DxfTokenizer.h"
#include "model/Document.h"

#include <QString>

#include <cstdint>
#include <string_view>
#include <unordered_map>
#include <vector>

namespace dv::dxf {

struct LineTypeRecord {
    std::string_view name;
    std::vector<double> dashes; // > 0 dash, < 0 gap, 0 dot
    // Where a text or shape goes, at the end of its element.
    struct Placement {
        uint32_t element = 0;
        double size = 1; // text height or shape scale
        double rotation = 0, dx = 0, dy = 0;
        bool absolute = false;
    };
    struct Text : Placement {
        std::string_view text; // in the file's encoding
    };
    struct Shape : Placement {
        int number = 0;
        uint64_t style = 0; // handle of the STYLE record naming the shape file
    };
    std::vector<Text> texts;
    std::vector<Shape> shapes;
};

// Reads one "0 LTYPE" record and leaves the cursor at the next "0". A
// pattern that cannot be drawn as given (no dash or dot, lengths that are
// not finite) comes back empty: continuous.
LineTypeRecord readLineType(Cursor& c);

// The shapes of one linetype (an index into Document::lineTypes) until the
// STYLE records naming their shape files are known.
struct PendingShapes {
    int32_t lineType = -1;
    std::vector<LineTypeRecord::Shape> shapes;
};

// Gives each pending shape its strokes from the shape file its STYLE record
// (handle -> file name) names, found beside the document's file or, for the
// standard one, our own; shapes without strokes keep their place as a gap.
void placeLineTypeShapes(Document& doc, const std::vector<PendingShapes>& pending,
                         const std::unordered_map<uint64_t, QString>& styleFiles);

// A lineweight code as the file gives it (370) made safe: hundredths of a
// millimetre up to LineWeight::Max, or ByLayer/ByBlock/Default; anything
// else becomes `fallback`.
int16_t lineWeightCode(int raw, int16_t fallback);

// A transparency as the file gives it (440, or a layer's AcCmTransparency):
// an opacity 0..255 or Alpha::ByBlock; anything else becomes `fallback`.
int16_t alphaCode(int raw, int16_t fallback);

} // namespace dv::dxf
