#include "formats/dwg/DwgSections.h"

namespace dv::dwg {

// R2007 keeps its header and pages Reed-Solomon interleaved and compressed by
// a scheme of its own, which is not read yet; say so rather than guess.
Sections readR2007Container(const char* data, size_t size) {
    if (size < 6 || std::string(data, 6) != "AC1021")
        throw FormatError("not an R2007 drawing");
    throw FormatError("AutoCAD 2007 drawings (AC1021) are not read yet");
}

} // namespace dv::dwg
