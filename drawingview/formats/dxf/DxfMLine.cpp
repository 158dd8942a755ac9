// MLINE: parallel lines along a path. Each vertex stores, per element, its
// distance along the vertex's miter, so the geometry needs no style lookup;
// colours, the fill and the end caps come from the style.

#include "DxfEntities.h"
#include "DxfVector.h"

#include <cmath>
#include <numbers>

namespace dv::dxf {

namespace {

// A multiline style has at most 16 elements; more is a damaged file.
constexpr size_t kMaxElements = 16;
constexpr uint32_t kNoShape = ~0u;
// Multiline flags (71).
constexpr int kClosed = 2;
constexpr int kSuppressStartCaps = 4;
constexpr int kSuppressEndCaps = 8;
// Multiline style flags (70).
constexpr int kStyleFilled = 1;
constexpr int kStartLineCap = 16;
constexpr int kStartRoundCap = 64;
constexpr int kEndLineCap = 256;
constexpr int kEndRoundCap = 1024;

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
    uint64_t styleHandle = 0;
    std::string_view styleName;
    std::vector<MLineVertex> vertices;
    bool firstParameter = false; // the next 41 is the element's miter offset
    for (const Item& it : items) {
        switch (it.code) {
        case 2:
            styleName = it.text;
            break;
        case 340:
            styleHandle = handleFromText(it.text);
            break;
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
    const bool closed = (flags & kClosed) != 0;
    auto elementPoints = [&](size_t e) {
        std::vector<Vec2> pts;
        for (const MLineVertex& v : vertices) {
            const Vec2 p{v.at.x + v.miter.x * v.offsets[e], v.at.y + v.miter.y * v.offsets[e]};
            if (std::isfinite(p.x) && std::isfinite(p.y))
                pts.push_back(p);
        }
        return pts;
    };
    // The outermost elements bound the fill and carry the caps.
    size_t high = 0, low = 0;
    for (size_t e = 0; e < elements; ++e) {
        if (vertices.front().offsets[e] > vertices.front().offsets[high])
            high = e;
        if (vertices.front().offsets[e] < vertices.front().offsets[low])
            low = e;
    }
    Block& b = m_ctx.doc.blocks[size_t(block)];
    PendingMLine pending{block, kNoShape, 0,  0,  styleHandle, m_ctx.nameKey(styleName),
                         false, false,    {}, {}, {},          {},
                         {},    {}};
    const std::vector<Vec2> highPts = elements ? elementPoints(high) : std::vector<Vec2>();
    const std::vector<Vec2> lowPts = elements ? elementPoints(low) : std::vector<Vec2>();
    if (high != low && highPts.size() >= 2 && lowPts.size() >= 2) {
        // Drawn under the element lines; shown once the style says it fills.
        std::vector<Vec2> area = highPts;
        area.insert(area.end(), lowPts.rbegin(), lowPts.rend());
        pending.fill = uint32_t(b.shapes.size());
        addPath(block, area, true, true, cm, type);
        if (closed)
            b.ringStarts.push_back(uint32_t(b.points.size() - lowPts.size()));
    }
    pending.elements = uint32_t(b.shapes.size());
    for (size_t e = 0; e < elements; ++e) {
        const std::vector<Vec2> pts = elementPoints(e);
        if (pts.size() < 2)
            continue;
        addPath(block, pts, closed, false, cm, type);
        ++pending.count;
    }
    if (pending.count != elements)
        pending.count = 0; // elements went missing: colours would go to the wrong lines
    if (!closed && high != low && highPts.size() >= 2 && lowPts.size() >= 2 &&
        highPts.size() == lowPts.size()) {
        pending.startCap = !(flags & kSuppressStartCaps);
        pending.endCap = !(flags & kSuppressEndCaps);
        pending.startHigh = highPts.front();
        pending.startLow = lowPts.front();
        pending.startDir = highPts[1] - highPts[0];
        pending.endHigh = highPts.back();
        pending.endLow = lowPts.back();
        pending.endDir = highPts[highPts.size() - 1] - highPts[highPts.size() - 2];
    }
    if (pending.fill != kNoShape || pending.count > 0 || pending.startCap || pending.endCap)
        m_mlines.push_back(std::move(pending));
}

void EntityReader::addMLineCap(const PendingMLine& m, Vec2 high, Vec2 low, Vec2 outward,
                               bool round) {
    Block& b = m_ctx.doc.blocks[size_t(m.block)];
    const Shape model = b.shapes[m.elements]; // a copy: adding the cap may move the shapes
    std::vector<Vec2> pts{high};
    const Vec2 centre = (high + low) * 0.5;
    const double r = length(high - centre);
    const double reach = length(outward);
    if (round && r > 0 && reach > 0) {
        // A half circle from one outer line to the other, bulging past the end.
        const Vec2 u = (high - centre) * (1 / r);
        Vec2 w = outward * (1 / reach);
        w = w - u * dot(w, u);
        if (length(w) > 1e-9) {
            w = w * (1 / length(w));
            constexpr int steps = 16;
            for (int i = 1; i < steps; ++i) {
                const double a = std::numbers::pi * i / steps;
                pts.push_back(centre + u * (r * std::cos(a)) + w * (r * std::sin(a)));
            }
        }
    }
    pts.push_back(low);
    Shape& cap = b.addPolyline(pts, false);
    cap.entityType = model.entityType;
    cap.layer = model.layer;
    cap.color = model.color;
    cap.lineStyle = model.lineStyle;
    cap.lineWeight = model.lineWeight;
}

void EntityReader::finishMLines() {
    for (const PendingMLine& m : m_mlines) {
        const DxfContext::MLineStyle* style = nullptr;
        auto found = m_ctx.mlineStyles.find(m.style);
        if (found == m_ctx.mlineStyles.end()) {
            const auto named = m_ctx.mlineStyleNames.find(m.styleName);
            if (named != m_ctx.mlineStyleNames.end())
                found = m_ctx.mlineStyles.find(named->second);
        }
        if (found != m_ctx.mlineStyles.end())
            style = &found->second;
        Block& b = m_ctx.doc.blocks[size_t(m.block)];
        // ByLayer and ByBlock elements keep the multiline's own colour.
        auto explicitColor = [](const Color& c) {
            return c.kind != Color::Kind::ByLayer && c.kind != Color::Kind::ByBlock;
        };
        if (m.fill != kNoShape) {
            Shape& fill = b.shapes[m.fill];
            if (!style || !(style->flags & kStyleFilled))
                fill.count = 0;
            else if (explicitColor(style->fill))
                fill.color = style->fill;
        }
        if (!style || m.count == 0)
            continue;
        // Caps first: they take the multiline's colour, not an element's.
        if (m.startCap && (style->flags & (kStartLineCap | kStartRoundCap)))
            addMLineCap(m, m.startHigh, m.startLow, m.startDir * -1.0,
                        style->flags & kStartRoundCap);
        if (m.endCap && (style->flags & (kEndLineCap | kEndRoundCap)))
            addMLineCap(m, m.endHigh, m.endLow, m.endDir, style->flags & kEndRoundCap);
        if (m.count == style->elements.size())
            for (uint32_t e = 0; e < m.count; ++e)
                if (explicitColor(style->elements[e]))
                    b.shapes[m.elements + e].color = style->elements[e];
    }
    m_mlines.clear();
}

} // namespace dv::dxf
