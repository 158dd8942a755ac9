#include "BlockFootprint.h"

#include <algorithm>
#include <cmath>
#include <numbers>

namespace dv {

namespace {

// Blocks with more shapes than this are not worth a footprint: inserted
// that small, they are rare, and the walk would cost more than it saves.
constexpr size_t maxShapes = 512;

bool gradientFilled(const Block& b, uint32_t index) {
    return std::any_of(b.gradients.begin(), b.gradients.end(),
                       [index](const Gradient& g) { return g.shape == index; });
}

} // namespace

BlockFootprint::BlockFootprint(const Document& doc, const Block& block, const Box& bounds,
                               int layerZero)
    : m_bounds(bounds) {
    if (!bounds.isValid() || block.shapes.empty() || block.shapes.size() > maxShapes ||
        layerZero < 0 || doc.exactColors)
        return;
    Source color = Source::None, weight = Source::None;
    auto agree = [](Source& kept, Source wanted) {
        if (kept == Source::None)
            kept = wanted;
        return kept == wanted;
    };
    for (uint32_t i = 0; i < block.shapes.size(); ++i) {
        const Shape& s = block.shapes[i];
        const bool drawable =
            s.kind == ShapeKind::Polyline || s.kind == ShapeKind::Arc ||
            (s.kind == ShapeKind::Polygon && !(s.flags & Mask) && !gradientFilled(block, i));
        if (!drawable || s.layer != layerZero || s.width > 0)
            return;
        const Source c = s.color.kind == Color::Kind::ByLayer   ? Source::InsertLayer
                         : s.color.kind == Color::Kind::ByBlock ? Source::InsertItself
                                                                : Source::None;
        const Source w = s.lineWeight == LineWeight::ByLayer   ? Source::InsertLayer
                         : s.lineWeight == LineWeight::ByBlock ? Source::InsertItself
                                                               : Source::None;
        const int16_t alpha = s.lineStyle < doc.lineStyles.size()
                                  ? doc.lineStyles[s.lineStyle].alpha
                                  : Alpha::ByLayer;
        if (c == Source::None || w == Source::None || !agree(color, c) || !agree(weight, w) ||
            (alpha != Alpha::ByLayer && alpha != Alpha::ByBlock && alpha != Alpha::Opaque))
            return;
    }
    for (const Shape& s : block.shapes) {
        if (s.kind == ShapeKind::Arc) {
            if (s.first >= block.arcs.size())
                continue;
            const Arc& a = block.arcs[s.first];
            double sweep = std::abs(a.endAngle - a.startAngle);
            if (!std::isfinite(sweep))
                continue;
            sweep = std::min(sweep, 2 * std::numbers::pi);
            const double t0 = std::min(a.startAngle, a.endAngle);
            const double c = std::cos(a.rotation), sn = std::sin(a.rotation);
            auto at = [&](double t) {
                const double x = a.radiusX * std::cos(t), y = a.radiusY * std::sin(t);
                return Vec2{a.center.x + x * c - y * sn, a.center.y + x * sn + y * c};
            };
            constexpr int steps = 32;
            Vec2 prev = at(t0);
            for (int k = 1; k <= steps; ++k) {
                const Vec2 p = at(t0 + sweep * k / steps);
                markLine(prev, p);
                prev = p;
            }
            continue;
        }
        const size_t end = std::min(block.points.size(), size_t(s.first) + s.count);
        if (end <= s.first)
            continue;
        mark(block.points[s.first]);
        for (size_t k = size_t(s.first) + 1; k < end; ++k)
            markLine(block.points[k - 1], block.points[k]);
        if ((s.flags & Closed) || s.kind == ShapeKind::Polygon)
            markLine(block.points[end - 1], block.points[s.first]);
        if (s.kind == ShapeKind::Polygon) {
            // The cells whose centres the outline encloses, odd-even.
            for (int y = 0; y < cells; ++y)
                for (int x = 0; x < cells; ++x) {
                    const Vec2 c = cellCentre(x, y);
                    bool inside = false;
                    for (size_t k = s.first, j = end - 1; k < end; j = k++) {
                        const Vec2 p = block.points[k], q = block.points[j];
                        if ((p.y > c.y) != (q.y > c.y) &&
                            c.x < p.x + (c.y - p.y) * (q.x - p.x) / (q.y - p.y))
                            inside = !inside;
                    }
                    if (inside)
                        m_rows[size_t(y)] |= uint16_t(1u << x);
                }
        }
    }
    for (int h = 0; h < 3; ++h) {
        const int side = cells >> (h + 1), shift = h + 1;
        for (int y = 0; y < cells; ++y)
            for (int x = 0; x < cells; ++x)
                if (covers(x, y))
                    m_coarse[size_t(h)] |= uint64_t(1) << ((x >> shift) + (y >> shift) * side);
    }
    m_color = color;
    m_lineWeight = weight;
}

void BlockFootprint::mark(Vec2 p) {
    const double w = m_bounds.width(), h = m_bounds.height();
    const double fx = w > 0 ? (p.x - m_bounds.minX) / w * cells : cells / 2.0;
    const double fy = h > 0 ? (p.y - m_bounds.minY) / h * cells : cells / 2.0;
    if (!std::isfinite(fx) || !std::isfinite(fy))
        return;
    const int x = std::clamp(int(fx), 0, cells - 1), y = std::clamp(int(fy), 0, cells - 1);
    m_rows[size_t(y)] |= uint16_t(1u << x);
}

void BlockFootprint::markLine(Vec2 a, Vec2 b) {
    const double w = std::max(m_bounds.width(), 1e-300), h = std::max(m_bounds.height(), 1e-300);
    const double span = std::max(std::abs(b.x - a.x) / w, std::abs(b.y - a.y) / h) * cells;
    // Four samples to a cell, so no covered cell is stepped over.
    const int steps = std::isfinite(span) ? std::clamp(int(std::ceil(span * 4)), 1, 4 * cells) : 1;
    for (int k = 0; k <= steps; ++k) {
        const double t = double(k) / steps;
        mark({a.x + (b.x - a.x) * t, a.y + (b.y - a.y) * t});
    }
}

} // namespace dv
