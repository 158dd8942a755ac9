#pragma once

// Entity records of DWG drawings of AutoCAD 2.10 to R12, decoded into the
// DXF groups of the same entity in an R12 DXF file. Each record starts with
// its type, flags telling which common fields follow (colour, line type,
// elevation, thickness, handle), its length, its layer's index and a word
// of bits telling which of the type's optional fields follow.

#include "DwgEntities.h"
#include "DwgGroups.h"
#include "DwgPreR13File.h"

#include <cstdint>
#include <map>
#include <string>
#include <vector>

namespace dv::dwg::prer13 {

// Table entry names in UTF-8, by the index entities refer to them with.
struct Names {
    std::vector<std::string> layers, lineTypes, styles, blocks, appIds;
    std::vector<int> blockFlags;
    std::map<uint32_t, size_t> blockAt; // block section offset -> block index
};

struct Record {
    int type = 0;
    bool erased = false;
    bool followers = false; // attributes or vertices follow
    size_t start = 0, size = 0;
};

// Type names for what is left out, by record type.
std::string typeName(int type, Version version);

class RecordDecoder {
public:
    RecordDecoder(Version version, const Names& names, const TextConverter& text)
        : m_version(version), m_names(names), m_text(text) {}

    // The head of the record at `at`; FormatError when it is cut short or
    // runs past `end`, since the records after it cannot be found then.
    Record head(const uint8_t* data, size_t at, size_t end) const;

    // Appends "0 TYPE" and the record's groups. `blockOffset` is where a
    // BLOCK record lies in the block section. False, with nothing appended,
    // for types drawn by no DXF builder; FormatError when the fields do not
    // fit the record.
    bool decode(const uint8_t* data, const Record& rec, uint32_t blockOffset, GroupList& out);

private:
    Version m_version;
    const Names& m_names;
    const TextConverter& m_text;
};

} // namespace dv::dwg::prer13
