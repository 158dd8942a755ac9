#include "WmfPlayer.h"

#include <cmath>

namespace dv::wmf {

namespace {

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

} // namespace

void Player::stroke(const std::vector<Vec2>& pts, bool closed, const char* type) {
    const Pen& pen = m_dc.state.pen;
    uint32_t rgb = 0;
    if (pts.size() < 2 || pen.isNull() || !rop2Color(pen.rgb, rgb))
        return;
    const double width = m_dc.lengthX(pen.width);
    const std::vector<double> pattern = dashPattern(pen.style & 0x0F);
    // GDI dashes only pens of at most one pixel; wider ones draw solid.
    if (pattern.empty() || width > kPixelMm) {
        line(pts, closed, rgb, width, type);
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
        line(pts, closed, rgb, width, type);
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
                line(dash, false, rgb, width, type);
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
        line(dash, false, rgb, width, type);
}

} // namespace dv::wmf
