// MLINE: parallel lines along a path. Each vertex stores, per element, its
// distance along the vertex's miter, so the geometry needs no style lookup.

#include "DxfEntities.h"

#include <cmath>

namespace dv::dxf {

namespace {

// A multiline style has at most 16 elements; more is a damaged file.
constexpr size_t kMaxElements = 16;

struct MLineVertex {
    Vec2 at;
    Vec2 miter;
    std::vector<double> offsets; // per element
};

} // namespace

void EntityReader::readMLine(Cursor& c, const Target& t) {
    Common cm;
    std::vector<Item> items;
    collect(c, cm, items);
    int flags = 0;
    std::vector<MLineVertex> vertices;
    bool firstParameter = false; // the next 41 is the element's miter offset
    for (const Item& it : items) {
        switch (it.code) {
        case 71:
            flags = int(it.num);
            break;
        case 11:
            vertices.push_back({{it.num, 0}, {0, 0}, {}});
            break;
        case 21:
            if (!vertices.empty())
                vertices.back().at.y = it.num;
            break;
        case 13:
            if (!vertices.empty())
                vertices.back().miter.x = it.num;
            break;
        case 23:
            if (!vertices.empty())
                vertices.back().miter.y = it.num;
            break;
        case 74:
            firstParameter = !vertices.empty() && vertices.back().offsets.size() < kMaxElements;
            if (firstParameter && it.num < 1) {
                vertices.back().offsets.push_back(0); // an element without parameters
                firstParameter = false;
            }
            break;
        case 41:
            // Further parameters break the element into dashes; drawn solid.
            if (firstParameter) {
                vertices.back().offsets.push_back(it.num);
                firstParameter = false;
            }
            break;
        default:
            break;
        }
    }
    uint16_t type;
    const int block = place(cm, t, "MLINE", type);
    if (block < 0 || vertices.empty())
        return;
    size_t elements = vertices.front().offsets.size();
    for (const MLineVertex& v : vertices)
        elements = std::min(elements, v.offsets.size());
    const bool closed = (flags & 2) != 0;
    std::vector<Vec2> pts;
    for (size_t e = 0; e < elements; ++e) {
        pts.clear();
        for (const MLineVertex& v : vertices) {
            const Vec2 p{v.at.x + v.miter.x * v.offsets[e], v.at.y + v.miter.y * v.offsets[e]};
            if (std::isfinite(p.x) && std::isfinite(p.y))
                pts.push_back(p);
        }
        if (pts.size() >= 2)
            addPath(block, pts, closed, false, cm, type);
    }
}

} // namespace dv::dxf
