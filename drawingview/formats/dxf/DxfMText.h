#pragma once

// Multi-line text: the inline formatting of an MTEXT value (paragraphs and
// their alignment, font, height, colour, width and slant changes, under-,
// over- and strike-through lines, tabs, groups, stacked fractions) and its
// layout, in columns when it has them, into one text run per stretch of a
// line in one format.

#include "model/Document.h"

#include <QString>

#include <optional>
#include <vector>

namespace dv::dxf {

struct Group;

// Columns side by side, `width` wide and `gutter` apart: the text flows on
// into the next column when one is full or at a column break (\N).
struct MTextColumns {
    int type = 0;  // 0 none, 1 static, 2 dynamic
    int count = 0; // 0: as many as the text needs
    double width = 0;
    double gutter = 0;
    double height = 0;           // of every column, unless given one by one
    std::vector<double> heights; // of each column in turn; 0 takes the rest
    bool active() const { return type > 0 && width > 0 && width < 1e300; }
};

// Takes the groups of an MTEXT that describe its columns: 46, 75 on, and all
// after 101 (an object embedded from AutoCAD 2018 on, whose codes would
// otherwise be read as the entity's own insertion point, direction, height
// and width).
class MTextColumnReader {
public:
    explicit MTextColumnReader(MTextColumns& columns) : m_c(columns) {}
    bool take(const Group& g); // true when the group was the columns'

private:
    void addHeight(double h);
    MTextColumns& m_c;
    bool m_embedded = false;
    bool m_listed = false; // 75 seen: 48, 49, 50 are the columns'
};

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
    MTextColumns columns;
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
