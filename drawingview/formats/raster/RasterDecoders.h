#pragma once

// Decoders turn the bytes of one raster file into a QImage that is RGB32
// (opaque) or ARGB32_Premultiplied. They throw ReadError naming the file.

#include "RasterFormat.h"

#include <QImage>
#include <QString>

#include <cstdint>

namespace dv::raster {

// Refused before decoding: beyond this the image would not fit in memory
// together with its pyramid. 20,000 x 20,000 (1.6 GB) still passes.
constexpr int kMaxSide = 40000;
constexpr int64_t kMaxBytes = int64_t(2) << 30;
// What a decoder may hold before conversion (16-bit channels take twice).
constexpr int64_t kMaxDecodeBytes = 2 * kMaxBytes;

// Throws ReadError when a width x height image is beyond the limits.
void checkImageSize(const QString& path, int64_t width, int64_t height);

QImage decodeWithQt(const QString& path, const RasterFormat& format);
QImage decodeHeaderlessDib(const QString& path);
QImage decodeWithMagick(const QString& path, const RasterFormat& format);

// Our own decoders work on the whole file in memory, so that tests and the
// fuzzer can feed them bytes; `path` only names the file in errors.
QByteArray readWholeFile(const QString& path);
QImage decodeRla(const QByteArray& bytes, const QString& path);
QImage decodeAnimator(const QByteArray& bytes, const QString& path);
QImage decodeFlic(const QByteArray& bytes, const QString& path);
QImage decodePsp(const QByteArray& bytes, const QString& path);

// "the file is damaged or truncated (detail)"
QString damagedFile(const QString& detail);

// Identifies a file by its bytes (its suffix breaking ties) and decodes it
// with the matching decoder; throws ReadError when it cannot.
QImage decodeFile(const QString& path);

// Converts in place to RGB32 when every pixel is opaque, otherwise to
// ARGB32_Premultiplied.
void toDisplayFormat(QImage& image);

// A BITMAPFILEHEADER for a DIB that lacks one, so a BMP decoder can read it;
// empty when the DIB header is not understood.
QByteArray bmpFileHeaderFor(const QByteArray& dib);

} // namespace dv::raster
