#pragma once

// Device-independent bitmaps embedded in metafile records.

#include <QImage>
#include <QString>

#include <cstddef>

namespace dv::wmf {

// Decodes a packed DIB (BITMAPINFOHEADER or BITMAPCOREHEADER, colour table,
// bits) of `size` bytes. On failure returns a null image and sets `problem`.
QImage decodeDib(const unsigned char* data, size_t size, QString& problem);

// The average colour of an image as 0xRRGGBB (pattern brushes drawn solid).
uint32_t averageRgb(const QImage& image);

} // namespace dv::wmf
