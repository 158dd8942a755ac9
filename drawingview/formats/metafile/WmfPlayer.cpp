#include "WmfPlayer.h"
#include "WmfClip.h"

#include "WmfDib.h"

#include <cmath>

namespace dv::wmf {

Player::Player(Document& doc, int block, Dc& dc)
    : m_doc(doc), m_block(doc.blocks[size_t(block)]), m_dc(dc),
      m_layer(doc.layerIndex(QStringLiteral("0"))) {}

bool Player::play(const Record& r) {
    bool handled = false;
    bool ok = playState(r, handled);
    if (!handled)
        ok = playShape(r, handled);
    if (!handled)
        ok = playBitmap(r, handled);
    if (!handled) {
        switch (r.function) {
        case TextOut:
            return textOut(r);
        case ExtTextOut:
            return extTextOut(r);
        case Escape: // printer escapes and comments: nothing to draw
        case SetRelAbs:
        case SetStretchBltMode:
        case SetTextCharExtra:
        case SetTextJustification:
        case SetMapperFlags:
        case SetLayout:
        case RealizePalette:
        case ResizePalette:
        case SetPalEntries:
        case AnimatePalette:
            return true;
        case IntersectClipRect: {
            if (!r.has(4))
                return false;
            const Vec2 a = m_dc.map(r.i16(3), r.i16(2)), b = m_dc.map(r.i16(1), r.i16(0));
            Box box;
            box.minX = std::min(a.x, b.x), box.maxX = std::max(a.x, b.x);
            box.minY = std::min(a.y, b.y), box.maxY = std::max(a.y, b.y);
            if (const auto& old = m_dc.state.clip) {
                // An empty intersection stays empty: nothing shows.
                box.minX = std::max(box.minX, old->minX), box.maxX = std::min(box.maxX, old->maxX);
                box.minY = std::max(box.minY, old->minY), box.maxY = std::min(box.maxY, old->maxY);
            }
            m_dc.state.clip = box;
            return true;
        }
        case SelectClipRegion: // back to no clipping: regions themselves are not kept
            m_dc.state.clip.reset();
            return true;
        // Holes in the clip area are not kept: what they would hide shows.
        case ExcludeClipRect:
        case OffsetClipRgn:
            return true;
        case FillRegion:
        case PaintRegion:
        case FrameRegion:
        case InvertRegion:
            skip(QStringLiteral("REGION"));
            return true;
        case FloodFill:
        case ExtFloodFill:
            skip(QStringLiteral("FLOODFILL"));
            return true;
        default:
            skip(QStringLiteral("record 0x%1").arg(r.function, 4, 16, QLatin1Char('0')));
            return true;
        }
    }
    return ok;
}

bool Player::playState(const Record& r, bool& handled) {
    handled = true;
    DcState& s = m_dc.state;
    switch (r.function) {
    case SaveDc:
        m_dc.save();
        return true;
    case RestoreDc:
        if (!r.has(1))
            return false;
        m_dc.restore(r.i16(0));
        return true;
    case SetBkMode:
        if (!r.has(1))
            return false;
        s.bkMode = r.u16(0);
        return true;
    case SetMapMode:
        if (!r.has(1))
            return false;
        if (r.u16(0) >= MmText && r.u16(0) <= MmAnisotropic)
            s.mapMode = r.u16(0);
        return true;
    case SetRop2:
        if (!r.has(1))
            return false;
        s.rop2 = r.u16(0);
        return true;
    case SetPolyFillMode:
        if (!r.has(1))
            return false;
        s.polyFillMode = r.u16(0);
        return true;
    case SetTextAlign:
        if (!r.has(1))
            return false;
        s.textAlign = r.u16(0);
        return true;
    case SetBkColor:
        if (!r.has(2))
            return false;
        s.bkColor = m_dc.rgb(r.u32(0));
        return true;
    case SetTextColor:
        if (!r.has(2))
            return false;
        s.textColor = m_dc.rgb(r.u32(0));
        return true;
    case SetWindowOrg:
    case SetViewportOrg:
    case OffsetWindowOrg:
    case OffsetViewportOrg: {
        if (!r.has(2))
            return false;
        const bool window = r.function == SetWindowOrg || r.function == OffsetWindowOrg;
        const bool offset = r.function == OffsetWindowOrg || r.function == OffsetViewportOrg;
        double& x = window ? s.windowOrgX : s.viewportOrgX;
        double& y = window ? s.windowOrgY : s.viewportOrgY;
        x = (offset ? x : 0) + r.i16(1);
        y = (offset ? y : 0) + r.i16(0);
        return true;
    }
    case SetWindowExt:
    case SetViewportExt: {
        if (!r.has(2))
            return false;
        if (r.i16(0) == 0 || r.i16(1) == 0)
            return true; // GDI refuses a zero extent
        const bool window = r.function == SetWindowExt;
        (window ? s.windowExtX : s.viewportExtX) = r.i16(1);
        (window ? s.windowExtY : s.viewportExtY) = r.i16(0);
        return true;
    }
    case ScaleWindowExt:
    case ScaleViewportExt: {
        if (!r.has(4))
            return false;
        const double yDen = r.i16(0), yNum = r.i16(1), xDen = r.i16(2), xNum = r.i16(3);
        if (yDen == 0 || xDen == 0 || yNum == 0 || xNum == 0)
            return true;
        const bool window = r.function == ScaleWindowExt;
        double& x = window ? s.windowExtX : s.viewportExtX;
        double& y = window ? s.windowExtY : s.viewportExtY;
        // Repeated scaling must not wear an extent down to zero or infinity.
        const auto sane = [](double v) { return std::abs(v) >= 1e-6 && std::abs(v) <= 1e9; };
        if (sane(x * xNum / xDen) && sane(y * yNum / yDen)) {
            x = x * xNum / xDen;
            y = y * yNum / yDen;
        }
        return true;
    }
    case MoveTo:
        if (!r.has(2))
            return false;
        s.curX = r.i16(1);
        s.curY = r.i16(0);
        return true;
    case SelectObject:
    case SelectPalette:
        if (!r.has(1))
            return false;
        m_dc.selectObject(r.u16(0));
        return true;
    case DeleteObject:
        if (!r.has(1))
            return false;
        m_dc.deleteObject(r.u16(0));
        return true;
    case CreatePenIndirect:
    case CreateBrushIndirect:
    case CreateFontIndirect:
    case CreatePalette:
    case CreatePatternBrush:
    case DibCreatePatternBrush:
    case CreateRegion:
        return createObject(r);
    default:
        handled = false;
        return true;
    }
}

bool Player::createObject(const Record& r) {
    GdiObject o;
    bool ok = true;
    switch (r.function) {
    case CreatePenIndirect:
        o.kind = GdiObject::PenObject;
        ok = r.has(5);
        o.pen.style = r.u16(0);
        o.pen.width = std::abs(double(r.i16(1)));
        o.pen.rgb = m_dc.rgb(r.u32(3));
        break;
    case CreateBrushIndirect:
        o.kind = GdiObject::BrushObject;
        ok = r.has(4);
        o.brush.style = r.u16(0);
        o.brush.rgb = m_dc.rgb(r.u32(1));
        o.brush.hatch = r.u16(3);
        if (o.brush.style > Brush::Hatched) {
            // A pattern without its bitmap: a neutral grey stands in.
            o.brush.style = Brush::Solid;
            o.brush.rgb = 0x808080;
        }
        break;
    case CreateFontIndirect: {
        o.kind = GdiObject::FontObject;
        ok = r.has(9);
        Font& f = o.font;
        f.height = r.i16(0);
        f.width = r.i16(1);
        f.escapement = r.i16(2);
        f.weight = r.i16(4);
        f.italic = (r.u16(5) & 0xFF) != 0;
        f.underline = (r.u16(5) >> 8) != 0;
        f.strikeOut = (r.u16(6) & 0xFF) != 0;
        f.charSet = uint8_t(r.u16(6) >> 8);
        QByteArray face;
        for (size_t i = 18; i < 18 + 32 && i < 2 * r.words; ++i) {
            const char c = char(r.params[i]);
            if (c == 0)
                break;
            face.append(c);
        }
        f.face = QString::fromLatin1(face).trimmed();
        break;
    }
    case CreatePalette: {
        o.kind = GdiObject::PaletteObject;
        ok = r.has(2);
        size_t n = r.u16(1);
        if (!r.has(2 + 2 * n)) {
            ok = false;
            n = 0;
        }
        o.palette.reserve(n);
        for (size_t i = 0; i < n; ++i) {
            const unsigned char* e = r.bytes(2 + 2 * i);
            o.palette.push_back(uint32_t(e[0]) << 16 | uint32_t(e[1]) << 8 | e[2]);
        }
        break;
    }
    case DibCreatePatternBrush: {
        // Patterns are drawn as a solid fill in the pattern's average colour.
        o.kind = GdiObject::BrushObject;
        o.brush.style = Brush::Solid;
        ok = r.has(2);
        QString problem;
        const QImage image = decodeDib(r.bytes(2), r.bytesFrom(2), problem,
                                       r.u16(1) == 1 ? &m_dc.state.palette : nullptr);
        o.brush.rgb = averageRgb(image);
        break;
    }
    case CreatePatternBrush:
        o.kind = GdiObject::BrushObject;
        o.brush.rgb = 0x808080;
        break;
    case CreateRegion:
        o.kind = GdiObject::RegionObject;
        break;
    default:
        return true;
    }
    if (!m_dc.addObject(std::move(o)))
        skip(QStringLiteral("object beyond the object table"));
    return ok;
}

bool Player::rop2Color(uint32_t rgb, uint32_t& out) const {
    switch (m_dc.state.rop2) {
    case 1: // R2_BLACK
        out = 0;
        return true;
    case 16: // R2_WHITE
        out = 0xFFFFFF;
        return true;
    case 4: // R2_NOTCOPYPEN
        out = ~rgb & 0xFFFFFF;
        return true;
    case 6:  // R2_NOT: inverts what is below, which paper cannot show
    case 11: // R2_NOP
        return false;
    default: // the copy pen; the mixing modes are drawn as copies
        out = rgb;
        return true;
    }
}

void Player::count(const char* type) {
    ++m_block.entityCounts[QString::fromLatin1(type)];
}

void Player::line(const std::vector<Vec2>& pts, bool closed, uint32_t rgb, double width,
                  const char* type) {
    if (!m_dc.state.clip) {
        styled(m_block.addPolyline(pts, closed), rgb, width, type);
        return;
    }
    for (const auto& piece : clipPath(pts, closed, *m_dc.state.clip))
        styled(m_block.addPolyline(piece, false), rgb, width, type);
}

std::vector<std::vector<Vec2>> Player::clipped(const std::vector<std::vector<Vec2>>& rings) const {
    if (!m_dc.state.clip)
        return rings;
    std::vector<std::vector<Vec2>> out;
    for (const auto& ring : rings)
        if (auto cut = clipRing(ring, *m_dc.state.clip); cut.size() >= 3)
            out.push_back(std::move(cut));
    return out;
}

Shape& Player::styled(Shape& s, uint32_t rgb, double width, const char* type) {
    s.layer = m_layer;
    s.color = Color::fromRgb(rgb);
    s.width = float(std::isfinite(width) ? width : 0.0);
    s.entityType = m_doc.entityTypeId(QString::fromLatin1(type));
    m_drew = true;
    return s;
}

} // namespace dv::wmf
