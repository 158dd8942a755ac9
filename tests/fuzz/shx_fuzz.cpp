// Feeds arbitrary bytes to the shape file reader and draws the shapes it
// finds (as many as a linetype may hold): it must read them or throw a
// ShapeFileError, and never crash, hang or grow without bound, subshapes
// that call each other included.

#include "formats/shx/ShapeFile.h"

#include <cstddef>
#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    try {
        const auto file = dv::shx::ShapeFile::parse(
            QByteArray::fromRawData(reinterpret_cast<const char*>(data), qsizetype(size)));
        int drawn = 0;
        for (const auto& [number, shape] : file.shapes())
            if (++drawn <= 64)
                (void)file.strokes(number);
    } catch (const dv::shx::ShapeFileError&) {
    }
    return 0;
}
