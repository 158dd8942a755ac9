#include "DxfHelix.h"

#include <cmath>
#include <numbers>

namespace dv::dxf {

namespace {

constexpr int kSegmentsPerTurn = 64;
// More turns than any drawing holds: a damaged count, not a helix.
constexpr double kMaxTurns = 10000;

} // namespace

void HelixOutline::take(const Group& g) {
    if (g.code == 100) {
        m_inHelix = trimmed(g.value) == "AcDbHelix";
        return;
    }
    if (!m_inHelix)
        return;
    const int c = g.code;
    if ((c >= 10 && c <= 12) || (c >= 20 && c <= 22) || (c >= 30 && c <= 32)) {
        double* p[] = {m_base, m_start, m_axis};
        p[c % 10][c / 10 - 1] = toDouble(g);
        m_seen |= 1 << (c % 10);
    } else if (c == 40) {
        m_radius = toDouble(g);
        m_seen |= 8;
    } else if (c == 41) {
        m_turns = toDouble(g);
        m_seen |= 16;
    } else if (c == 290) {
        m_rightHanded = toInt(g) != 0;
    }
}

std::vector<Vec2> HelixOutline::plan() const {
    std::vector<Vec2> out;
    const double axisLength = std::hypot(m_axis[0], m_axis[1], m_axis[2]);
    if (m_seen != 31 || !(axisLength > 0) || !(m_turns > 0) || !(m_turns <= kMaxTurns) ||
        !std::isfinite(m_radius))
        return out;
    // Seen along the axis only; a tilted one keeps its stored graphics.
    if (std::hypot(m_axis[0], m_axis[1]) > 1e-9 * axisLength)
        return out;
    const double dx = m_start[0] - m_base[0], dy = m_start[1] - m_base[1];
    const double r0 = std::hypot(dx, dy);
    const double a0 = std::atan2(dy, dx);
    // Right-handed turns anticlockwise seen from the tip of its axis.
    const double sense = (m_rightHanded == (m_axis[2] > 0)) ? 1 : -1;
    const int n = int(std::ceil(m_turns * kSegmentsPerTurn));
    out.reserve(size_t(n) + 1);
    for (int i = 0; i <= n; ++i) {
        const double f = double(i) / n;
        const double a = a0 + sense * f * m_turns * 2 * std::numbers::pi;
        const double r = r0 + (m_radius - r0) * f;
        out.push_back({m_base[0] + r * std::cos(a), m_base[1] + r * std::sin(a)});
    }
    return out;
}

} // namespace dv::dxf
