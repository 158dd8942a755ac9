// Feeds arbitrary bytes to the CGM reader: it must load them or throw a
// ReadError, and never crash, hang or grow without bound.

#include "formats/metafile/CgmReader.h"

#include <cstddef>
#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    try {
        auto doc =
            dv::readCgmBytes(QByteArray(reinterpret_cast<const char*>(data), qsizetype(size)),
                             QStringLiteral("fuzz.cgm"));
        (void)doc;
    } catch (const dv::ReadError&) {
    }
    return 0;
}
