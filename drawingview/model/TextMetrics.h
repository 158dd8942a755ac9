#pragma once

// Drawing text is set in a font scaled so that its capital height is the
// text's height. Readers that lay out runs of text side by side and the
// renderer that draws them measure with these, so the runs meet.

#include "Document.h"

#include <QFont>
#include <QString>

#include <utility>

namespace dv {

// The family, or the default drawing font, at 100 pixels.
QFont drawingFont(const QString& family);

// Width of `text` in drawing units at cap height `height`. Without a GUI
// application fonts cannot be loaded, and an average glyph of 0.6 of the
// height is assumed.
double textAdvance(const QString& text, const QString& family, double height,
                   double widthFactor = 1);

// Advance of one character at cap height 1 (cached), for line breaking.
double glyphAdvance(QChar c, const QString& family);
// The sum of the characters' advances at cap height 1: quick, for bounds.
double glyphAdvances(const QString& text, const QString& family);

// Left and right of the glyphs' ink from the pen's start, at cap height 1
// (without a GUI application: the advance).
std::pair<double, double> inkExtent(const QString& text, const QString& family);

// Sets `text` so that its glyphs run exactly from `from` to `to`: turned
// their way and stretched by the width factor or, with `scaleHeight`, by the
// height (the proportions kept).
void fitBetween(Text& text, Vec2 from, Vec2 to, bool scaleHeight);

// Where the line of a decoration lies, in text heights above the baseline,
// and how thick it is drawn.
double decorationLevel(Text::Line line);
constexpr double kDecorationThickness = 0.06;

} // namespace dv
