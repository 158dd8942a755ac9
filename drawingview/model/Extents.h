#pragma once

// What a zoom to extents shows and what the drawing's size says: the
// geometry as drawn, without construction lines that run to infinity and
// without what frozen layers hide (layers that are only off still count).
// Text is measured with the font the renderer draws it in; rotated and
// sheared inserts give the bounds of their content as placed, from each
// block's convex hull, computed once however often the block is inserted.

#include "Document.h"

#include <array>
#include <vector>

namespace dv {

// Corners of the box that holds a text's glyphs (and its advance) as the
// renderer draws them. Without a GUI application no font can be loaded and
// an average glyph is estimated.
std::array<Vec2, 4> textCorners(const Text& text);

class ExtentsMeter {
public:
    explicit ExtentsMeter(const Document& doc);

    // The extents of a layout's block, in its own coordinates.
    Box layoutExtents(int block);

private:
    // The convex hull of what a block shows when inserted.
    const std::vector<Vec2>& hull(int block);
    // Which texts a gathering measures: shaping glyphs is most of the cost
    // of a text-heavy drawing, and a text well inside the rest adds nothing.
    struct TextFilter {
        bool others = true; // shapes that are not text
        bool texts = true;  // texts, those inside `skipInside` excepted
        const Box* skipInside = nullptr;
    };
    // Shapes [from, to) of the block. Several ranges may be gathered at once
    // once the hulls they need are known.
    void gather(int block, bool nested, Box* box, std::vector<Vec2>* points, size_t from, size_t to,
                TextFilter filter);
    Box gatherBox(int block, TextFilter filter);
    bool counts(const Shape& s, bool nested) const;

    const Document& m_doc;
    int m_layerZero = -1;
    std::vector<std::vector<Vec2>> m_hulls;
    std::vector<int8_t> m_state; // 0 not yet, 1 being gathered, 2 done
};

} // namespace dv
