#pragma once

#include <QRect>
#include <QSize>

namespace tidewell {

// Where a popup enters and where it comes to rest: right edge on the available area's right
// edge, rising from just below the screen until its bottom meets the available area's bottom.
// Measured by the areas' real edges, origin included, so a taskbar on the left or top, or a
// screen that does not start at (0, 0), leaves the popup fully visible.
struct SlidePath {
    QRect start;
    QRect end;
};

SlidePath slidePath(const QRect& screen, const QRect& available, const QSize& size);

} // namespace tidewell
