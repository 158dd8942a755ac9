// Feeds arbitrary bytes to the raster decoders written here (Animator CEL
// and PIC, FLIC, Paint Shop Pro, RLA/RPF): each must give an image or throw
// a ReadError, and never crash, hang or grow without bound. The suffixes
// only matter where the bytes carry no signature.

#include "formats/raster/RasterReader.h"

#include <cstddef>
#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const QByteArray bytes =
        QByteArray::fromRawData(reinterpret_cast<const char*>(data), qsizetype(size));
    for (const char* name : {"fuzz.cel", "fuzz.psp", "fuzz.rpf"}) {
        try {
            auto doc = dv::readRasterBytes(bytes, QString::fromLatin1(name));
            (void)doc;
        } catch (const dv::ReadError&) {
        }
    }
    return 0;
}
