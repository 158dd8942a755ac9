#pragma once

// The record structure of an Enhanced Metafile, checked before any library
// sees the bytes: libemf2svg trusts sizes and offsets it reads.

#include <QByteArray>
#include <QSizeF>
#include <QString>
#include <QTransform>

#include <cstdint>

namespace dv::emf {

constexpr uint32_t kHeader = 1;
constexpr uint32_t kEof = 14;
constexpr int kHeaderMinSize = 88;
// More records than this are not a drawing anyone could look at.
constexpr int64_t kMaxRecords = 20'000'000;

// True for the first bytes of an EMF: an EMR_HEADER with the " EMF"
// signature at offset 40.
bool looksLikeEmf(const QByteArray& head);

struct Checked {
    QByteArray bytes; // the records up to and including EMR_EOF
    QSizeF frameMm;   // the picture frame, in millimetres
    // From the converter's SVG coordinates (device pixels counted from the
    // bounds' top-left corner) to millimetres from the frame's top-left.
    QTransform pixelsToMm;
    int64_t records = 0;
    // Text given as glyph indexes, left out: libemf2svg looks such fonts up
    // through fontconfig and then shuts fontconfig down under Qt's feet,
    // which aborts the program. Those records are made comments.
    int64_t glyphIndexTexts = 0;
};

// Walks every record; throws ReadError naming `fileName`, the problem and
// the record's number and byte offset when the structure is unsound.
Checked checkRecords(const QByteArray& bytes, const QString& fileName);

} // namespace dv::emf
