// Feeds arbitrary bytes to the DXF reader: it must load them or throw a
// ReadError, and never crash, hang or grow without bound.

#include "formats/dxf/DxfReader.h"

#include <cstddef>
#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    try {
        auto doc =
            dv::readDxfBytes(reinterpret_cast<const char*>(data), size, QStringLiteral("fuzz.dxf"));
        (void)doc;
    } catch (const dv::ReadError&) {
    }
    return 0;
}
