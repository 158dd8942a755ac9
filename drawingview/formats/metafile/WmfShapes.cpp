#include "WmfPlayer.h"

#include <algorithm>
#include <cmath>
#include <numbers>

namespace dv::wmf {

namespace {

constexpr double kTwoPi = 2 * std::numbers::pi;

enum Elliptic { EllipseShape, ArcShape, PieShape, ChordShape };

std::vector<Vec2> ellipsePoints(Vec2 c, double rx, double ry, double t0, double t1) {
    const int n = std::max(8, int(std::ceil(72 * std::abs(t1 - t0) / kTwoPi)));
    std::vector<Vec2> pts;
    pts.reserve(size_t(n) + 1);
    for (int i = 0; i <= n; ++i) {
        const double t = t0 + (t1 - t0) * i / n;
        pts.push_back({c.x + rx * std::cos(t), c.y + ry * std::sin(t)});
    }
    return pts;
}

} // namespace

bool Player::playShape(const Record& r, bool& handled) {
    handled = true;
    DcState& s = m_dc.state;
    switch (r.function) {
    case LineTo: {
        if (!r.has(2))
            return false;
        const double x = r.i16(1), y = r.i16(0);
        stroke({m_dc.map(s.curX, s.curY), m_dc.map(x, y)}, false, "LINETO");
        count("LINETO");
        s.curX = x;
        s.curY = y;
        return true;
    }
    case Polyline:
    case Polygon: {
        if (!r.has(1))
            return false;
        const size_t n = r.u16(0);
        if (!r.has(1 + 2 * n))
            return false;
        std::vector<Vec2> pts;
        pts.reserve(n);
        for (size_t i = 0; i < n; ++i)
            pts.push_back(m_dc.map(r.i16(1 + 2 * i), r.i16(2 + 2 * i)));
        if (r.function == Polyline) {
            stroke(pts, false, "POLYLINE");
            count("POLYLINE");
        } else {
            fillAndStroke({pts}, true, "POLYGON");
        }
        return true;
    }
    case PolyPolygon:
        return polyPolygon(r);
    case Rectangle: {
        if (!r.has(4))
            return false;
        const double bottom = r.i16(0), right = r.i16(1), top = r.i16(2), left = r.i16(3);
        fillAndStroke({{m_dc.map(left, top), m_dc.map(right, top), m_dc.map(right, bottom),
                        m_dc.map(left, bottom)}},
                      true, "RECTANGLE");
        return true;
    }
    case RoundRect: {
        if (!r.has(6))
            return false;
        const Vec2 a = m_dc.map(r.i16(5), r.i16(4)), b = m_dc.map(r.i16(3), r.i16(2));
        const double x0 = std::min(a.x, b.x), x1 = std::max(a.x, b.x);
        const double y0 = std::min(a.y, b.y), y1 = std::max(a.y, b.y);
        const double rx = std::min(m_dc.lengthX(r.i16(1)) / 2, (x1 - x0) / 2);
        const double ry = std::min(m_dc.lengthY(r.i16(0)) / 2, (y1 - y0) / 2);
        std::vector<Vec2> ring;
        const Vec2 centers[4] = {
            {x1 - rx, y1 - ry}, {x0 + rx, y1 - ry}, {x0 + rx, y0 + ry}, {x1 - rx, y0 + ry}};
        for (int q = 0; q < 4; ++q) {
            const double t0 = q * kTwoPi / 4;
            for (const Vec2& p : ellipsePoints(centers[q], rx, ry, t0, t0 + kTwoPi / 4))
                ring.push_back(p);
        }
        fillAndStroke({ring}, true, "ROUNDRECT");
        return true;
    }
    case Ellipse:
        if (!r.has(4))
            return false;
        ellipticShape(r, EllipseShape);
        return true;
    case Arc:
    case Pie:
    case Chord:
        if (!r.has(8))
            return false;
        ellipticShape(r, r.function == Arc ? ArcShape : r.function == Pie ? PieShape : ChordShape);
        return true;
    case SetPixel: {
        if (!r.has(4))
            return false;
        uint32_t rgb = 0;
        const Vec2 at = m_dc.map(r.i16(3), r.i16(2));
        if (rop2Color(m_dc.rgb(r.u32(0)), rgb) && !clippedAway(at))
            styled(m_block.addPoint(at), rgb, 0, "SETPIXEL");
        count("SETPIXEL");
        return true;
    }
    default:
        handled = false;
        return true;
    }
}

bool Player::polyPolygon(const Record& r) {
    if (!r.has(1))
        return false;
    const size_t polygons = r.u16(0);
    if (!r.has(1 + polygons))
        return false;
    size_t total = 0;
    for (size_t i = 0; i < polygons; ++i)
        total += r.u16(1 + i);
    size_t at = 1 + polygons;
    if (!r.has(at + 2 * total))
        return false;
    std::vector<std::vector<Vec2>> rings(polygons);
    for (size_t i = 0; i < polygons; ++i) {
        const size_t n = r.u16(1 + i);
        rings[i].reserve(n);
        for (size_t k = 0; k < n; ++k, at += 2)
            rings[i].push_back(m_dc.map(r.i16(at), r.i16(at + 1)));
    }
    fillAndStroke(rings, true, "POLYPOLYGON");
    return true;
}

void Player::ellipticShape(const Record& r, int kind) {
    const size_t box = kind == EllipseShape ? 0 : 4;
    const Vec2 a = m_dc.map(r.i16(box + 3), r.i16(box + 2));
    const Vec2 b = m_dc.map(r.i16(box + 1), r.i16(box + 0));
    const Vec2 c{(a.x + b.x) / 2, (a.y + b.y) / 2};
    const double rx = std::abs(b.x - a.x) / 2, ry = std::abs(b.y - a.y) / 2;
    const char* type = kind == EllipseShape ? "ELLIPSE"
                       : kind == ArcShape   ? "ARC"
                       : kind == PieShape   ? "PIE"
                                            : "CHORD";
    if (rx <= 0 || ry <= 0 || !std::isfinite(rx) || !std::isfinite(ry)) {
        count(type);
        return;
    }
    double t0 = 0, t1 = kTwoPi;
    if (kind != EllipseShape) {
        // The radial points only give directions from the centre; GDI runs
        // counter-clockwise as seen, and equal points mean the full ellipse.
        const Vec2 p0 = m_dc.map(r.i16(3), r.i16(2)), p1 = m_dc.map(r.i16(1), r.i16(0));
        t0 = std::atan2((p0.y - c.y) / ry, (p0.x - c.x) / rx);
        t1 = std::atan2((p1.y - c.y) / ry, (p1.x - c.x) / rx);
        if (t1 <= t0)
            t1 += kTwoPi;
    }
    if (kind == ArcShape || kind == EllipseShape) {
        if (kind == EllipseShape && m_dc.state.brush.style != Brush::Null)
            fillRings({ellipsePoints(c, rx, ry, 0, kTwoPi)}, m_dc.state.brush, type);
        uint32_t rgb = 0;
        if (!m_dc.state.pen.isNull() && rop2Color(m_dc.state.pen.rgb, rgb) && m_dc.state.clip) {
            line(ellipsePoints(c, rx, ry, t0, t1), kind == EllipseShape, rgb,
                 m_dc.lengthX(m_dc.state.pen.width), type);
        } else if (!m_dc.state.pen.isNull() && rop2Color(m_dc.state.pen.rgb, rgb)) {
            dv::Arc arc;
            arc.center = c;
            arc.radiusX = rx;
            arc.radiusY = ry;
            arc.startAngle = t0;
            arc.endAngle = t1;
            styled(m_block.addArc(arc), rgb, m_dc.lengthX(m_dc.state.pen.width), type);
        }
        count(type);
        return;
    }
    std::vector<Vec2> ring = ellipsePoints(c, rx, ry, t0, t1);
    if (kind == PieShape)
        ring.insert(ring.begin(), c);
    fillAndStroke({ring}, true, type);
}

} // namespace dv::wmf
