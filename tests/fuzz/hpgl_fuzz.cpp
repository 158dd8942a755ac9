// Feeds arbitrary bytes to the HP-GL reader: it must load them or throw a
// ReadError, and never crash, hang or grow without bound.

#include "formats/hpgl/HpglReader.h"

#include <cstddef>
#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    try {
        const QByteArray bytes(reinterpret_cast<const char*>(data), qsizetype(size));
        auto doc = dv::readHpglBytes(bytes, QStringLiteral("fuzz.plt"));
        (void)doc;
    } catch (const dv::ReadError&) {
    }
    return 0;
}
