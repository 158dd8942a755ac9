#include "DwgPreR13Early.h"

#include "DwgByteReader.h"

#include <cstring>
#include <numbers>

namespace dv::dwg::prer13 {

namespace {

constexpr double kDegrees = 180 / std::numbers::pi;

class EarlyFields {
public:
    EarlyFields(const uint8_t* data, size_t at, size_t end) : m_r(data, end, "entity record") {
        m_r.seek(at);
    }
    size_t pos() const { return m_r.pos(); }
    int i16() { return int16_t(m_r.u16()); }
    double real() { return m_r.f64(); }
    Point3 xy() { return Point3{real(), real(), 0}; }
    std::string text() {
        const int n = i16();
        if (n < 0)
            throw FormatError("truncated entity record");
        const auto* p = reinterpret_cast<const char*>(m_r.bytes(size_t(n)));
        return std::string(p, strnlen(p, size_t(n)));
    }

private:
    ByteReader m_r;
};

} // namespace

EarlyRecord decodeEarlyRecord(const uint8_t* data, size_t at, size_t end, const Names& names,
                              const TextConverter& text, GroupList& g, bool& drawn) {
    EarlyFields f(data, at, end);
    EarlyRecord rec;
    const int stored = f.i16();
    rec.erased = stored < 0;
    rec.type = stored < 0 ? -stored : stored;
    const int layer = f.i16();
    rec.layer = layer;
    // Fields are read even for what is not drawn: the next record follows them.
    GroupList scratch;
    GroupList& o = rec.erased ? scratch : g;
    drawn = !rec.erased;
    auto head = [&]() {
        o.text(0, typeName(rec.type, Version::R1_4));
        static const std::string kZero = "0";
        o.text(8, layer >= 0 && size_t(layer) < names.layers.size() ? names.layers[size_t(layer)]
                                                                    : kZero);
    };
    switch (rec.type) {
    case 1: // LINE
        head();
        o.point(10, f.xy());
        o.point(11, f.xy());
        break;
    case 2: // POINT
        head();
        o.point(10, f.xy());
        break;
    case 3: // CIRCLE
    case 8: // ARC
        head();
        o.point(10, f.xy());
        o.real(40, f.real());
        if (rec.type == 8) {
            o.real(50, f.real() * kDegrees);
            o.real(51, f.real() * kDegrees);
        }
        break;
    case 4: { // SHAPE
        head();
        o.point(10, f.xy());
        o.real(40, f.real());
        o.real(50, f.real() * kDegrees);
        o.integer(2, f.i16());
        break;
    }
    case 7: { // TEXT
        head();
        o.point(10, f.xy());
        o.real(40, f.real());
        const double angle = f.real();
        o.text(1, text(f.text()));
        o.real(50, angle * kDegrees);
        break;
    }
    case 9:  // TRACE
    case 11: // SOLID
        head();
        for (int code = 10; code <= 13; ++code)
            o.point(code, f.xy());
        break;
    case 12: { // BLOCK
        head();
        const std::string name = text(f.text());
        o.text(2, name);
        o.integer(70, 0);
        o.point(10, f.xy());
        o.text(3, name);
        break;
    }
    case 13: // ENDBLK
        head();
        break;
    case 14: { // INSERT
        head();
        o.text(2, text(f.text()));
        o.point(10, f.xy());
        o.real(41, f.real());
        o.real(42, f.real());
        o.real(50, f.real() * kDegrees);
        break;
    }
    case 5: // REPEAT: entities up to ENDREP repeated in rows and columns
        drawn = false;
        break;
    case 6: // ENDREP
        f.i16();
        f.i16();
        f.real();
        f.real();
        drawn = false;
        break;
    case 10: // LOAD: a shape file by name
        f.text();
        drawn = false;
        break;
    default:
        throw FormatError("an entity of unknown type " + std::to_string(stored) +
                          " hides where the next one starts");
    }
    rec.end = f.pos();
    return rec;
}

} // namespace dv::dwg::prer13
