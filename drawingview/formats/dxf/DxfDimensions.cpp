// Dimensions whose geometry block is missing: angular, radial, diameter and
// ordinate ones drawn from their definition points, sized by the header's
// dimension settings.

#include "DxfEntities.h"
#include "DxfMText.h"

#include <algorithm>
#include <cmath>
#include <numbers>

namespace dv::dxf {

namespace {

constexpr double kPi = std::numbers::pi;

Vec2 add(Vec2 a, Vec2 b) {
    return {a.x + b.x, a.y + b.y};
}
Vec2 sub(Vec2 a, Vec2 b) {
    return {a.x - b.x, a.y - b.y};
}
Vec2 mul(Vec2 a, double f) {
    return {a.x * f, a.y * f};
}
double len(Vec2 a) {
    return std::hypot(a.x, a.y);
}
Vec2 polar(Vec2 c, double r, double a) {
    return {c.x + r * std::cos(a), c.y + r * std::sin(a)};
}
bool finite(Vec2 p) {
    return std::isfinite(p.x) && std::isfinite(p.y);
}

// Angle in [0, 2pi) counter-clockwise from `from` to `to`.
double ccwSweep(double from, double to) {
    double s = std::fmod(to - from, 2 * kPi);
    return s < 0 ? s + 2 * kPi : s;
}

// Where two lines (point and direction) cross; false when parallel.
bool intersect(Vec2 p, Vec2 d, Vec2 q, Vec2 e, Vec2& out) {
    const double den = d.x * e.y - d.y * e.x;
    if (std::abs(den) < 1e-12 * len(d) * len(e))
        return false;
    const double t = ((q.x - p.x) * e.y - (q.y - p.y) * e.x) / den;
    out = add(p, mul(d, t));
    return finite(out);
}

// Rotation that keeps text along `a` readable (never upside down).
double readable(double a) {
    a = std::remainder(a, 2 * kPi);
    if (a > kPi / 2 + 1e-9)
        a -= kPi;
    else if (a <= -kPi / 2 + 1e-9)
        a += kPi;
    return a;
}

} // namespace

bool EntityReader::dimensionWithoutBlock(int block, const DimensionData& d, const Common& cm,
                                         uint16_t type) {
    const DxfContext::DimensionStyle& ds = m_ctx.dimensions;
    const double scale = ds.scale > 0 && std::isfinite(ds.scale) ? ds.scale : 1;
    // The drawing programs' defaults: inches or millimetres.
    const double fallback = ds.metric ? 2.5 : 0.18;
    auto sized = [&](double v) { return (v > 0 && std::isfinite(v) ? v : fallback) * scale; };
    const double arrow = sized(ds.arrowSize), height = sized(ds.textHeight);
    const int decimals = ds.decimals >= 0 ? std::min(ds.decimals, 8) : 2;

    auto line = [&](Vec2 a, Vec2 b) {
        if (finite(a) && finite(b) && len(sub(b, a)) > 0)
            addPath(block, {a, b}, false, false, cm, type);
    };
    auto label = [&](const QString& value, Vec2 at, double rotation, int attachment) {
        QString text = d.label.isEmpty() ? value : d.label;
        text.replace(QLatin1String("<>"), value);
        if (text.trimmed().isEmpty() || !finite(at))
            return; // a blank label hides the text
        MTextParams p;
        p.height = height;
        p.rotation = rotation;
        p.attachment = d.has11 ? 5 : attachment;
        p.insert = d.has11 ? d.p11 : at;
        addMText(block, text, p, cm, type);
    };
    auto number = [&](double v) { return QString::number(v, 'f', decimals); };

    switch (d.kind) {
    case 3:   // diameter: across the curve between two opposite points
    case 4: { // radius: from the centre to a point on the curve
        const Vec2 from = d.p10, to = d.p15;
        const double r = len(sub(to, from));
        if (!(r > 0) || !std::isfinite(r))
            return true;
        line(from, to);
        addArrow(block, to, from, arrow, cm, type);
        if (d.kind == 3)
            addArrow(block, from, to, arrow, cm, type);
        const double value = d.measured >= 0 ? d.measured : r;
        const QString prefix = d.kind == 3 ? QStringLiteral("\u2300") : QStringLiteral("R");
        const double rot = readable(std::atan2(to.y - from.y, to.x - from.x));
        const Vec2 mid = mul(add(from, to), 0.5);
        // Above the dimension line, in its middle.
        label(prefix + number(value),
              add(mid, mul(Vec2{-std::sin(rot), std::cos(rot)}, height / 3)), rot, 8);
        // A text placed off the line gets a leader from the curve point.
        if (d.has11 && len(sub(d.p11, d.p10)) > r + arrow)
            line(to, d.p11);
        return true;
    }
    case 2:   // angle between two lines
    case 5: { // angle at a vertex between two points
        Vec2 vertex, ray1, ray2, foot1, foot2, arcPoint;
        if (d.kind == 5) {
            vertex = d.p15;
            foot1 = d.p13;
            foot2 = d.p14;
            ray1 = sub(foot1, vertex);
            ray2 = sub(foot2, vertex);
            arcPoint = d.p10;
        } else {
            ray1 = sub(d.p14, d.p13);
            ray2 = sub(d.p10, d.p15);
            if (!intersect(d.p13, ray1, d.p15, ray2, vertex))
                return true;
            // Each line's end farther from the vertex bounds its side.
            foot1 = len(sub(d.p14, vertex)) >= len(sub(d.p13, vertex)) ? d.p14 : d.p13;
            foot2 = len(sub(d.p10, vertex)) >= len(sub(d.p15, vertex)) ? d.p10 : d.p15;
            ray1 = sub(foot1, vertex);
            ray2 = sub(foot2, vertex);
            arcPoint = d.p16;
        }
        const double radius = len(sub(arcPoint, vertex));
        if (!(len(ray1) > 0) || !(len(ray2) > 0) || !(radius > 0) || !std::isfinite(radius))
            return true;
        double a1 = std::atan2(ray1.y, ray1.x), a2 = std::atan2(ray2.y, ray2.x);
        const double at = std::atan2(arcPoint.y - vertex.y, arcPoint.x - vertex.x);
        if (d.kind == 2) {
            // Two lines make four angles; the arc point picks one.
            for (int k = 0; k < 4; ++k) {
                const double s1 = a1 + (k & 1 ? kPi : 0), s2 = a2 + (k & 2 ? kPi : 0);
                const double sweep = ccwSweep(s1, s2);
                if (sweep < kPi && ccwSweep(s1, at) <= sweep) {
                    a1 = s1;
                    a2 = s2;
                    break;
                }
                if (sweep > kPi && ccwSweep(s2, at) <= 2 * kPi - sweep) {
                    a1 = s2;
                    a2 = s1;
                    break;
                }
            }
        } else if (ccwSweep(a1, at) > ccwSweep(a1, a2)) {
            std::swap(a1, a2); // the arc point lies on the other side
        }
        const double sweep = ccwSweep(a1, a2);
        std::vector<Vec2> arc;
        const int steps = std::clamp(int(std::ceil(sweep / (3 * kPi / 180))), 1, 120);
        for (int i = 0; i <= steps; ++i)
            arc.push_back(polar(vertex, radius, a1 + sweep * i / steps));
        addPath(block, arc, false, false, cm, type);
        // Arrows along the arc at both ends.
        const double step = std::min(arrow / radius, sweep / 3);
        addArrow(block, arc.front(), polar(vertex, radius, a1 + step), arrow, cm, type);
        addArrow(block, arc.back(), polar(vertex, radius, a2 - step), arrow, cm, type);
        // Extension lines where the arc lies beyond the measured geometry.
        for (auto [foot, a] : {std::pair{foot1, a1}, std::pair{foot2, a2}}) {
            const Vec2 end = polar(vertex, radius, a);
            if (len(sub(foot, vertex)) < radius &&
                std::abs(std::remainder(std::atan2(foot.y - vertex.y, foot.x - vertex.x) - a,
                                        2 * kPi)) < 1e-6)
                line(foot, end);
        }
        const double value = d.measured >= 0 ? d.measured * 180 / kPi : sweep * 180 / kPi;
        const double mid = a1 + sweep / 2;
        label(number(value) + QChar(0xB0), polar(vertex, radius + height / 3, mid),
              readable(mid - kPi / 2), 8);
        return true;
    }
    case 6: { // ordinate: a coordinate of the feature, from the origin at 10
        const bool xType = d.flags & 64;
        const Vec2 feature = d.p13, end = d.p14;
        // Leader leaves the feature square to the measured axis, then jogs.
        const Vec2 knee = xType ? Vec2{feature.x, end.y} : Vec2{end.x, feature.y};
        line(feature, knee);
        line(knee, end);
        const double value = d.measured >= 0 ? d.measured
                             : xType         ? feature.x - d.p10.x
                                             : feature.y - d.p10.y;
        if (xType) {
            const bool up = end.y >= feature.y;
            label(number(value), end, kPi / 2, up ? 4 : 6);
        } else {
            const bool right = end.x >= feature.x;
            label(number(value), end, 0, right ? 4 : 6);
        }
        return true;
    }
    default:
        return false;
    }
}

} // namespace dv::dxf
