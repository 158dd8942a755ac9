#pragma once

// Turns SVG text into a drawing: one recorded Picture per top-level
// element, on the layer of its group, placed on a page in the document's
// own units with y up.

#include "formats/Reader.h"

#include <QSizeF>
#include <QTransform>

#include <optional>

namespace dv::svg {

struct BuildOptions {
    QString format = QStringLiteral("SVG");
    // Metafiles converted to SVG know their size in millimetres better than
    // the SVG text says it: the page is `frameMm` and user coordinates map
    // to it by `userToMm`. Their content is not clipped to the page, whose
    // frame the writing program may have set too small.
    std::optional<QSizeF> frameMm;
    QTransform userToMm;
    // Non-empty: every element goes on this one layer.
    QString singleLayer;
};

// Throws ReadError naming `fileName`.
std::unique_ptr<Document> buildDocument(const QByteArray& xml, const QString& fileName,
                                        const ProgressFn& progress,
                                        const BuildOptions& options = {});

} // namespace dv::svg
