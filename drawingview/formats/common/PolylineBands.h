#pragma once

// Wide polylines as CAD draws them: each segment a filled band from its
// start width to its end width, straight or along its bulge's arc. Where
// two straight segments meet at one width the bands are mitred; elsewhere
// each band ends square to its segment.

#include "model/Document.h"

#include <vector>

namespace dv {

// The circle a bulge (tan of a quarter of the sweep, positive counter-
// clockwise) bends the chord a-b onto; false for a straight segment.
struct BulgeArc {
    Vec2 center;
    double radius = 0;
    double start = 0; // angle of a, radians
    double sweep = 0; // signed, within (-2 pi, 2 pi)
    int steps = 1;    // chords of at most 3 degrees
};
bool bulgeArc(Vec2 a, Vec2 b, double bulge, BulgeArc& out);
// At least the steps - 1 points within the arc that bulgeArc() gives for
// `bulge`, without its trigonometry.
int bulgeArcInnerPointsAtMost(double bulge);

struct PolylineBands {
    std::vector<std::vector<Vec2>> bands;     // closed outlines to fill
    std::vector<std::vector<Vec2>> hairlines; // runs of segments without width
};

// Vertex i starts segment i (to vertex i + 1, or to vertex 0 for the last of
// a closed polyline) with bulges[i], startWidths[i] and endWidths[i]; the
// vectors are of one length. Widths are taken as their magnitudes.
PolylineBands buildBands(const std::vector<Vec2>& vertices, const std::vector<double>& bulges,
                         const std::vector<double>& startWidths,
                         const std::vector<double>& endWidths, bool closed);

} // namespace dv
