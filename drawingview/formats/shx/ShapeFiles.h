#pragma once

// The shape files one drawing's linetypes name. A file found beside the
// drawing is read and used; the standard linetypes' file, ltypeshp.shx, is
// otherwise stood in for by our own outlines of its shapes. A damaged file
// is left out with a note in the drawing's problems, never failing it.

#include "ShapeFile.h"

#include <QString>

#include <map>
#include <optional>
#include <vector>

namespace dv::shx {

// Our own outlines of the standard linetypes' shapes (TRACK1, ZIG, BOX,
// CIRC1, BAT), by the numbers ltypeshp.shx gives them.
const ShapeFile& standardLineTypeShapes();

// Whether a drawing's name for a shape file means the standard one, in any
// folder and any case.
bool isStandardLineTypeShapes(const QString& name);

class ShapeFiles {
public:
    // Shape files larger than this are not shape files a linetype uses.
    static constexpr qint64 kMaxFileBytes = qint64(8) << 20;

    explicit ShapeFiles(const QString& drawingPath);

    // The shapes of the file `name` (as a STYLE record gives it); null when
    // neither a readable file beside the drawing nor our own outlines have it.
    // A damaged file adds one line to `problems` the first time it is asked for.
    const ShapeFile* find(const QString& name, std::vector<QString>& problems);

private:
    QString besideDrawing(const QString& fileName) const;

    QString m_folder;
    std::map<QString, std::optional<ShapeFile>> m_read; // by lower-case file name
};

} // namespace dv::shx
