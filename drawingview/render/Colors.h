#pragma once

// What colour a shape shows on a given background.

#include "model/Document.h"

#include <QColor>

namespace dv {

class ColorScheme {
public:
    explicit ColorScheme(QColor background);

    QColor background() const { return m_background; }
    // Colour 7: white on a dark background, black on a light one.
    QColor foreground() const { return m_foreground; }
    // A colour close to the background is moved toward the foreground so it
    // stays visible.
    QColor visible(uint32_t rgb) const;
    // `color` must not be ByLayer or ByBlock here: those are resolved by the
    // caller, who knows the layer and the inserting entity.
    QColor visible(const Color& color) const;

private:
    QColor m_background;
    QColor m_foreground;
};

} // namespace dv
