#include "WmfDib.h"
#include "WmfPlayer.h"

#include <algorithm>
#include <cmath>
#include <memory>

namespace dv::wmf {

namespace {

enum Rop : uint32_t {
    Blackness = 0x00000042,
    NotSrcCopy = 0x00330008,
    DstInvert = 0x00550009,
    PatInvert = 0x005A0049,
    SrcInvert = 0x00660046,
    SrcAnd = 0x008800C6,
    Dst = 0x00AA0029,
    SrcCopy = 0x00CC0020,
    SrcPaint = 0x00EE0086,
    PatCopy = 0x00F00021,
    Whiteness = 0x00FF0062,
};

// Masking blits (AND, OR, XOR) are drawn as copies whose neutral pixels
// are left transparent, which is how such masks look on a white page.
QImage applyRop(QImage image, uint32_t rop) {
    uint32_t neutral = 0;
    switch (rop) {
    case SrcAnd:
        neutral = 0xFFFFFF;
        break;
    case SrcPaint:
    case SrcInvert:
        neutral = 0;
        break;
    case NotSrcCopy:
        image.invertPixels();
        return image;
    default:
        return image;
    }
    image = image.convertToFormat(QImage::Format_ARGB32);
    for (int y = 0; y < image.height(); ++y) {
        auto* line = reinterpret_cast<QRgb*>(image.scanLine(y));
        for (int x = 0; x < image.width(); ++x)
            if ((line[x] & 0xFFFFFF) == neutral)
                line[x] = 0;
    }
    return image;
}

} // namespace

bool Player::playBitmap(const Record& r, bool& handled) {
    handled = true;
    switch (r.function) {
    case PatBlt:
        if (!r.has(6))
            return false;
        return patBlt(r.u32(0), r.i16(5), r.i16(4), r.i16(3), r.i16(2), "PATBLT");
    case BitBlt:
    case DibBitBlt:
        if (r.words == 9) // no bitmap: the brush fills the destination
            return patBlt(r.u32(0), r.i16(8), r.i16(7), r.i16(6), r.i16(5),
                          r.function == BitBlt ? "BITBLT" : "DIBBITBLT");
        if (!r.has(9))
            return false;
        if (r.function == BitBlt) {
            skip(QStringLiteral("BITBLT of a device-dependent bitmap"));
            return true;
        }
        return placeDib(r, 8, r.u32(0), r.i16(7), r.i16(6), r.i16(5), r.i16(4), r.i16(3), r.i16(2),
                        r.i16(5), r.i16(4), false, false, "DIBBITBLT");
    case StretchBlt:
    case DibStretchBlt:
        if (r.words == 11)
            return patBlt(r.u32(0), r.i16(10), r.i16(9), r.i16(8), r.i16(7),
                          r.function == StretchBlt ? "STRETCHBLT" : "DIBSTRETCHBLT");
        if (!r.has(11))
            return false;
        if (r.function == StretchBlt) {
            skip(QStringLiteral("STRETCHBLT of a device-dependent bitmap"));
            return true;
        }
        return placeDib(r, 10, r.u32(0), r.i16(9), r.i16(8), r.i16(7), r.i16(6), r.i16(5), r.i16(4),
                        r.i16(3), r.i16(2), false, false, "DIBSTRETCHBLT");
    case StretchDib:
        if (!r.has(12))
            return false;
        return placeDib(r, 11, r.u32(0), r.i16(10), r.i16(9), r.i16(8), r.i16(7), r.i16(6),
                        r.i16(5), r.i16(4), r.i16(3), true, r.u16(2) == 1, "STRETCHDIB");
    case SetDibToDev:
        if (!r.has(10))
            return false;
        return placeDib(r, 9, SrcCopy, r.i16(8), r.i16(7), r.i16(6), r.i16(5), r.i16(4), r.i16(3),
                        r.i16(6), r.i16(5), true, r.u16(0) == 1, "SETDIBTODEV");
    default:
        handled = false;
        return true;
    }
}

bool Player::patBlt(uint32_t rop, double x, double y, double w, double h, const char* type) {
    count(type);
    if (w == 0 || h == 0 || rop == Dst)
        return true;
    switch (rop) {
    case PatCopy:
        fillRings(
            {{m_dc.map(x, y), m_dc.map(x + w, y), m_dc.map(x + w, y + h), m_dc.map(x, y + h)}},
            m_dc.state.brush, type);
        return true;
    case Blackness:
    case Whiteness:
        fillRect(x, y, x + w, y + h, rop == Blackness ? 0 : 0xFFFFFF, type);
        return true;
    default: // inverting what is below cannot be shown on paper
        skip(QStringLiteral("%1 raster operation 0x%2")
                 .arg(QLatin1String(type))
                 .arg(rop, 8, 16, QLatin1Char('0')));
        return true;
    }
}

bool Player::placeDib(const Record& r, size_t dibWord, uint32_t rop, double dx, double dy,
                      double dw, double dh, double sx, double sy, double sw, double sh,
                      bool bottomUpSource, bool paletteColors, const char* type) {
    count(type);
    QString problem;
    QImage image = decodeDib(r.bytes(dibWord), r.bytesFrom(dibWord), problem,
                             paletteColors ? &m_dc.state.palette : nullptr);
    if (image.isNull()) {
        skip(QStringLiteral("%1: %2").arg(QLatin1String(type), problem));
        return true;
    }
    if (dw == 0 || dh == 0)
        return true;
    // The source rectangle, in pixels from the top; DIB calls count rows
    // from the bottom.
    if (sw > 0 && sh > 0) {
        const double top = bottomUpSource ? image.height() - sy - sh : sy;
        const QRect source = QRect(int(sx), int(top), int(sw), int(sh)) & image.rect();
        if (!source.isEmpty() && source != image.rect())
            image = image.copy(source);
    }
    image = applyRop(std::move(image), rop);
    if (image.isNull())
        return true;
    Image placed;
    placed.origin = m_dc.map(dx, dy);
    const Vec2 right = m_dc.map(dx + dw, dy), down = m_dc.map(dx, dy + dh);
    placed.u = {(right.x - placed.origin.x) / image.width(),
                (right.y - placed.origin.y) / image.width()};
    placed.v = {(down.x - placed.origin.x) / image.height(),
                (down.y - placed.origin.y) / image.height()};
    placed.image = std::make_shared<const QImage>(std::move(image));
    if (const auto& c = m_dc.state.clip)
        placed.clip = {
            {c->minX, c->minY}, {c->maxX, c->minY}, {c->maxX, c->maxY}, {c->minX, c->maxY}};
    styled(m_block.addImage(placed), 0, 0, type);
    return true;
}

} // namespace dv::wmf
