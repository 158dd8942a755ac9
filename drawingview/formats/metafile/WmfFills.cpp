#include "WmfPlayer.h"

#include <algorithm>
#include <cmath>

namespace dv::wmf {

namespace {

// Hatch lines lie 8 pixels apart on a 96 dpi device.
constexpr double kHatchSpacingMm = 8 * 25.4 / 96;
constexpr size_t kMaxHatchLinesPerShape = 2000;
constexpr double kMaxHatchWork = 5e7; // edges x lines per shape

double signedArea(const std::vector<Vec2>& ring) {
    double a = 0;
    for (size_t i = 0; i < ring.size(); ++i) {
        const Vec2 p = ring[i], q = ring[(i + 1) % ring.size()];
        a += p.x * q.y - q.x * p.y;
    }
    return a / 2;
}

uint32_t blend(uint32_t a, uint32_t b) {
    uint32_t out = 0;
    for (int shift = 0; shift <= 16; shift += 8)
        out |= (((a >> shift & 0xFF) + (b >> shift & 0xFF)) / 2) << shift;
    return out;
}

} // namespace

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
    const std::vector<std::vector<Vec2>> cut = clipped(rings);
    if (m_dc.state.polyFillMode == 2 && cut.size() > 1) {
        // Winding fill: rings turning the same way add up, so each fills on
        // its own. Rings turning both ways keep the odd-even rule, which
        // gives the usual holes.
        bool positive = false, negative = false;
        for (const auto& ring : cut) {
            const double a = ring.size() >= 3 ? signedArea(ring) : 0;
            positive |= a > 0;
            negative |= a < 0;
        }
        if (!(positive && negative)) {
            for (const auto& ring : cut)
                if (ring.size() >= 3)
                    styled(m_block.addPolygon(ring), rgb, 0, type);
            return;
        }
    }
    std::vector<Vec2> all;
    std::vector<size_t> starts;
    for (const auto& ring : cut) {
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
                line({p0, p1}, false, color, 0, type);
                if (m_hatchBudget > 0)
                    --m_hatchBudget;
            }
        }
    }
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
