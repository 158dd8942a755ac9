#pragma once

// Cuts a path in device pixels into the dashes and dots of a linetype. The
// pattern runs on across vertices, as CAD programs draw polylines with
// linetype generation on, so a polyline of short segments still shows its
// dashes; only the part of the path inside a clip rectangle is walked.

#include <QPointF>
#include <QRectF>

#include <cstddef>
#include <cstdint>
#include <vector>

namespace dv {

struct ScreenPattern {
    std::vector<double> dashes; // pixels: > 0 dash, < 0 gap, 0 dot
    double period = 0;          // the sum of the lengths; > 0
    // Per element, whether its end is reported (text is written there);
    // empty when none is.
    std::vector<bool> marked;
};

struct DashedPath {
    std::vector<QPointF> points;     // the dashes one after another
    std::vector<uint32_t> dashSizes; // points in each dash (two or more)
    std::vector<QPointF> dots;
    // Where marked elements end, with the path's direction there.
    struct Mark {
        QPointF at;
        QPointF unit;
        uint32_t element;
    };
    std::vector<Mark> marks;
    void clear() {
        points.clear();
        dashSizes.clear();
        dots.clear();
        marks.clear();
    }
};

// The length of the path in pixels (infinite when a point is not finite).
double pathLength(const QPointF* points, size_t count, bool closed);

// Appends to `out` what the pattern draws of the path within `clip`. The
// first point lies `phase` pixels into the pattern.
void dashPath(const QPointF* points, size_t count, bool closed, const ScreenPattern& pattern,
              const QRectF& clip, DashedPath& out, double phase = 0);

} // namespace dv
