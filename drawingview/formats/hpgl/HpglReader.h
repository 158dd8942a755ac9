#pragma once

// The HP-GL reader's entry for bytes already in memory (tests, fuzzing).

#include "formats/Reader.h"

#include <QByteArray>

#include <memory>

namespace dv {

// Reads HP-GL or HP-GL/2, bare or wrapped in PCL/RTL; `fileName` names the
// source in errors. Throws ReadError when the bytes hold no HP-GL at all.
std::unique_ptr<Document> readHpglBytes(const QByteArray& bytes, const QString& fileName,
                                        const ProgressFn& progress = {});

namespace hpgl {
// 0: not HP-GL; 1: PCL that may hold HP-GL/2 further on; 2: HP-GL.
int sniff(const QByteArray& head);
} // namespace hpgl

} // namespace dv
