#include "DwgPreR13Entities.h"

#include "DwgByteReader.h"
#include "DwgXData.h"

#include <cstring>
#include <numbers>

namespace dv::dwg::prer13 {

namespace {

constexpr double kDegrees = 180 / std::numbers::pi;

enum Type {
    kLine = 1,
    kPoint = 2,
    kCircle = 3,
    kShape = 4,
    kRepeat = 5,
    kEndRepeat = 6,
    kText = 7,
    kArc = 8,
    kTrace = 9,
    kLoad = 10,
    kSolid = 11,
    kBlock = 12,
    kEndBlock = 13,
    kInsert = 14,
    kAttDef = 15,
    kAttrib = 16,
    kSeqEnd = 17,
    kClosedPolyline = 18, // before R11; R11 uses the number for a jump
    kPolyline = 19,
    kVertex = 20,
    k3dLine = 21,
    k3dFace = 22,
    kDimension = 23,
    kViewport = 24,
};

// Line type indexes that mean "by layer" and "by block".
constexpr int kByLayerR11 = 0x7FFF, kByBlockR11 = 0x7FFE, kByBlockOld = 0xFF;

class Fields {
public:
    Fields(const uint8_t* data, size_t size) : m_r(data, size, "entity record") {}

    size_t pos() const { return m_r.pos(); }
    size_t size() const { return m_r.size(); }
    void seek(size_t at) { m_r.seek(at); }
    void skip(size_t n) { m_r.skip(n); }
    int u8() { return m_r.u8(); }
    int u16() { return m_r.u16(); }
    int i16() { return int16_t(m_r.u16()); }
    double real() { return m_r.f64(); }
    Point3 xy(double z) {
        Point3 p;
        p.x = real();
        p.y = real();
        p.z = z;
        return p;
    }
    Point3 xyz() {
        Point3 p;
        p.x = real();
        p.y = real();
        p.z = real();
        return p;
    }
    const uint8_t* bytes(size_t n) { return m_r.bytes(n); }
    // A text stored with its length in front.
    std::string text() {
        const size_t n = size_t(u16());
        const auto* p = reinterpret_cast<const char*>(m_r.bytes(n));
        return std::string(p, strnlen(p, n));
    }

private:
    ByteReader m_r;
};

const std::string& byIndex(const std::vector<std::string>& names, int index,
                           const std::string& fallback) {
    return index >= 0 && size_t(index) < names.size() ? names[size_t(index)] : fallback;
}

std::string hex(const uint8_t* p, size_t n) {
    static const char digits[] = "0123456789ABCDEF";
    std::string s;
    for (size_t i = 0; i < n; ++i) {
        s += digits[p[i] >> 4];
        s += digits[p[i] & 15];
    }
    return s;
}

// Extended data as its DXF groups: each item's code is its group's less 1000.
void appendExtendedData(const uint8_t* data, size_t size, const Names& names,
                        const TextConverter& text, GroupList& g) {
    ByteReader r(data, size, "extended data");
    static const std::string kNone;
    while (!r.atEnd()) {
        const int code = r.u8();
        switch (code) {
        case 0: {
            const size_t n = r.u8();
            const auto* p = reinterpret_cast<const char*>(r.bytes(n));
            g.text(1000, text(std::string(p, n)));
            break;
        }
        case 1:
            g.text(1001, byIndex(names.appIds, r.u16(), kNone));
            break;
        case 2:
            g.literal(1002, r.u8() ? "}" : "{");
            break;
        case 3:
            g.text(1003, byIndex(names.layers, r.u16(), kNone));
            break;
        case 4: {
            const size_t n = r.u8();
            g.text(1004, hex(r.bytes(n), n));
            break;
        }
        case 5:
            g.text(1005, hex(r.bytes(8), 8));
            break;
        default:
            if (!appendNumberItem(
                    code, [&] { return r.f64(); }, [&] { return r.u16(); }, [&] { return r.i32(); },
                    g))
                throw FormatError("extended data of an unknown kind");
        }
    }
}

} // namespace

std::string typeName(int type, Version version) {
    switch (type) {
    case kLine:
        return "LINE";
    case kPoint:
        return "POINT";
    case kCircle:
        return "CIRCLE";
    case kShape:
        return "SHAPE";
    case kRepeat:
        return "REPEAT";
    case kEndRepeat:
        return "ENDREP";
    case kText:
        return "TEXT";
    case kArc:
        return "ARC";
    case kTrace:
        return "TRACE";
    case kLoad:
        return "LOAD";
    case kSolid:
        return "SOLID";
    case kBlock:
        return "BLOCK";
    case kEndBlock:
        return "ENDBLK";
    case kInsert:
        return "INSERT";
    case kAttDef:
        return "ATTDEF";
    case kAttrib:
        return "ATTRIB";
    case kSeqEnd:
        return "SEQEND";
    case kClosedPolyline:
        return version == Version::R11 ? "JUMP" : "POLYLINE";
    case kPolyline:
        return "POLYLINE";
    case kVertex:
        return "VERTEX";
    case k3dLine:
        return "3DLINE";
    case k3dFace:
        return "3DFACE";
    case kDimension:
        return "DIMENSION";
    case kViewport:
        return "VIEWPORT";
    default:
        return "entity type " + std::to_string(type);
    }
}

Record RecordDecoder::head(const uint8_t* data, size_t at, size_t end) const {
    const size_t crc = m_version == Version::R11 ? 2 : 0;
    if (at > end || end - at < 8)
        throw FormatError("an entity record runs past the end of its section");
    Record r;
    r.start = at;
    r.erased = data[at] & 0x80;
    r.type = data[at] & 0x7F;
    r.followers = data[at + 1] & 0x80;
    r.size = size_t(data[at + 2]) | size_t(data[at + 3]) << 8;
    if (r.size < 8 + crc || r.size > end - at)
        throw FormatError("an entity record runs past the end of its section");
    return r;
}

bool RecordDecoder::decode(const uint8_t* data, const Record& rec, uint32_t blockOffset,
                           GroupList& g) {
    const bool r11 = m_version == Version::R11;
    const bool r10 = m_version >= Version::R10;
    const int type = rec.type;
    if (type == kRepeat || type == kEndRepeat || type == kLoad || (r11 && type == kClosedPolyline))
        return false;
    if (type < kLine || type > kViewport || (type == kViewport && !r11))
        return false;

    Fields f(data + rec.start, rec.size - (r11 ? 2 : 0));
    const int flags = data[rec.start + 1];
    f.seek(4);
    // Before R9 the layer's index is one byte, followed by a byte of flags.
    const int layer = m_version < Version::R9 ? f.u16() & 0xFF : f.i16();
    const unsigned opts = unsigned(f.u16());
    auto bit = [&](int n) { return ((opts >> n) & 1) != 0; };

    // The common fields, each there when its flag says so.
    const int extra = r11 && (flags & 0x40) ? f.u8() : 0;
    const uint8_t* extended = nullptr;
    size_t extendedSize = 0;
    if (extra & 2) {
        extendedSize = size_t(f.u16());
        extended = f.bytes(extendedSize);
    }
    const int color = (flags & 1) ? f.u8() : -1;
    int lineType = -1;
    if (flags & 2)
        lineType = r11 ? f.i16() : f.u8();
    // Lines, points and faces keep a z per point; flag 4 leaves them out.
    const bool pointwise = type == kLine || type == kPoint || type == k3dFace || type == k3dLine;
    // R11 puts the thickness first, except on inserts.
    const bool thicknessFirst = r11 && type != kInsert;
    double thickness = 0;
    if (thicknessFirst && (flags & 8))
        thickness = f.real();
    bool flat = false;
    double elevation = 0;
    if (pointwise && r10) {
        flat = flags & 4;
    } else {
        if (flags & 4)
            elevation = f.real();
        flat = type == kLine || type == kPoint;
    }
    if (!thicknessFirst && (flags & 8))
        thickness = f.real();
    if (flags & 0x20)
        f.skip(size_t(f.u8())); // handle
    if (extra & 4)
        f.u16(); // viewport

    const std::string name = typeName(type, m_version);
    g.text(0, name);
    static const std::string kZero = "0";
    g.text(8, byIndex(m_names.layers, layer, kZero));
    if (lineType >= 0) {
        if (r11 && lineType == kByLayerR11)
            g.literal(6, "BYLAYER");
        else if ((r11 && lineType == kByBlockR11) || (!r11 && lineType == kByBlockOld))
            g.literal(6, "BYBLOCK");
        else {
            static const std::string kContinuous = "CONTINUOUS";
            g.text(6, byIndex(m_names.lineTypes, lineType, kContinuous));
        }
    }
    if (color >= 0)
        g.integer(62, color);
    if (flags & 8)
        g.real(39, thickness);
    if (r11 && (flags & 0x40))
        g.integer(67, 1);

    auto point = [&](int code) { g.point(code, flat ? f.xy(0) : f.xyz()); };
    auto zIfBit = [&](int n) {
        Point3 p = f.xy(0);
        if (bit(n))
            p.z = f.real();
        return p;
    };
    // Dimensions keep 3D points from R10 on.
    auto dimPoint = [&]() { return r10 ? f.xyz() : f.xy(elevation); };
    auto extrusion = [&](int n) {
        if (bit(n))
            g.extrusion(f.xyz());
    };
    auto optReal = [&](int n, int code, double scale = 1) {
        if (bit(n))
            g.real(code, f.real() * scale);
    };
    auto optByte = [&](int n, int code) {
        if (bit(n))
            g.integer(code, f.u8());
    };
    auto optWord = [&](int n, int code) {
        if (bit(n))
            g.integer(code, f.i16());
    };
    auto style = [&](int n) {
        static const std::string kStandard = "STANDARD";
        if (bit(n))
            g.text(7, byIndex(m_names.styles, f.u8(), kStandard));
    };
    auto blockName = [&]() -> const std::string& {
        const int index = f.i16();
        if (index < 0 || size_t(index) >= m_names.blocks.size())
            throw FormatError("an entity names a block the drawing does not have");
        return m_names.blocks[size_t(index)];
    };
    bool lenient = false;

    switch (type) {
    case kLine:
        point(10);
        point(11);
        if (r11)
            extrusion(0);
        break;
    case k3dLine:
        // Before R10 each end keeps its z only when a bit says so.
        for (int code = 10, n = 0; code <= 11; ++code, ++n)
            g.point(code, r10 ? (flat ? f.xy(0) : f.xyz()) : zIfBit(n));
        break;
    case kPoint:
        point(10);
        break;
    case kCircle:
    case kArc:
        g.point(10, f.xy(elevation));
        g.real(40, f.real());
        if (type == kArc) {
            g.real(50, f.real() * kDegrees);
            g.real(51, f.real() * kDegrees);
        }
        extrusion(0);
        break;
    case kTrace:
    case kSolid:
        for (int code = 10; code <= 13; ++code)
            g.point(code, f.xy(elevation));
        if (r11 || type == kSolid)
            extrusion(0);
        break;
    case k3dFace:
        for (int code = 10, n = 0; code <= 13; ++code, ++n)
            g.point(code, r10 ? (flat ? f.xy(0) : f.xyz()) : zIfBit(n));
        if (r10)
            optWord(0, 70);
        break;
    case kShape:
        g.point(10, f.xy(elevation));
        g.real(40, f.real());
        g.integer(2, f.u8()); // the shape's number: its name is in the shape file
        optReal(0, 50, kDegrees);
        if (bit(1))
            f.u8(); // the shape file's style
        optReal(2, 41);
        optReal(3, 51, kDegrees);
        break;
    case kText:
    case kAttDef:
    case kAttrib: {
        g.point(10, f.xy(elevation));
        g.real(40, f.real());
        g.text(1, m_text(f.text()));
        if (type == kAttDef)
            g.text(3, m_text(f.text()));
        if (type != kText) {
            g.text(2, m_text(f.text()));
            g.integer(70, f.u8());
        }
        // The same optional fields; an attribute's bits start one higher.
        const int first = type == kText ? 0 : 1;
        optReal(first, 50, kDegrees);
        optReal(first + 1, 41);
        optReal(first + 2, 51, kDegrees);
        style(first + 3);
        optByte(first + 4, 71);
        optByte(first + 5, 72);
        if (bit(first + 6))
            g.point(11, f.xy(elevation));
        if (type == kText) {
            optByte(8, 73);
        } else {
            extrusion(8);
            optByte(9, 74);
        }
        break;
    }
    case kBlock: {
        const auto at = m_names.blockAt.find(blockOffset);
        if (at == m_names.blockAt.end())
            throw FormatError("a block that the block table does not list");
        const Point3 base = f.xy(elevation);
        g.text(2, m_names.blocks[at->second]);
        g.integer(70, m_names.blockFlags[at->second] & 0x7F);
        g.point(10, base);
        g.text(3, m_names.blocks[at->second]);
        // Its name and xref path come again here; the table's name rules.
        lenient = true;
        break;
    }
    case kEndBlock:
    case kSeqEnd:
        lenient = true; // where the sequence began, not needed here
        break;
    case kInsert:
        if (rec.followers)
            g.integer(66, 1);
        g.text(2, blockName());
        g.point(10, f.xy(elevation));
        optReal(0, 41);
        optReal(1, 42);
        optReal(2, 50, kDegrees);
        optReal(3, 43);
        optWord(4, 70);
        optWord(5, 71);
        optReal(6, 44);
        optReal(7, 45);
        extrusion(8);
        break;
    case kClosedPolyline:
    case kPolyline: {
        g.integer(66, 1);
        g.point(10, Point3{0, 0, elevation});
        int polyFlags = type == kClosedPolyline ? 1 : 0;
        if (bit(0))
            polyFlags |= f.u8();
        g.integer(70, polyFlags);
        optReal(1, 40);
        optReal(2, 41);
        extrusion(3);
        optWord(4, 71);
        optWord(5, 72);
        optWord(6, 73);
        optWord(7, 74);
        optWord(8, 75);
        break;
    }
    case kVertex:
        g.point(10, r11 && bit(9) ? Point3{0, 0, elevation} : f.xy(elevation));
        optReal(0, 40);
        optReal(1, 41);
        optReal(2, 42);
        optByte(3, 70);
        optReal(4, 50, kDegrees);
        optWord(5, 71);
        optWord(6, 72);
        optWord(7, 73);
        optWord(8, 74);
        break;
    case kDimension:
        g.text(2, blockName());
        g.point(10, dimPoint());
        g.point(11, f.xy(elevation));
        if (bit(0))
            g.point(12, f.xy(elevation));
        optByte(1, 70);
        if (bit(2))
            g.text(1, m_text(f.text()));
        for (int n = 3, code = 13; n <= 5; ++n, ++code)
            if (bit(n))
                g.point(code, dimPoint());
        if (bit(6))
            g.point(16, m_version == Version::R10 ? f.xyz() : f.xy(elevation));
        optReal(7, 40);
        optReal(8, 50, kDegrees);
        // What follows changed between releases; the block draws the
        // dimension, so the fields above are all it needs.
        lenient = true;
        break;
    case kViewport: {
        g.point(10, f.xyz());
        g.real(40, f.real());
        g.real(41, f.real());
        g.integer(68, 1);
        g.integer(69, f.i16());
        lenient = true;
        // The view it shows is kept in its extended data; a window whose
        // data is damaged still shows where it lies.
        const size_t mark = g.size();
        try {
            appendExtendedData(extended, extendedSize, m_names, m_text, g);
        } catch (const FormatError&) {
            g.truncate(mark);
        }
        break;
    }
    default:
        return false;
    }
    if (!lenient && f.pos() != f.size())
        throw FormatError("an entity's fields do not fill its record");
    return true;
}

} // namespace dv::dwg::prer13
