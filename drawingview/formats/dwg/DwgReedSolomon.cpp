#include "formats/dwg/DwgReedSolomon.h"

#include "formats/dwg/DwgSections.h"

namespace dv::dwg {

namespace {
constexpr size_t kCodeWord = 255;
}

QByteArray deinterleaveBlocks(const uint8_t* raw, size_t rawSize, size_t blocks,
                              size_t dataPerBlock) {
    if (dataPerBlock == 0 || dataPerBlock >= kCodeWord)
        throw FormatError("bad Reed-Solomon block size");
    if (blocks > rawSize / kCodeWord)
        throw FormatError("truncated Reed-Solomon data: " + std::to_string(blocks) +
                          " blocks declared, room for " + std::to_string(rawSize / kCodeWord));
    QByteArray out(static_cast<qsizetype>(blocks * dataPerBlock), Qt::Uninitialized);
    char* to = out.data();
    for (size_t b = 0; b < blocks; ++b)
        for (size_t i = 0; i < dataPerBlock; ++i)
            *to++ = static_cast<char>(raw[i * blocks + b]);
    return out;
}

} // namespace dv::dwg
