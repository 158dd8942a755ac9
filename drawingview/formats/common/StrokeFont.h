#pragma once

// A compact single-stroke vector font for plotter text (and any reader that
// must draw text without system fonts). Glyphs sit on a small grid: the
// baseline is y = 0, capitals are 6 units high and 4 wide, lower-case letters
// 4 high, descenders reach -2; characters advance 6 units.

#include "model/Document.h"

#include <vector>

namespace dv::strokefont {

constexpr double kCapHeight = 6;
constexpr double kCharWidth = 4;
constexpr double kAdvance = 6;

using Strokes = std::vector<std::vector<Vec2>>;

// Appends the pen-down strokes of `ch` in grid units. Accented Latin letters
// are drawn as their base letter with an accent; characters the font lacks
// are drawn as a box. Spaces and control characters append nothing.
void appendGlyph(char32_t ch, Strokes& out);

// True when `ch` is drawn from the font's own table or as an accented letter.
bool hasGlyph(char32_t ch);

} // namespace dv::strokefont
