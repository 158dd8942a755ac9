#pragma once

// The bit data of the header variables and classes sections: a start
// sentinel, the data's size in bytes (with a high word in later releases),
// the data, its CRC.

#include "DwgBitReader.h"
#include "DwgSections.h"

#include <QByteArray>

namespace dv::dwg {

struct SectionData {
    bool found = false;  // the sentinel is there
    bool cutOff = false; // the stored size runs past the section; `size` is what there is
    size_t start = 0;    // where the bit data starts in the section
    uint32_t size = 0;   // its size in bytes
};

SectionData locateSectionData(const QByteArray& section, const unsigned char (&sentinel)[16],
                              const Sections& s);

// From R2007 on the data starts with its own size in bits, which is where
// its texts end and (for the header) its handles start. Sets `r` up to
// read them from there; returns where the other data ends.
size_t useSectionStreams(BitReader& r, bool handles);

} // namespace dv::dwg
