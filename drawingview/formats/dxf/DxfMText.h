#pragma once

// Multi-line text: the inline formatting of an MTEXT value (paragraphs,
// font, height, colour, width and slant changes, groups, stacked fractions)
// and its layout into one text run per stretch of a line in one format.

#include "model/Document.h"

#include <QString>

#include <optional>
#include <vector>

namespace dv::dxf {

struct MTextParams {
    Vec2 insert;
    double height = 1;
    double referenceWidth = 0; // wraps lines longer than this when > 0
    int attachment = 1;        // 1..9: top/middle/bottom by left/centre/right
    double rotation = 0;       // radians
    double lineSpacing = 1;    // factor of the standard 5/3 of the height
    double widthFactor = 1;
    double oblique = 0; // radians
    QString fontFamily; // resolved, as the style gives it
};

struct MTextPiece {
    Text text;
    std::optional<Color> color; // set by an inline colour change
};

// `content` is already decoded to Unicode; inline \U+ and \M+ codes and the
// %% codes are expanded here. With `frame`, the four corners of the text's
// box (the reference width when set), grown by `margin` on every side.
std::vector<MTextPiece> layoutMText(const QString& content, const MTextParams& params,
                                    std::vector<Vec2>* frame = nullptr, double margin = 0);

// The text of a \M+nXXXX code: a double-byte character in code page n
// (1 Japanese, 2 Traditional Chinese, 3 Korean, 4 Johab, 5 Simplified Chinese).
QString decodeMifChar(int codePage, unsigned value);

} // namespace dv::dxf
