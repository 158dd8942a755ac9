#include "DxfHatch.h"
#include "DxfVector.h"

#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstdint>

namespace dv::dxf {

bool clipPattern(const std::vector<std::vector<Vec2>>& rings,
                 const std::vector<PatternLine>& pattern, size_t maxSegments, PatternResult& out) {
    out = {};
    size_t edges = 0;
    Box box;
    for (const auto& r : rings) {
        edges += r.size();
        for (Vec2 p : r)
            box.add(p);
    }
    if (!box.isValid() || edges == 0)
        return true;
    const double extent = std::max(box.width(), box.height());
    // Each line meets every edge once; this bounds the time as maxSegments
    // bounds the memory.
    const double maxWork = double(maxSegments) * 100;
    double work = 0;
    size_t steps = 0; // dash elements walked, drawn or not
    std::vector<double> cuts;
    for (const PatternLine& pl : pattern) {
        const Vec2 u{std::cos(pl.angle), std::sin(pl.angle)};
        const Vec2 n{-u.y, u.x};
        const double spacing = dot(pl.offset, n);
        if (!(std::abs(spacing) > extent * 1e-9) || !std::isfinite(spacing))
            continue; // lines on top of each other: nothing sensible to draw
        const double shift = dot(pl.offset, u);
        double dmin = INFINITY, dmax = -INFINITY;
        for (const auto& r : rings)
            for (Vec2 p : r) {
                const double d = dot(p, n);
                dmin = std::min(dmin, d);
                dmax = std::max(dmax, d);
            }
        const double b0 = dot(pl.base, n);
        double k0 = (dmin - b0) / spacing, k1 = (dmax - b0) / spacing;
        if (k0 > k1)
            std::swap(k0, k1);
        k0 = std::ceil(k0);
        k1 = std::floor(k1);
        const double lines = k1 - k0 + 1;
        if (lines <= 0)
            continue;
        work += lines * double(edges);
        if (!(lines <= double(maxSegments)) || work > maxWork) {
            out = {};
            return false;
        }
        double period = 0;
        for (double d : pl.dashes)
            period += std::abs(d);
        const bool continuous = pl.dashes.empty() || !(period > extent * 1e-9);
        // Counted in integers: far from the origin ++k would not move k.
        for (size_t j = 0; j < size_t(lines); ++j) {
            const double k = k0 + double(j);
            const Vec2 o{pl.base.x + k * pl.offset.x, pl.base.y + k * pl.offset.y};
            cuts.clear();
            for (const auto& r : rings)
                for (size_t i = 0; i < r.size(); ++i) {
                    const Vec2 p = r[i], q = r[(i + 1) % r.size()];
                    const double dp = dot({p.x - o.x, p.y - o.y}, n);
                    const double dq = dot({q.x - o.x, q.y - o.y}, n);
                    if ((dp > 0) == (dq > 0))
                        continue;
                    const double f = dp / (dp - dq);
                    const Vec2 x{p.x + (q.x - p.x) * f, p.y + (q.y - p.y) * f};
                    cuts.push_back(dot({x.x - o.x, x.y - o.y}, u));
                }
            std::sort(cuts.begin(), cuts.end());
            auto at = [&](double t) { return Vec2{o.x + u.x * t, o.y + u.y * t}; };
            for (size_t c = 0; c + 1 < cuts.size(); c += 2) {
                const double a = cuts[c], b = cuts[c + 1];
                if (continuous) {
                    out.segments.emplace_back(at(a), at(b));
                } else {
                    // Dashes start at the line's origin, which moves along
                    // the line by `shift` from one line to the next.
                    const double phase = k * shift;
                    double pos = phase + std::floor((a - phase) / period) * period;
                    while (pos < b) {
                        for (double d : pl.dashes) {
                            const double len = std::abs(d);
                            if (d >= 0) {
                                const double s = std::max(pos, a), e = std::min(pos + len, b);
                                if (len == 0 && pos >= a && pos <= b)
                                    out.dots.push_back(at(pos));
                                else if (e > s)
                                    out.segments.emplace_back(at(s), at(e));
                            }
                            pos += len;
                            if (++steps > maxSegments * 4) {
                                out = {};
                                return false;
                            }
                        }
                    }
                }
                if (out.segments.size() + out.dots.size() > maxSegments) {
                    out = {};
                    return false;
                }
            }
        }
    }
    return true;
}

namespace {

Gradient::Kind kindNamed(std::string_view name) {
    using K = Gradient::Kind;
    static const std::pair<std::string_view, K> names[] = {
        {"LINEAR", K::Linear},
        {"CYLINDER", K::Cylinder},
        {"INVCYLINDER", K::InvCylinder},
        {"SPHERICAL", K::Spherical},
        {"INVSPHERICAL", K::InvSpherical},
        {"HEMISPHERICAL", K::Hemispherical},
        {"INVHEMISPHERICAL", K::InvHemispherical},
        {"CURVED", K::Curved},
        {"INVCURVED", K::InvCurved}};
    while (!name.empty() && name.back() == ' ')
        name.remove_suffix(1);
    while (!name.empty() && name.front() == ' ')
        name.remove_prefix(1);
    for (const auto& [n, k] : names)
        if (n.size() == name.size() &&
            std::equal(n.begin(), n.end(), name.begin(),
                       [](char a, char b) { return a == std::toupper((unsigned char)b); }))
            return k;
    return K::Linear;
}

uint32_t mix(uint32_t a, uint32_t b, double t) {
    uint32_t out = 0;
    for (int shift : {16, 8, 0}) {
        const double ca = (a >> shift) & 0xFF, cb = (b >> shift) & 0xFF;
        out |= uint32_t(std::lround(ca + (cb - ca) * t)) << shift;
    }
    return out;
}

} // namespace

namespace {
// Colour groups are integers; a damaged one may be any number at all.
int colourNumber(double num) {
    return std::isfinite(num) ? int(std::clamp<double>(std::trunc(num), INT32_MIN, INT32_MAX)) : 0;
}
} // namespace

bool GradientGroups::take(int code, double num, std::string_view text) {
    auto finite = [](double v, double fallback) { return std::isfinite(v) ? v : fallback; };
    switch (code) {
    case 450:
        m_on = num != 0;
        return true;
    case 452:
        m_oneColor = num != 0;
        return true;
    case 460:
        m_angle = finite(num, 0);
        return true;
    case 461:
        m_shift = std::clamp(finite(num, 0), 0.0, 1.0);
        return true;
    case 462:
        m_tint = std::clamp(finite(num, 0), 0.0, 1.0);
        return true;
    case 463: // each colour's entry begins with its value
        m_slots.emplace_back();
        return true;
    case 63:
        if (!m_on)
            return false;
        if (m_slots.empty())
            m_slots.emplace_back();
        m_slots.back().aci = Color::fromAci(colourNumber(num));
        return true;
    case 421:
        if (!m_on)
            return false;
        if (m_slots.empty())
            m_slots.emplace_back();
        m_slots.back().rgb = Color::fromRgb(uint32_t(colourNumber(num)));
        return true;
    case 470:
        m_kind = kindNamed(text);
        return true;
    default:
        return code == 451 || code == 453;
    }
}

std::optional<Color> GradientGroups::firstColor() const {
    for (const Slot& s : m_slots)
        if (s.color())
            return s.color();
    return std::nullopt;
}

Gradient GradientGroups::gradient(uint32_t shape) const {
    Gradient g;
    g.shape = shape;
    g.kind = m_kind;
    g.angle = m_angle;
    g.shift = m_shift;
    std::vector<Color> colors;
    for (const Slot& s : m_slots)
        if (s.color())
            colors.push_back(*s.color());
    g.first = colors.empty() ? Color::fromAci(5) : colors[0];
    if (m_oneColor || colors.size() < 2) {
        // One colour: the other end is its shade (tint 0) or its tint (1).
        const uint32_t rgb = g.first.kind == Color::Kind::Rgb ? g.first.rgb : 0x808080;
        g.second = Color::fromRgb(m_tint < 0.5 ? mix(rgb, 0x000000, 1 - 2 * m_tint)
                                               : mix(rgb, 0xFFFFFF, 2 * m_tint - 1));
    } else {
        g.second = colors[1];
    }
    return g;
}

} // namespace dv::dxf
