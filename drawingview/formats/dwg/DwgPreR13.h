#pragma once

// DWG drawings of AutoCAD 1.40 to R12 (AC1.40, AC1.50, AC2.10, AC1001 to
// AC1009): their header, tables, entities and blocks turned into the DXF
// group stream of the same drawing, as the newer releases' objects are.

#include "DwgDrawing.h"

#include <QByteArray>

#include <functional>

namespace dv::dwg {

// Whether `tag`, a file's first six bytes, names a release read here.
bool isPreR13(const QByteArray& tag);

// `progress` gets 0 to 100 over the entities. Throws FormatError when the
// header, a table or the run of entity records is damaged; an entity whose
// fields do not fit its record is counted in `skipped` and left out.
void decodePreR13(const QByteArray& file, DecodedDrawing& out,
                  const std::function<void(int)>& progress = {});

} // namespace dv::dwg
