#pragma once

// Fonts as drawings name them (a TrueType family, a font file such as
// "arial.ttf", or a CAD program's own SHX stroke font) mapped to a family
// installed here that looks alike. Readers store the result in the model, so
// drawing never has to resolve names.

#include <QString>

namespace dv {

struct FontSubstitute {
    QString family;   // empty: the default drawing font
    double slant = 0; // radians; italic stroke fonts lean
};

// `name` may be a family, a file name or a path; case does not matter.
// Unknown names give the default.
FontSubstitute substituteFont(const QString& name);

// A family that holds the CJK ideographs of SHX "big fonts".
QString cjkFontFamily();

} // namespace dv
