#pragma once

// The CGM reader's entry for bytes already in memory (tests, fuzzing).

#include "formats/Reader.h"

#include <QByteArray>

#include <memory>

namespace dv {

// Reads a binary or clear-text CGM; `fileName` names the source in errors. Throws ReadError.
std::unique_ptr<Document> readCgmBytes(const QByteArray& bytes, const QString& fileName,
                                       const ProgressFn& progress = {});

// 2: binary CGM, 1: clear-text CGM, 0: neither, judged from the first bytes.
int sniffCgm(const QByteArray& head);

} // namespace dv
