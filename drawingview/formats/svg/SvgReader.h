#pragma once

// The SVG reader's entry for bytes already in memory (tests, fuzzing); the
// registry's reader reads the file and calls it.

#include "formats/Reader.h"

namespace dv {

// Reads SVG text or gzip-compressed SVG; `fileName` names the source in
// errors. Throws ReadError.
std::unique_ptr<Document> readSvgBytes(const QByteArray& bytes, const QString& fileName,
                                       const ProgressFn& progress = {});

} // namespace dv
