#pragma once

// The DXF reader's entry for bytes already in memory (tests, fuzzing); the
// registry's reader maps the file and calls it.

#include "formats/Reader.h"

#include <cstddef>
#include <memory>

namespace dv {

// Reads ASCII or binary DXF from `data`; `fileName` names the source in
// errors. Throws ReadError.
std::unique_ptr<Document> readDxfBytes(const char* data, size_t size, const QString& fileName,
                                       const ProgressFn& progress = {});

} // namespace dv
