#pragma once

// The Windows Metafile reader's entry for bytes already in memory (tests,
// fuzzing); the registry's reader reads the file and calls it.

#include "formats/Reader.h"

#include <QByteArray>

#include <memory>

namespace dv {

// Plays the metafile in `bytes` into a drawing in millimetres; `fileName`
// names the source in errors. Throws ReadError.
std::unique_ptr<Document> readWmfBytes(const QByteArray& bytes, const QString& fileName,
                                       const ProgressFn& progress = {});

// 100 or more when `head` starts with a placeable or standard metafile header.
int wmfContentScore(const QByteArray& head);

} // namespace dv
