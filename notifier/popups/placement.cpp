#include "popups/placement.h"

namespace tidewell {

SlidePath slidePath(const QRect& screen, const QRect& available, const QSize& size) {
    const int x = available.x() + available.width() - size.width();
    const QRect start(QPoint(x, screen.y() + screen.height()), size);
    const QRect end(QPoint(x, available.y() + available.height() - size.height()), size);
    return {start, end};
}

} // namespace tidewell
