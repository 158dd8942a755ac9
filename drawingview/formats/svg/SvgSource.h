#pragma once

// Recognising SVG text and unpacking gzip-compressed SVG (.svgz) within a
// bound, so that a small file cannot expand to exhaust memory.

#include <QByteArray>
#include <QString>

#include <cstdint>

namespace dv::svg {

// Beyond this an unpacked .svgz is refused.
constexpr int64_t kMaxInflatedBytes = int64_t(256) << 20;

bool isGzip(const QByteArray& head);

// True when `<svg` starts the first element within the first KB, after an
// optional BOM, XML declaration, doctype, comments and processing
// instructions.
bool looksLikeSvg(const QByteArray& head);

// Unpacks gzip members into at most `limit` bytes; throws ReadError naming
// `fileName` when the data is damaged, cut off or larger than the limit.
QByteArray inflateGzip(const QByteArray& bytes, const QString& fileName,
                       int64_t limit = kMaxInflatedBytes);

// The first bytes of a possibly compressed file, unpacked, for sniffing.
QByteArray sniffHead(const QByteArray& head);

} // namespace dv::svg
