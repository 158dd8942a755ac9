// Feeds arbitrary bytes to the Windows metafile reader: it must load them or
// throw a ReadError, and never crash, hang or grow without bound.

#include "formats/metafile/WmfReader.h"

#include <cstddef>
#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    try {
        auto doc = dv::readWmfBytes(
            QByteArray::fromRawData(reinterpret_cast<const char*>(data), qsizetype(size)),
            QStringLiteral("fuzz.wmf"));
        (void)doc;
    } catch (const dv::ReadError&) {
    }
    return 0;
}
