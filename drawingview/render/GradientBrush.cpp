#include "GradientBrush.h"

#include <algorithm>
#include <cmath>

namespace dv {

namespace {

QColor mix(const QColor& a, const QColor& b, double t) {
    return QColor::fromRgbF(float(a.redF() + (b.redF() - a.redF()) * t),
                            float(a.greenF() + (b.greenF() - a.greenF()) * t),
                            float(a.blueF() + (b.blueF() - a.blueF()) * t),
                            float(a.alphaF() + (b.alphaF() - a.alphaF()) * t));
}

} // namespace

GradientGeometry gradientGeometry(const Gradient& g, const Vec2* points, size_t count,
                                  const QColor& first, const QColor& second) {
    using K = Gradient::Kind;
    GradientGeometry out;
    const double a = std::isfinite(g.angle) ? g.angle : 0.0;
    const Vec2 u{std::cos(a), std::sin(a)}, v{-u.y, u.x};
    double u0 = INFINITY, u1 = -INFINITY, v0 = INFINITY, v1 = -INFINITY;
    for (size_t i = 0; i < count; ++i) {
        const double pu = points[i].x * u.x + points[i].y * u.y;
        const double pv = points[i].x * v.x + points[i].y * v.y;
        u0 = std::min(u0, pu);
        u1 = std::max(u1, pu);
        v0 = std::min(v0, pv);
        v1 = std::max(v1, pv);
    }
    if (!(u1 >= u0) || !(v1 >= v0)) {
        out.stops = {{0.0, first}, {1.0, first}};
        return out;
    }
    auto at = [&](double pu, double pv) { return Vec2{pu * u.x + pv * v.x, pu * u.y + pv * v.y}; };
    const double shift = std::clamp(std::isfinite(g.shift) ? g.shift : 0.0, 0.0, 1.0);
    // The shift moves the blend's middle towards the first colour's side.
    const double middle = std::clamp(0.5 * (1 - shift), 0.01, 0.99);
    const double hw = (u1 - u0) / 2, hh = (v1 - v0) / 2;
    const double um = u0 + hw, vm = v0 + hh;
    const bool inverted = g.kind == K::InvCylinder || g.kind == K::InvSpherical ||
                          g.kind == K::InvHemispherical || g.kind == K::InvCurved;
    const QColor& c1 = inverted ? second : first;
    const QColor& c2 = inverted ? first : second;
    switch (g.kind) {
    case K::Linear:
        out.from = at(u0, vm);
        out.to = at(u1, vm);
        out.stops = {{0.0, c1}, {middle, mix(c1, c2, 0.5)}, {1.0, c2}};
        break;
    case K::Cylinder:
    case K::InvCylinder:
        out.from = at(u0, vm);
        out.to = at(u1, vm);
        out.stops = {{0.0, c1}, {middle, c2}, {1.0, c1}};
        break;
    case K::Spherical:
    case K::InvSpherical:
        out.radial = true;
        out.from = at(um - shift * hw, vm);
        out.radius = std::hypot(hw * (1 + shift), hh);
        out.stops = {{0.0, c2}, {1.0, c1}};
        break;
    case K::Hemispherical:
    case K::InvHemispherical:
        out.radial = true;
        out.from = at(um - shift * hw, v0);
        out.radius = std::hypot(hw * (1 + shift), 2 * hh);
        out.stops = {{0.0, c2}, {1.0, c1}};
        break;
    case K::Curved:
    case K::InvCurved:
        // Down from the top, the second colour coming in ever faster.
        out.from = at(um, v1);
        out.to = at(um, v0);
        for (int k = 0; k <= 8; ++k) {
            const double t = k / 8.0;
            out.stops.push_back({t, mix(c1, c2, t * t)});
        }
        break;
    }
    if (!out.radial && out.from.x == out.to.x && out.from.y == out.to.y)
        out.stops = {{0.0, c1}, {1.0, c1}}; // no extent along the blend
    return out;
}

} // namespace dv
