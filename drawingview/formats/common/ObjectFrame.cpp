#include "ObjectFrame.h"

#include <cmath>
#include <numbers>

namespace dv {

namespace {

Vec3 cross(Vec3 a, Vec3 b) {
    return {a.y * b.z - a.z * b.y, a.z * b.x - a.x * b.z, a.x * b.y - a.y * b.x};
}

double norm(Vec3 a) {
    return std::sqrt(a.x * a.x + a.y * a.y + a.z * a.z);
}

Vec3 scaled(Vec3 a, double f) {
    return {a.x * f, a.y * f, a.z * f};
}

} // namespace

ObjectFrame::ObjectFrame(Vec3 normal) {
    const double len = norm(normal);
    if (!std::isfinite(len) || len < 1e-12)
        return;
    const Vec3 n = scaled(normal, 1 / len);
    // Within rounding of +z the world frame itself: files write 0, 0, 1
    // with the last digit off, and the fast path matters.
    if (std::abs(n.x) < 1e-12 && std::abs(n.y) < 1e-12 && n.z > 0)
        return;
    constexpr double limit = 1.0 / 64;
    const Vec3 ax =
        std::abs(n.x) < limit && std::abs(n.y) < limit ? cross({0, 1, 0}, n) : cross({0, 0, 1}, n);
    m_ax = scaled(ax, 1 / norm(ax));
    m_ay = cross(n, m_ax);
    m_n = n;
    m_world = false;
}

bool ObjectFrame::isMirrored() const {
    return m_ax.x * m_ay.y - m_ax.y * m_ay.x < 0;
}

Vec3 ObjectFrame::toWorld(Vec3 p) const {
    if (m_world)
        return p;
    return {p.x * m_ax.x + p.y * m_ay.x + p.z * m_n.x, p.x * m_ax.y + p.y * m_ay.y + p.z * m_n.y,
            p.x * m_ax.z + p.y * m_ay.z + p.z * m_n.z};
}

Vec2 ObjectFrame::toPlan(double x, double y, double z) const {
    if (m_world)
        return {x, y};
    return {x * m_ax.x + y * m_ay.x + z * m_n.x, x * m_ax.y + y * m_ay.y + z * m_n.y};
}

Vec2 ObjectFrame::directionToPlan(Vec2 d) const {
    if (m_world)
        return d;
    return {d.x * m_ax.x + d.y * m_ay.x, d.x * m_ax.y + d.y * m_ay.y};
}

double ObjectFrame::angleToPlan(double angle) const {
    if (m_world)
        return angle;
    const Vec2 d = directionToPlan({std::cos(angle), std::sin(angle)});
    // Edge-on the direction vanishes; the frame's own angle is as good as any.
    if (std::hypot(d.x, d.y) < 1e-12)
        return angle;
    return std::atan2(d.y, d.x);
}

Arc conjugateArc(Vec2 center, Vec2 u, Vec2 v, double start, double end) {
    // The parameter where the radius is extreme gives the principal axes.
    const double uu = u.x * u.x + u.y * u.y, vv = v.x * v.x + v.y * v.y;
    const double uv = u.x * v.x + u.y * v.y;
    const double t0 = 0.5 * std::atan2(2 * uv, uu - vv);
    const double c = std::cos(t0), s = std::sin(t0);
    const Vec2 a{u.x * c + v.x * s, u.y * c + v.y * s};
    const Vec2 b{-u.x * s + v.x * c, -u.y * s + v.y * c};
    Arc arc;
    arc.center = center;
    arc.radiusX = std::hypot(a.x, a.y);
    arc.radiusY = std::hypot(b.x, b.y);
    arc.rotation = std::atan2(a.y, a.x);
    const bool full = std::abs(end - start) >= 2 * std::numbers::pi - 1e-12;
    if (full) {
        arc.startAngle = 0;
        arc.endAngle = 2 * std::numbers::pi;
    } else if (a.x * b.y - a.y * b.x >= 0) {
        arc.startAngle = start - t0;
        arc.endAngle = end - t0;
    } else {
        arc.startAngle = t0 - end;
        arc.endAngle = t0 - start;
    }
    return arc;
}

} // namespace dv
