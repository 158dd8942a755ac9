#pragma once

// Decodes DWG entities into the DXF groups the same entity has in a DXF
// file, so that the DXF builders alone give every entity its meaning.

#include "DwgGroups.h"
#include "DwgObject.h"

#include <cstdint>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

namespace dv::dwg {

// Counts read from a file size loops; each item takes at least one bit.
// FormatError for a count the rest of the object cannot hold.
int32_t checkedCount(BitReader& r, int32_t n, const char* what);

// Names of table entries by handle, filled before entities are read.
struct TableNames {
    std::unordered_map<uint64_t, std::string> layers, lineTypes, styles, blocks, dimStyles,
        mlineStyles, appIds;
    static const std::string& find(const std::unordered_map<uint64_t, std::string>& m, uint64_t h,
                                   const std::string& fallback);
};

// Code-page text to UTF-8.
class TextConverter {
public:
    TextConverter(Release release, uint16_t codePage);
    std::string operator()(std::string raw) const;

private:
    bool m_utf8;
    std::string m_codec;
};

// What the document assembly needs to know of an entity besides its groups.
struct EntityLinks {
    // Polylines and inserts with attributes: the entities that follow them.
    bool hasFollowers = false;
    uint64_t seqEnd = 0;
    std::vector<uint64_t> owned; // R2004 on: the followers by handle
};

// An MTEXT's own data, as the entity stores it and as R2018 embeds it in a
// multi-line attribute.
struct MTextData {
    Point3 at, extrusion{0, 0, 1}, xAxis{1, 0, 0};
    double width = 0, height = 0;
    int attach = 1, direction = 1;
    std::string value;
    int spacingStyle = 1;
    double spacing = 1;
    int background = 0;
    double backgroundScale = 1.5;
    CmColor backgroundColor;
};

class EntityDecoder {
public:
    EntityDecoder(const TableNames& names, const TextConverter& text)
        : m_names(names), m_text(text) {}

    // Appends "0 TYPE" and the groups of the entity whose common data `o`
    // has read. `dxfName` names class-numbered types. False (nothing
    // appended) for a type not decoded here. FormatError when damaged.
    bool decode(ObjectReader& o, std::string_view dxfName, bool paper, GroupList& out,
                EntityLinks& links);

private:
    void common(ObjectReader& o, std::string_view type, bool paper, GroupList& out);
    void text(ObjectReader& o, GroupList& out, int kind);
    void insert(ObjectReader& o, GroupList& out, EntityLinks& links, bool multiple);
    void dimension(ObjectReader& o, GroupList& out, int type);
    void lwPolyline(ObjectReader& o, GroupList& out);
    void spline(ObjectReader& o, GroupList& out);
    void helix(ObjectReader& o, GroupList& out);
    void mtext(ObjectReader& o, GroupList& out);
    MTextData mtextData(BitReader& r);
    void mtextGroups(const MTextData& m, GroupList& out);
    // `start` and `height`: the attribute's own, which its text lies near.
    bool embeddedMText(ObjectReader& o, Point3 start, double height, MTextData& m);
    void hatch(ObjectReader& o, GroupList& out);
    void viewport(ObjectReader& o, GroupList& out);
    void leader(ObjectReader& o, GroupList& out);
    void followers(ObjectReader& o, EntityLinks& links, bool present);
    void mline(ObjectReader& o, GroupList& out);
    void image(ObjectReader& o, GroupList& out);
    void proxyGraphics(const std::string& bytes, GroupList& out);
    std::string str(BitReader& r) const { return m_text(r.T()); }

    const TableNames& m_names;
    const TextConverter& m_text;
};

} // namespace dv::dwg
