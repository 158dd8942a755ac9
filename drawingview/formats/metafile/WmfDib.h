#pragma once

// Device-independent bitmaps embedded in metafile records.

#include <QImage>
#include <QString>

#include <cstddef>
#include <cstdint>
#include <vector>

namespace dv::wmf {

// Decodes a packed DIB (BITMAPINFOHEADER or BITMAPCOREHEADER, colour table,
// bits) of `size` bytes. On failure returns a null image and sets `problem`.
// With `paletteColors` the colour table holds 16-bit indexes into that
// palette (DIB_PAL_COLORS) instead of colours.
QImage decodeDib(const unsigned char* data, size_t size, QString& problem,
                 const std::vector<uint32_t>* paletteColors = nullptr);

// The average colour of an image as 0xRRGGBB (pattern brushes drawn solid).
uint32_t averageRgb(const QImage& image);

} // namespace dv::wmf
