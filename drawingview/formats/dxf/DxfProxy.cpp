// Entities this reader has no geometry for, drawn from the graphics their
// CAD program stored with them (ACAD_PROXY_ENTITY, or custom classes saved
// with proxy graphics); without such graphics they are counted as skipped.

#include "DxfEntities.h"
#include "DxfHelix.h"
#include "DxfProxyGraphics.h"

namespace dv::dxf {

namespace {

// More would be no drawing's entity: a damaged or hostile size.
constexpr size_t kMaxGraphicsBytes = size_t(64) << 20;

} // namespace

void EntityReader::readProxy(Cursor& c, const Target& t, std::string_view rawType) {
    const std::string type(trimmed(rawType));
    Common cm;
    std::vector<uint8_t> bytes;
    size_t expected = 0;
    bool collecting = false, damaged = false;
    // A helix is drawn from its own definition where that can be seen.
    const bool helix = type == "HELIX";
    HelixOutline outline;
    while (c.advance() && c.group().code != 0) {
        const Group& g = c.group();
        if (common(g, cm))
            continue;
        if (helix)
            outline.take(g);
        if ((g.code == 92 || g.code == 160) && bytes.empty()) {
            const int64_t size = g.code == 92 ? int64_t(toInt(g)) : int64_t(toDouble(g));
            collecting = size > 8 && size_t(size) <= kMaxGraphicsBytes;
            expected = collecting ? size_t(size) : 0;
        } else if (g.code == 310 && collecting) {
            damaged = damaged || !appendHex(g.value, bytes);
            collecting = !damaged && bytes.size() < expected;
        } else {
            collecting = false; // the graphics are one run of 310 groups
        }
    }
    if (helix) {
        if (const std::vector<Vec2> spiral = outline.plan(); spiral.size() >= 2) {
            uint16_t typeId;
            if (const int block = place(cm, t, type, typeId); block >= 0)
                addPath(block, spiral, false, false, cm, typeId);
            return;
        }
    }
    ProxyGraphics graphics;
    if (!damaged && bytes.size() >= 8)
        graphics = decodeProxyGraphics(bytes);
    if (graphics.shapes.empty()) {
        m_ctx.countSkipped(type);
        return;
    }
    uint16_t typeId;
    const int block = place(cm, t, type, typeId);
    if (block < 0)
        return;
    const int layers = int(m_ctx.doc.layers.size());
    for (ProxyShape& p : graphics.shapes) {
        Block& b = m_ctx.doc.blocks[size_t(block)];
        Shape* s = nullptr;
        if (p.kind == ProxyShape::Kind::Text) {
            if (!p.unicode)
                p.text.text = m_ctx.text.decodeText(p.raw);
            if (p.text.text.trimmed().isEmpty())
                continue;
            s = &b.addText(p.text);
            style(*s, cm, typeId);
        } else {
            s = &addPath(block, p.points, p.closed, p.kind == ProxyShape::Kind::Area, cm, typeId);
        }
        // ByBlock in the graphics means the entity's own colour, which it has.
        if (p.color && p.color->kind != Color::Kind::ByBlock)
            s->color = *p.color;
        if (p.layer >= 0 && p.layer < layers)
            s->layer = p.layer;
    }
    if (graphics.unknownCommands > 0)
        m_ctx.countSkipped("proxy graphics command");
}

} // namespace dv::dxf
