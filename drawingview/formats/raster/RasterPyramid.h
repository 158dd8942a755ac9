#pragma once

// Successive halvings of a raster image so that a zoomed-out view draws a
// small image instead of scaling the full one.

#include <QImage>

#include <functional>
#include <vector>

namespace dv::raster {

// Half size (rounded up) by averaging each 2x2 block; an odd last row or
// column is averaged with itself. `src` must be RGB32 or
// ARGB32_Premultiplied; the result has the same format.
QImage halve(const QImage& src);

// Levels 1, 2, ...: each half the previous, until the long side is at most
// `minLongSide`. Progress goes 0..100 over the work.
std::vector<QImage> buildPyramid(const QImage& full, int minLongSide = 256,
                                 const std::function<void(int)>& progress = {});

} // namespace dv::raster
