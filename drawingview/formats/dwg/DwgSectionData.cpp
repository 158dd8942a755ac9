#include "DwgSectionData.h"

#include <cstring>

namespace dv::dwg {

SectionData locateSectionData(const QByteArray& section, const unsigned char (&sentinel)[16],
                              const Sections& s) {
    SectionData d;
    // A high word of the size follows where later maintenance releases write it.
    const bool highWord =
        s.release >= Release::R2018 || (s.release >= Release::R2010 && s.maintenance > 3);
    d.start = highWord ? 24 : 20;
    if (size_t(section.size()) < d.start ||
        std::memcmp(section.constData(), sentinel, sizeof sentinel) != 0)
        return d;
    d.found = true;
    std::memcpy(&d.size, section.constData() + 16, 4);
    const size_t room = size_t(section.size()) - d.start;
    if (d.size > room) {
        d.cutOff = true;
        d.size = uint32_t(room);
    }
    return d;
}

size_t useSectionStreams(BitReader& r, bool handles) {
    const size_t end = size_t(uint32_t(r.RL()));
    if (end > r.limit() || end < r.bitPosition())
        throw FormatError("its size of " + std::to_string(end) + " bits does not fit its " +
                          std::to_string(r.limit()) + " bits");
    if (handles)
        r.useHandlesFrom(end);
    const size_t dataEnd = r.useStringsEndingAt(end);
    r.setLimit(dataEnd);
    return dataEnd;
}

} // namespace dv::dwg
