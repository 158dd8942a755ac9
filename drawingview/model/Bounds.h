#pragma once

// Exact bounds of the model's curved and instanced shapes, shared by the
// document's extents and the renderer's spatial index.

#include "Document.h"

namespace dv {

// Adds the bounds of an elliptical arc.
void addArcBounds(Box& box, const Arc& arc);

// Adds the finite ones of the `count` points of a shape's run that start at
// `first`, as far as the block holds them.
void addPointRunBounds(Box& box, const PointVector& points, size_t first, size_t count);

// Where block point `p` of the array cell (column, row) of an insert lands
// in the inserting block; `base` is the block's base point.
Vec2 placeInInsert(const Insert& insert, Vec2 base, Vec2 p, int column = 0, int row = 0);

// The same for many points of one insert: the turn's sine and cosine once.
class InsertPlacer {
public:
    InsertPlacer(const Insert& insert, Vec2 base);
    Vec2 operator()(Vec2 p, int column = 0, int row = 0) const;

private:
    const Insert& m_ins;
    Vec2 m_base;
    double m_cos, m_sin;
};

// Adds the bounds of an insert (its whole array) whose block has bounds
// `inner` around base point `base`, both in block coordinates.
void addInsertBounds(Box& box, const Insert& insert, const Box& inner, Vec2 base);

// Adds the corners of a placed raster or recorded picture.
void addImageBounds(Box& box, const Image& image);
void addPictureBounds(Box& box, const Picture& picture);
// Adds a viewport's rectangle on paper.
void addViewportBounds(Box& box, const Viewport& viewport);

// Adds a box sure to hold a text's glyphs, estimated without a font.
void addTextReach(Box& box, const Text& text);
// Where a text `width` wide starts, left of its alignment point.
double alignedStart(const Text& text, double width);
// Adds the box [left, right] x [bottom, top], given from the text's
// alignment point along its baseline, mirrored and turned as the text is.
void addTextFrame(Box& box, const Text& text, double left, double right, double bottom, double top);

// Adds the bounds of a shape that stands on its own (every kind but Text and
// Insert, whose bounds their callers measure their own way); false for those.
bool addOwnShapeBounds(Box& box, const Block& block, const Shape& shape);

} // namespace dv
