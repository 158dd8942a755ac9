#pragma once

// Drawing text is set in a font scaled so that its capital height is the
// text's height. Readers that lay out runs of text side by side and the
// renderer that draws them measure with these, so the runs meet.

#include <QFont>
#include <QString>

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

} // namespace dv
