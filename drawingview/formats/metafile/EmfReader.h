#pragma once

// The EMF reader's entry for bytes already in memory (tests, fuzzing); the
// registry's reader reads the file and calls it.

#include "formats/Reader.h"

namespace dv {

// Checks the record structure, converts the metafile to SVG with
// libemf2svg and reads that as a drawing in millimetres. Throws ReadError.
std::unique_ptr<Document> readEmfBytes(const QByteArray& bytes, const QString& fileName,
                                       const ProgressFn& progress = {});

} // namespace dv
