#include "CgmGeometry.h"

#include <algorithm>
#include <cmath>

namespace dv::cgm {

namespace {

constexpr double kTwoPi = 6.283185307179586;
constexpr int kSegmentsPerTurn = 96;

int segmentsFor(double sweep) {
    return std::max(4, int(std::ceil(std::abs(sweep) / kTwoPi * kSegmentsPerTurn)));
}

} // namespace

std::vector<Vec2> arcPoints(Vec2 c, double r, double a0, double a1) {
    return ellipsePoints(c, {r, 0}, {0, r}, a0, a1);
}

std::vector<Vec2> ellipsePoints(Vec2 c, Vec2 a, Vec2 b, double t0, double t1) {
    if (!std::isfinite(t0) || !std::isfinite(t1))
        return {};
    const double sweep = std::clamp(t1 - t0, 0.0, kTwoPi);
    const int n = segmentsFor(sweep);
    std::vector<Vec2> pts;
    pts.reserve(size_t(n) + 1);
    for (int i = 0; i <= n; ++i) {
        const double t = t0 + sweep * i / n;
        pts.push_back({c.x + std::cos(t) * a.x + std::sin(t) * b.x,
                       c.y + std::cos(t) * a.y + std::sin(t) * b.y});
    }
    return pts;
}

std::optional<Circle> circleThrough(Vec2 p1, Vec2 p2, Vec2 p3) {
    const double d = 2 * (p1.x * (p2.y - p3.y) + p2.x * (p3.y - p1.y) + p3.x * (p1.y - p2.y));
    const double scale = std::max({std::abs(p1.x - p3.x), std::abs(p1.y - p3.y),
                                   std::abs(p2.x - p1.x), std::abs(p2.y - p1.y)});
    if (!std::isfinite(d) || std::abs(d) <= 1e-12 * scale * scale || scale == 0)
        return std::nullopt;
    const double s1 = p1.x * p1.x + p1.y * p1.y;
    const double s2 = p2.x * p2.x + p2.y * p2.y;
    const double s3 = p3.x * p3.x + p3.y * p3.y;
    Circle c;
    c.centre.x = (s1 * (p2.y - p3.y) + s2 * (p3.y - p1.y) + s3 * (p1.y - p2.y)) / d;
    c.centre.y = (s1 * (p3.x - p2.x) + s2 * (p1.x - p3.x) + s3 * (p2.x - p1.x)) / d;
    c.radius = std::hypot(p1.x - c.centre.x, p1.y - c.centre.y);
    if (!std::isfinite(c.radius))
        return std::nullopt;
    return c;
}

std::optional<std::vector<Segment>> hatch(const std::vector<std::vector<Vec2>>& rings, double angle,
                                          double spacing, size_t maxLines) {
    // Turn the rings so that the hatch lines run along x, scan, turn back.
    const double cs = std::cos(angle), sn = std::sin(angle);
    auto toLocal = [&](Vec2 p) { return Vec2{p.x * cs + p.y * sn, -p.x * sn + p.y * cs}; };
    auto toWorld = [&](Vec2 p) { return Vec2{p.x * cs - p.y * sn, p.x * sn + p.y * cs}; };
    std::vector<std::vector<Vec2>> local;
    double minY = INFINITY, maxY = -INFINITY;
    for (const auto& ring : rings) {
        local.emplace_back();
        for (Vec2 p : ring) {
            const Vec2 q = toLocal(p);
            local.back().push_back(q);
            minY = std::min(minY, q.y);
            maxY = std::max(maxY, q.y);
        }
    }
    std::vector<Segment> out;
    if (!(spacing > 0) || !std::isfinite(minY) || !std::isfinite(maxY))
        return out;
    const double first = std::ceil(minY / spacing);
    const double count = std::floor(maxY / spacing) - first + 1;
    if (!(count < double(maxLines)))
        return std::nullopt;
    std::vector<double> xs;
    for (double i = 0; i < count; ++i) {
        const double y = (first + i) * spacing;
        xs.clear();
        for (const auto& ring : local)
            for (size_t k = 0; k < ring.size(); ++k) {
                const Vec2 a = ring[k], b = ring[(k + 1) % ring.size()];
                if ((a.y <= y && y < b.y) || (b.y <= y && y < a.y))
                    xs.push_back(a.x + (y - a.y) * (b.x - a.x) / (b.y - a.y));
            }
        std::sort(xs.begin(), xs.end());
        for (size_t k = 0; k + 1 < xs.size(); k += 2)
            out.push_back({toWorld({xs[k], y}), toWorld({xs[k + 1], y})});
    }
    return out;
}

std::optional<std::vector<std::vector<Vec2>>> dashes(const std::vector<Vec2>& input, bool closed,
                                                     const std::vector<double>& pattern,
                                                     size_t maxDashes) {
    std::vector<Vec2> pts = input;
    if (closed && !pts.empty())
        pts.push_back(pts.front());
    double total = 0, period = 0;
    for (size_t i = 1; i < pts.size(); ++i)
        total += std::hypot(pts[i].x - pts[i - 1].x, pts[i].y - pts[i - 1].y);
    for (double p : pattern)
        period += p;
    if (!(period > 0) || !std::isfinite(total) ||
        total / period * double(pattern.size()) / 2 > double(maxDashes))
        return std::nullopt;
    std::vector<std::vector<Vec2>> out;
    size_t phase = 0;
    double left = pattern[0]; // of the current dash or gap
    bool on = true;
    if (on)
        out.push_back({pts.empty() ? Vec2{} : pts[0]});
    for (size_t i = 1; i < pts.size(); ++i) {
        Vec2 a = pts[i - 1];
        const Vec2 b = pts[i];
        double len = std::hypot(b.x - a.x, b.y - a.y);
        // Each pass ends a dash or gap or the segment; both are bounded.
        while (len > 0) {
            const double step = std::min(len, left);
            const double t = step / len;
            a = {a.x + (b.x - a.x) * t, a.y + (b.y - a.y) * t};
            len -= step;
            left -= step;
            if (on)
                out.back().push_back(a);
            if (left <= 1e-12) {
                phase = (phase + 1) % pattern.size();
                left = pattern[phase];
                on = !on;
                if (on)
                    out.push_back({a});
            }
        }
    }
    std::erase_if(out, [](const std::vector<Vec2>& d) { return d.size() < 2; });
    return out;
}

} // namespace dv::cgm
