#include "Document.h"

#include "Bounds.h"
#include "Extents.h"
#include "TextMetrics.h"
#include "VectorState.h"

#include <algorithm>
#include <array>
#include <mutex>
#include <numbers>

namespace dv {

namespace {

// The CAD palette: 24 hues in 15 degree steps, five brightness levels, each
// as a saturated and a pale variant; then six greys.
std::array<uint32_t, 256> buildAciPalette() {
    std::array<uint32_t, 256> t{};
    const uint32_t fixed[10] = {0x000000, 0xFF0000, 0xFFFF00, 0x00FF00, 0x00FFFF,
                                0x0000FF, 0xFF00FF, 0xFFFFFF, 0x414141, 0x808080};
    for (int i = 0; i < 10; ++i)
        t[i] = fixed[i];
    const double levels[5] = {255, 189, 129, 104, 79};
    for (int i = 10; i < 250; ++i) {
        const int hue = (i - 10) / 10;
        const int level = ((i - 10) % 10) / 2;
        const bool pale = (i % 2) == 1;
        const double v = levels[level];
        const double lo = pale ? v * 2.0 / 3.0 : 0.0;
        const double h = hue * 15.0 / 60.0; // sector position 0..6
        const int sector = int(h);
        const double f = h - sector;
        const double rise = lo + (v - lo) * f;
        const double fall = v - (v - lo) * f;
        double r = 0, g = 0, b = 0;
        switch (sector) {
        case 0:
            r = v, g = rise, b = lo;
            break;
        case 1:
            r = fall, g = v, b = lo;
            break;
        case 2:
            r = lo, g = v, b = rise;
            break;
        case 3:
            r = lo, g = fall, b = v;
            break;
        case 4:
            r = rise, g = lo, b = v;
            break;
        default:
            r = v, g = lo, b = fall;
            break;
        }
        t[i] = (uint32_t(r) << 16) | (uint32_t(g) << 8) | uint32_t(b);
    }
    const uint32_t greys[6] = {0x333333, 0x505050, 0x696969, 0x828282, 0xBEBEBE, 0xFFFFFF};
    for (int i = 0; i < 6; ++i)
        t[250 + i] = greys[i];
    return t;
}

const std::array<uint32_t, 256>& aciPalette() {
    static const auto palette = buildAciPalette();
    return palette;
}

void addTextBounds(Box& box, const Text& t) {
    // Approximate: an average glyph is about 0.6 of the height wide, an
    // East Asian ideograph (drawn taller than capitals) about 1.45.
    const double h = std::abs(t.height);
    double glyphs = 0;
    for (QChar c : t.text)
        glyphs += c.unicode() >= 0x2E80 && !c.isSurrogate() ? 1.45 : 0.6;
    const double w = std::max(std::max(glyphs, 0.6), glyphAdvances(t.text, t.fontFamily)) * h *
                     std::abs(t.widthFactor);
    const double x0 = alignedStart(t, w);
    double y0 = 0;
    if (t.vAlign == Text::Middle)
        y0 = -h / 2;
    else if (t.vAlign == Text::Top)
        y0 = -h;
    double top = glyphs > 0.6 * double(t.text.size()) ? 1.2 : 1.0, bottom = -0.25;
    for (const Text::Decoration& d : t.decorations) {
        top = std::max(top, decorationLevel(d.line) + kDecorationThickness);
        bottom = std::min(bottom, decorationLevel(d.line) - kDecorationThickness);
    }
    addTextFrame(box, t, x0, x0 + w, y0 + h * bottom, y0 + h * top);
}

// A shape of one element of `items`.
template <typename Items, typename T>
Shape& appendOne(ShapeVector& shapes, Items& items, ShapeKind kind, const T& item) {
    Shape s;
    s.kind = kind;
    s.first = uint32_t(items.size());
    s.count = 1;
    items.push_back(item);
    shapes.push_back(s);
    return shapes.back();
}

} // namespace

uint32_t aciToRgb(int aci) {
    if (aci < 0)
        aci = -aci; // a negative index marks a layer that is off
    return aciPalette()[std::clamp(aci, 0, 255)];
}

Color Color::fromAci(int aci) {
    if (aci == 0)
        return byBlock();
    if (aci == 256 || aci < 0 || aci > 256)
        return byLayer();
    if (aci == 7)
        return foreground();
    return fromRgb(aciToRgb(aci));
}

Shape& Block::addPolyline(const std::vector<Vec2>& pts, bool closed) {
    Shape s;
    s.kind = ShapeKind::Polyline;
    s.flags = closed ? Closed : 0;
    s.first = uint32_t(points.size());
    s.count = uint32_t(pts.size());
    points.insert(points.end(), pts.begin(), pts.end());
    shapes.push_back(s);
    return shapes.back();
}

Shape& Block::addPolygon(const std::vector<Vec2>& pts) {
    Shape& s = addPolyline(pts, true);
    s.kind = ShapeKind::Polygon;
    return s;
}

Shape& Block::addPoint(Vec2 p) {
    return appendOne(shapes, points, ShapeKind::Point, p);
}

Shape& Block::addArc(const Arc& a) {
    return appendOne(shapes, arcs, ShapeKind::Arc, a);
}

Shape& Block::addText(const Text& t) {
    return appendOne(shapes, texts, ShapeKind::Text, t);
}

Shape& Block::addInsert(const Insert& ins) {
    return appendOne(shapes, inserts, ShapeKind::Insert, ins);
}

int Document::layerIndex(const QString& name) {
    for (size_t i = 0; i < layers.size(); ++i)
        if (layers[i].name.compare(name, Qt::CaseInsensitive) == 0)
            return int(i);
    Layer l;
    l.name = name;
    layers.push_back(l);
    return int(layers.size() - 1);
}

int Document::blockIndex(const QString& name) const {
    for (size_t i = 0; i < blocks.size(); ++i)
        if (blocks[i].name.compare(name, Qt::CaseInsensitive) == 0)
            return int(i);
    return -1;
}

uint16_t Document::entityTypeId(const QString& name) {
    for (size_t i = 0; i < entityTypeNames.size(); ++i)
        if (entityTypeNames[i] == name)
            return uint16_t(i);
    entityTypeNames.push_back(name);
    return uint16_t(entityTypeNames.size() - 1);
}

Shape& Block::addImage(const Image& image) {
    return appendOne(shapes, images, ShapeKind::Image, image);
}

Shape& Block::addPicture(const Picture& picture) {
    return appendOne(shapes, pictures, ShapeKind::Picture, picture);
}

Shape& Block::addViewport(const Viewport& viewport) {
    return appendOne(shapes, viewports, ShapeKind::Viewport, viewport);
}

double Document::patternShapeReach(const Shape& s) const {
    if (s.lineStyle >= lineStyles.size())
        return 0;
    const LineStyle& style = lineStyles[s.lineStyle];
    int32_t type = style.lineType;
    if (type == LineStyle::ByLayer)
        type = s.layer >= 0 && s.layer < int(layers.size()) ? layers[size_t(s.layer)].lineType
                                                            : LineStyle::Continuous;
    if (type < 0 || size_t(type) >= lineTypes.size())
        return 0;
    const double reach = lineTypes[size_t(type)].shapeReach * style.scale * lineTypeScale;
    return std::isfinite(reach) && reach > 0 ? reach : 0.0;
}

Box Document::blockExtents(int block) const {
    if (block < 0 || block >= int(blocks.size()))
        return {};
    // Measured on first use, which may come from several drawing threads at once.
    static std::mutex mutex;
    std::lock_guard lock(mutex);
    if (m_blockExtents.size() != blocks.size()) {
        m_blockExtents.assign(blocks.size(), Box{});
        std::vector<int8_t> state(blocks.size(), 0);
        for (size_t i = 0; i < blocks.size(); ++i)
            computeBlockExtents(int(i), state);
    }
    return m_blockExtents[block];
}

// state: 0 unvisited, 1 on the current path, 2 done. An insert that leads
// back into a block on the current path is a cycle and is cut (block = -1).
Box Document::computeBlockExtents(int bi, std::vector<int8_t>& state) const {
    if (state[bi] == 2)
        return m_blockExtents[bi];
    state[bi] = 1;
    auto& b = const_cast<Block&>(blocks[bi]);
    Box box;
    for (const Shape& s : b.shapes) {
        if (addOwnShapeBounds(box, b, s))
            continue;
        switch (s.kind) {
        case ShapeKind::Text:
            if (s.first < b.texts.size())
                addTextBounds(box, b.texts[s.first]);
            break;
        case ShapeKind::Insert: {
            if (s.first >= b.inserts.size())
                break;
            Insert& ins = b.inserts[s.first];
            if (ins.block < 0 || ins.block >= int(blocks.size()))
                break;
            if (state[ins.block] == 1) {
                ins.block = -1;
                break;
            }
            const Box inner = computeBlockExtents(ins.block, state);
            if (!inner.isValid())
                break;
            addInsertBounds(box, ins, inner, blocks[ins.block].basePoint);
            break;
        }
        default:
            break;
        }
    }
    m_blockExtents[bi] = box;
    state[bi] = 2;
    return box;
}

// An insert that leads back into a block on the current path is a cycle and
// is cut (block = -1) before anything follows inserts. Only inserts are
// walked: measuring every block here would cost a walk of the whole drawing.
void Document::cutInsertCycles() {
    std::vector<int8_t> state(blocks.size(), 0); // 0 unvisited, 1 on the path, 2 done
    struct Step {
        int block;
        size_t next; // the next insert of its block to follow
    };
    std::vector<Step> path;
    for (size_t root = 0; root < blocks.size(); ++root) {
        if (state[root] != 0)
            continue;
        state[root] = 1;
        path.push_back({int(root), 0});
        while (!path.empty()) {
            Step& top = path.back();
            std::vector<Insert>& inserts = blocks[size_t(top.block)].inserts;
            if (top.next >= inserts.size()) {
                state[size_t(top.block)] = 2;
                path.pop_back();
                continue;
            }
            Insert& ins = inserts[top.next++];
            if (ins.block < 0 || ins.block >= int(blocks.size()))
                continue;
            if (state[size_t(ins.block)] == 1) {
                ins.block = -1;
                continue;
            }
            if (state[size_t(ins.block)] == 0) {
                state[size_t(ins.block)] = 1;
                path.push_back({ins.block, 0});
            }
        }
    }
}

void Document::finish() {
    clearUpperVectorState();
    m_blockExtents.clear();
    cutInsertCycles();
    ExtentsMeter meter(*this);
    for (Layout& l : layouts)
        l.extents = meter.layoutExtents(l.block);
    if (activeLayout < 0 || activeLayout >= int(layouts.size()))
        activeLayout = 0;
}

} // namespace dv
