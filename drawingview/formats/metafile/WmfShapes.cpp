#include "WmfPlayer.h"

#include <algorithm>
#include <cmath>
#include <numbers>

namespace dv::wmf {

namespace {

constexpr double kTwoPi = 2 * std::numbers::pi;
// Hatch lines lie 8 pixels apart on a 96 dpi device.
constexpr double kHatchSpacingMm = 8 * 25.4 / 96;
constexpr size_t kMaxHatchLinesPerShape = 2000;
constexpr double kMaxHatchWork = 5e7; // edges x lines per shape

// One pixel of a 96 dpi device, which also sets the dash lengths.
constexpr double kPixelMm = 25.4 / 96;

// Dash and gap lengths of the styled pens, in millimetres.
std::vector<double> dashPattern(uint16_t style) {
    switch (style) {
    case Pen::Dash:
        return {18 * kPixelMm, 6 * kPixelMm};
    case Pen::Dot:
        return {3 * kPixelMm, 3 * kPixelMm};
    case Pen::DashDot:
        return {9 * kPixelMm, 6 * kPixelMm, 3 * kPixelMm, 6 * kPixelMm};
    case Pen::DashDotDot:
        return {9 * kPixelMm, 3 * kPixelMm, 3 * kPixelMm, 3 * kPixelMm, 3 * kPixelMm, 3 * kPixelMm};
    default:
        return {};
    }
}

double signedArea(const std::vector<Vec2>& ring) {
    double a = 0;
    for (size_t i = 0; i < ring.size(); ++i) {
        const Vec2 p = ring[i], q = ring[(i + 1) % ring.size()];
        a += p.x * q.y - q.x * p.y;
    }
    return a / 2;
}

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

uint32_t blend(uint32_t a, uint32_t b) {
    uint32_t out = 0;
    for (int shift = 0; shift <= 16; shift += 8)
        out |= (((a >> shift & 0xFF) + (b >> shift & 0xFF)) / 2) << shift;
    return out;
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
        if (rop2Color(m_dc.rgb(r.u32(0)), rgb))
            styled(m_block.addPoint(m_dc.map(r.i16(3), r.i16(2))), rgb, 0, "SETPIXEL");
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
        if (!m_dc.state.pen.isNull() && rop2Color(m_dc.state.pen.rgb, rgb)) {
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

void Player::fillAndStroke(const std::vector<std::vector<Vec2>>& rings, bool withOutline,
                           const char* type) {
    fillRings(rings, m_dc.state.brush, type);
    if (withOutline)
        for (const auto& ring : rings)
            stroke(ring, true, type);
    count(type);
}

void Player::fillRings(const std::vector<std::vector<Vec2>>& rings, const Brush& brush,
                       const char* type) {
    if (brush.style == Brush::Null)
        return;
    if (brush.style == Brush::Hatched) {
        if (m_dc.state.bkMode == 2) {
            Brush background;
            background.rgb = m_dc.state.bkColor;
            fillRings(rings, background, type);
        }
        hatch(rings, brush.hatch, brush.rgb, type);
        return;
    }
    uint32_t rgb = 0;
    if (!rop2Color(brush.rgb, rgb))
        return;
    if (m_dc.state.polyFillMode == 2 && rings.size() > 1) {
        // Winding fill: rings turning the same way add up, so each fills on
        // its own. Rings turning both ways keep the odd-even rule, which
        // gives the usual holes.
        bool positive = false, negative = false;
        for (const auto& ring : rings) {
            const double a = ring.size() >= 3 ? signedArea(ring) : 0;
            positive |= a > 0;
            negative |= a < 0;
        }
        if (!(positive && negative)) {
            for (const auto& ring : rings)
                if (ring.size() >= 3)
                    styled(m_block.addPolygon(ring), rgb, 0, type);
            return;
        }
    }
    std::vector<Vec2> all;
    std::vector<size_t> starts;
    for (const auto& ring : rings) {
        if (ring.size() < 3)
            continue;
        starts.push_back(all.size());
        all.insert(all.end(), ring.begin(), ring.end());
    }
    if (all.empty())
        return;
    Shape& s = m_block.addPolygon(all);
    for (size_t i = 1; i < starts.size(); ++i)
        m_block.ringStarts.push_back(uint32_t(s.first + starts[i]));
    styled(s, rgb, 0, type);
}

void Player::hatch(const std::vector<std::vector<Vec2>>& rings, uint16_t style, uint32_t rgb,
                   const char* type) {
    uint32_t color = 0;
    if (!rop2Color(rgb, color))
        return;
    std::vector<Vec2> dirs;
    const double k = std::sqrt(0.5);
    if (style == 0 || style == 4)
        dirs.push_back({1, 0});
    if (style == 1 || style == 4)
        dirs.push_back({0, 1});
    if (style == 2 || style == 5)
        dirs.push_back({k, -k});
    if (style == 3 || style == 5)
        dirs.push_back({k, k});
    size_t edges = 0;
    for (const auto& ring : rings)
        edges += ring.size();
    for (const Vec2 d : dirs) {
        const Vec2 n{-d.y, d.x};
        double lo = INFINITY, hi = -INFINITY;
        for (const auto& ring : rings)
            for (const Vec2& p : ring) {
                lo = std::min(lo, n.x * p.x + n.y * p.y);
                hi = std::max(hi, n.x * p.x + n.y * p.y);
            }
        if (!(hi > lo) || !std::isfinite(hi - lo))
            continue;
        double spacing = kHatchSpacingMm;
        if ((hi - lo) / spacing > double(kMaxHatchLinesPerShape))
            spacing = (hi - lo) / double(kMaxHatchLinesPerShape);
        const double lines = (hi - lo) / spacing;
        if (lines * double(edges) > kMaxHatchWork || m_hatchBudget < size_t(lines)) {
            // Too much to draw as lines: a tint of the hatch colour instead.
            Brush tint;
            tint.rgb = blend(rgb, m_dc.state.bkMode == 2 ? m_dc.state.bkColor : 0xFFFFFF);
            fillRings(rings, tint, type);
            return;
        }
        std::vector<double> hits;
        for (double c = std::ceil(lo / spacing) * spacing; c <= hi; c += spacing) {
            hits.clear();
            for (const auto& ring : rings) {
                for (size_t i = 0; i < ring.size() && ring.size() >= 3; ++i) {
                    const Vec2 a = ring[i], b = ring[(i + 1) % ring.size()];
                    const double na = n.x * a.x + n.y * a.y - c, nb = n.x * b.x + n.y * b.y - c;
                    if ((na < 0) == (nb < 0))
                        continue;
                    const double t = na / (na - nb);
                    const Vec2 p{a.x + t * (b.x - a.x), a.y + t * (b.y - a.y)};
                    hits.push_back(d.x * p.x + d.y * p.y);
                }
            }
            std::sort(hits.begin(), hits.end());
            for (size_t i = 0; i + 1 < hits.size(); i += 2) {
                const Vec2 p0{c * n.x + hits[i] * d.x, c * n.y + hits[i] * d.y};
                const Vec2 p1{c * n.x + hits[i + 1] * d.x, c * n.y + hits[i + 1] * d.y};
                styled(m_block.addPolyline({p0, p1}, false), color, 0, type);
                if (m_hatchBudget > 0)
                    --m_hatchBudget;
            }
        }
    }
}

void Player::stroke(const std::vector<Vec2>& pts, bool closed, const char* type) {
    const Pen& pen = m_dc.state.pen;
    uint32_t rgb = 0;
    if (pts.size() < 2 || pen.isNull() || !rop2Color(pen.rgb, rgb))
        return;
    const double width = m_dc.lengthX(pen.width);
    const std::vector<double> pattern = dashPattern(pen.style & 0x0F);
    // GDI dashes only pens of at most one pixel; wider ones draw solid.
    if (pattern.empty() || width > kPixelMm) {
        styled(m_block.addPolyline(pts, closed), rgb, width, type);
        return;
    }
    std::vector<Vec2> path = pts;
    if (closed)
        path.push_back(pts.front());
    double length = 0;
    for (size_t i = 1; i < path.size(); ++i)
        length += std::hypot(path[i].x - path[i - 1].x, path[i].y - path[i - 1].y);
    double period = 0;
    for (double d : pattern)
        period += d;
    const double dashes = length / period * double(pattern.size()) / 2;
    if (!std::isfinite(dashes) || dashes > double(m_dashBudget)) {
        styled(m_block.addPolyline(pts, closed), rgb, width, type);
        return;
    }
    m_dashBudget -= size_t(dashes);
    // Walk the path, switching between dash and gap at the pattern's steps.
    size_t step = 0;
    double left = pattern[0];
    std::vector<Vec2> dash{path[0]};
    for (size_t i = 1; i < path.size(); ++i) {
        Vec2 a = path[i - 1];
        const Vec2 b = path[i];
        double remaining = std::hypot(b.x - a.x, b.y - a.y);
        while (remaining > left) {
            const double t = left / remaining;
            a = {a.x + (b.x - a.x) * t, a.y + (b.y - a.y) * t};
            remaining -= left;
            if (step % 2 == 0) {
                dash.push_back(a);
                styled(m_block.addPolyline(dash, false), rgb, width, type);
            }
            dash.assign(1, a);
            step = (step + 1) % pattern.size();
            left = pattern[step];
        }
        left -= remaining;
        if (step % 2 == 0)
            dash.push_back(b);
        else
            dash.assign(1, b);
    }
    if (step % 2 == 0 && dash.size() >= 2)
        styled(m_block.addPolyline(dash, false), rgb, width, type);
}

void Player::fillRect(double left, double top, double right, double bottom, uint32_t rgb,
                      const char* type) {
    Brush b;
    b.rgb = rgb;
    fillRings({{m_dc.map(left, top), m_dc.map(right, top), m_dc.map(right, bottom),
                m_dc.map(left, bottom)}},
              b, type);
}

} // namespace dv::wmf
