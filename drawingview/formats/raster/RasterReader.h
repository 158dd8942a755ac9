#pragma once

// The raster reader's entry for bytes already in memory (tests, fuzzing).
// Only the decoders written here read from memory: for the formats left to
// Qt or ImageMagick it throws ReadError.

#include "formats/Reader.h"

#include <memory>

namespace dv {

// Reads `bytes` as the raster image `fileName` names (its suffix counts when
// the content has no signature). Throws ReadError.
std::unique_ptr<Document> readRasterBytes(const QByteArray& bytes, const QString& fileName,
                                          const ProgressFn& progress = {});

} // namespace dv
