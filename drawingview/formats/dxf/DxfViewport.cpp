// Paper-space VIEWPORT entities: windows onto the model, read from the
// entity's own groups or, in R12 files, from its "ACAD" MVIEW extended data.

#include "DxfEntities.h"

#include <algorithm>
#include <cmath>
#include <numbers>

namespace dv::dxf {

namespace {

constexpr double kDeg = std::numbers::pi / 180.0;
constexpr int kNonRectangularClip = 0x10000;
constexpr int kViewportOff = 0x20000;
constexpr int kPerspective = 0x1;

// The view as R12 files keep it, in the order the MVIEW data lists it.
struct MView {
    bool present = false;
    int points = 0; // 1010 groups seen: the target, then the direction
    int reals = 0;  // 1040 groups seen: twist, height, centre x, centre y, ...
    double target[2] = {0, 0};
    double direction[3] = {0, 0, 1};
    double twist = 0, height = 0, cx = 0, cy = 0;
    std::vector<std::string_view> frozen;
};

} // namespace

uint64_t handleFromText(std::string_view text) {
    text = trimmed(text);
    if (text.empty() || text.size() > 16)
        return 0;
    uint64_t h = 0;
    for (char ch : text) {
        const int d = hexDigit(char32_t(uint8_t(ch)));
        if (d < 0)
            return 0;
        h = (h << 4) | uint64_t(d);
    }
    return h;
}

void EntityReader::readViewport(Cursor& c, const Target& t) {
    Common cm;
    collect(c, cm, m_items);
    Viewport vp;
    int status = 1, id = 0, flags = 0;
    bool haveView = false;
    double direction[3] = {0, 0, 1};
    std::vector<uint64_t> frozen;
    uint64_t clipOutline = 0;
    MView mview;
    bool acad = false;
    for (const Item& it : m_items) {
        switch (it.code) {
        case 10:
            vp.center.x = it.num;
            break;
        case 20:
            vp.center.y = it.num;
            break;
        case 40:
            vp.width = it.num;
            break;
        case 41:
            vp.height = it.num;
            break;
        case 68:
            status = int(it.num);
            break;
        case 69:
            id = int(it.num);
            break;
        case 12:
            vp.viewCenter.x = it.num;
            break;
        case 22:
            vp.viewCenter.y = it.num;
            break;
        case 16:
        case 26:
        case 36:
            direction[it.code / 10 - 1] = it.num;
            break;
        case 17:
            vp.target.x = it.num;
            break;
        case 27:
            vp.target.y = it.num;
            break;
        case 45:
            vp.viewHeight = it.num;
            haveView = true;
            break;
        case 51:
            vp.twist = it.num * kDeg;
            break;
        case 90:
            flags = int(it.num);
            break;
        case 331:
            if (const uint64_t h = handleFromText(it.text))
                frozen.push_back(h);
            break;
        case 340:
            clipOutline = handleFromText(it.text);
            break;
        case 1001:
            acad = trimmed(it.text) == "ACAD";
            break;
        case 1000:
            if (acad && trimmed(it.text) == "MVIEW")
                mview.present = true;
            break;
        case 1010:
        case 1020:
        case 1030:
            if (mview.present) {
                if (it.code == 1010)
                    ++mview.points;
                const int axis = it.code / 10 - 101;
                if (mview.points == 1 && axis < 2)
                    mview.target[axis] = it.num;
                else if (mview.points == 2)
                    mview.direction[axis] = it.num;
            }
            break;
        case 1040:
            if (mview.present) {
                double* values[4] = {&mview.twist, &mview.height, &mview.cx, &mview.cy};
                if (mview.reals < 4)
                    *values[mview.reals] = it.num;
                ++mview.reals;
            }
            break;
        case 1003:
            if (mview.present)
                mview.frozen.push_back(it.text);
            break;
        default:
            break;
        }
    }
    uint16_t type;
    const int block = place(cm, t, "VIEWPORT", type);
    if (block < 0)
        return;
    if (block == m_ctx.modelSpaceBlock()) {
        m_ctx.countSkipped("VIEWPORT in model space");
        return;
    }
    // The first viewport of a layout (ID 1) is the sheet itself, not a window.
    const bool first = std::find(m_viewportBlocks.begin(), m_viewportBlocks.end(), block) ==
                       m_viewportBlocks.end();
    if (first)
        m_viewportBlocks.push_back(block);
    if (id == 1 || (id == 0 && first))
        return;
    if (!haveView && mview.present && mview.reals >= 4) {
        vp.viewHeight = mview.height;
        vp.twist = mview.twist * kDeg;
        vp.viewCenter = {mview.cx, mview.cy};
        vp.target = {mview.target[0], mview.target[1]};
        std::copy(std::begin(mview.direction), std::end(mview.direction), direction);
        for (std::string_view name : mview.frozen)
            if (const int layer = m_ctx.existingLayer(name); layer >= 0)
                vp.frozenLayers.push_back(layer);
    }
    if (!(vp.width > 0) || !(vp.height > 0) || !std::isfinite(vp.width) ||
        !std::isfinite(vp.height)) {
        m_ctx.countSkipped("VIEWPORT without size");
        return;
    }
    // Off: the border shows, the window stays empty.
    const bool off = status == 0 || (flags & kViewportOff) != 0;
    vp.block = off ? -1 : m_ctx.modelSpaceBlock();
    if (!off && !(vp.viewHeight > 0 && std::isfinite(vp.viewHeight))) {
        m_ctx.countSkipped("VIEWPORT without view height");
        vp.block = -1;
    }
    if (vp.block >= 0) {
        // Anything but a plan view from above would need a 3D projection.
        const bool plan = std::abs(direction[0]) <= 1e-9 * std::abs(direction[2]) &&
                          std::abs(direction[1]) <= 1e-9 * std::abs(direction[2]) &&
                          direction[2] > 0;
        if (!plan || (flags & kPerspective))
            m_ctx.countSkipped("VIEWPORT 3D view (drawn in plan)");
    }
    // The window's own outline is an entity of the layout, found once all are read.
    if (!(flags & kNonRectangularClip))
        clipOutline = 0;
    Block& b = m_ctx.doc.blocks[size_t(block)];
    const uint32_t index = uint32_t(b.viewports.size());
    Shape& s = b.addViewport(vp);
    style(s, cm, type);
    for (uint64_t h : frozen)
        m_frozenRefs.push_back({block, index, h});
    if (clipOutline)
        m_clipRefs.push_back({block, index, clipOutline});
}

void EntityReader::rememberOutline() {
    // Only a layout's own entities can outline its windows.
    if (m_placed.block < 0 || m_placed.block == m_ctx.modelSpaceBlock() ||
        !m_ctx.doc.blocks[size_t(m_placed.block)].name.startsWith(QLatin1String("*Paper_Space"),
                                                                  Qt::CaseInsensitive))
        return;
    const uint64_t handle = handleFromText(m_placed.handle);
    const uint32_t end = uint32_t(m_ctx.doc.blocks[size_t(m_placed.block)].shapes.size());
    if (handle && end > m_placed.firstShape)
        m_outlines[handle] = {m_placed.block, m_placed.firstShape, end};
}

std::vector<Vec2> EntityReader::outlinePoints(const Outline& o) const {
    const Block& b = m_ctx.doc.blocks[size_t(o.block)];
    if (auto centre = m_centreLines.find({o.block, o.first}); centre != m_centreLines.end())
        return centre->second;
    std::vector<Vec2> pts;
    for (uint32_t i = o.first; i < o.end && i < b.shapes.size() && pts.size() < 3; ++i) {
        const Shape& s = b.shapes[i];
        pts.clear();
        if (s.kind == ShapeKind::Polyline || s.kind == ShapeKind::Polygon) {
            const size_t end = std::min(b.points.size(), size_t(s.first) + s.count);
            for (size_t k = s.first; k < end; ++k)
                pts.push_back(b.points[k]);
        } else if (s.kind == ShapeKind::Arc && s.first < b.arcs.size()) {
            const Arc& a = b.arcs[s.first];
            constexpr int steps = 128;
            const double c = std::cos(a.rotation), sn = std::sin(a.rotation);
            for (int k = 0; k < steps; ++k) {
                const double t = a.startAngle + (a.endAngle - a.startAngle) * k / steps;
                const double x = a.radiusX * std::cos(t), y = a.radiusY * std::sin(t);
                pts.push_back({a.center.x + x * c - y * sn, a.center.y + x * sn + y * c});
            }
        }
    }
    if (pts.size() < 3)
        pts.clear();
    return pts;
}

void EntityReader::finishViewports() {
    Document& doc = m_ctx.doc;
    for (const FrozenRef& r : m_frozenRefs) {
        const int layer = m_ctx.layerByHandle(r.layerHandle);
        if (layer >= 0)
            doc.blocks[size_t(r.block)].viewports[r.viewport].frozenLayers.push_back(layer);
    }
    m_frozenRefs.clear();
    for (const ClipRef& r : m_clipRefs) {
        const auto found = m_outlines.find(r.outline);
        std::vector<Vec2> clip;
        if (found != m_outlines.end() && found->second.block == r.block)
            clip = outlinePoints(found->second);
        if (clip.empty())
            ++doc.skippedEntities[QStringLiteral(
                "VIEWPORT clip boundary not found (rectangle used)")];
        else
            doc.blocks[size_t(r.block)].viewports[r.viewport].clip = std::move(clip);
    }
    m_clipRefs.clear();
    m_outlines.clear();
    for (int block : m_viewportBlocks)
        for (Viewport& vp : doc.blocks[size_t(block)].viewports) {
            auto& f = vp.frozenLayers;
            std::sort(f.begin(), f.end());
            f.erase(std::unique(f.begin(), f.end()), f.end());
        }
}

} // namespace dv::dxf
