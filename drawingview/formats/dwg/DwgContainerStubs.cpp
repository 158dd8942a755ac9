#include "DwgSections.h"

// Stand-ins until the R2004 and R2007 containers are read.

namespace dv::dwg {

Sections readR2004Container(const char*, size_t) {
    throw FormatError("DWG 2004 and later containers are not read yet");
}

Sections readR2007Container(const char*, size_t) {
    throw FormatError("DWG 2007 containers are not read yet");
}

} // namespace dv::dwg
