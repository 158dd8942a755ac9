#include "DxfCurves.h"

#include <algorithm>
#include <cmath>

namespace dv::dxf {

namespace {

constexpr size_t kMaxCurvePoints = 20000;

bool knotsFit(const std::vector<double>& knots, size_t n, int degree) {
    if (knots.size() != n + size_t(degree) + 1)
        return false;
    for (size_t i = 0; i < knots.size(); ++i) {
        if (!std::isfinite(knots[i]) || (i > 0 && knots[i] < knots[i - 1]))
            return false;
    }
    return knots[size_t(degree)] < knots[n];
}

} // namespace

void appendNurbs(std::vector<Vec2>& out, int degree, std::vector<double> knots,
                 const std::vector<Vec2>& control, std::vector<double> weights) {
    const size_t n = control.size();
    if (n == 0)
        return;
    if (n == 1) {
        out.push_back(control[0]);
        return;
    }
    degree = std::clamp(degree, 1, int(std::min<size_t>(n - 1, 11)));
    const size_t p = size_t(degree);
    if (!knotsFit(knots, n, degree)) {
        knots.assign(n + p + 1, 0.0);
        for (size_t i = 0; i < knots.size(); ++i)
            knots[i] = double(std::clamp<size_t>(i, p, n) - p);
    }
    if (weights.size() != n)
        weights.assign(n, 1.0);
    for (double& w : weights)
        if (!(w > 0) || !std::isfinite(w))
            w = 1.0;

    const double t0 = knots[p], t1 = knots[n];
    const size_t steps =
        std::clamp<size_t>((n - p) * 16 * std::min<size_t>(p, 3), 8, kMaxCurvePoints);
    struct H {
        double x, y, w;
    };
    std::vector<H> d(p + 1);
    size_t span = p;
    for (size_t s = 0; s <= steps; ++s) {
        const double t = s == steps ? t1 : t0 + (t1 - t0) * double(s) / double(steps);
        while (span + 1 < n && knots[span + 1] <= t)
            ++span;
        // de Boor on homogeneous points.
        for (size_t j = 0; j <= p; ++j) {
            const size_t i = span - p + j;
            d[j] = {control[i].x * weights[i], control[i].y * weights[i], weights[i]};
        }
        for (size_t r = 1; r <= p; ++r)
            for (size_t j = p; j >= r; --j) {
                const size_t i = span - p + j;
                const double den = knots[i + p - r + 1] - knots[i];
                const double a = den > 0 ? (t - knots[i]) / den : 0;
                d[j] = {(1 - a) * d[j - 1].x + a * d[j].x, (1 - a) * d[j - 1].y + a * d[j].y,
                        (1 - a) * d[j - 1].w + a * d[j].w};
            }
        if (d[p].w != 0)
            out.push_back({d[p].x / d[p].w, d[p].y / d[p].w});
    }
}

void appendThroughPoints(std::vector<Vec2>& out, const std::vector<Vec2>& fit, bool closed) {
    const size_t n = fit.size();
    if (n < 3) {
        out.insert(out.end(), fit.begin(), fit.end());
        return;
    }
    auto at = [&](long i) -> Vec2 {
        if (closed)
            return fit[size_t((i % long(n) + long(n)) % long(n))];
        if (i < 0) // reflected end points keep the end tangents natural
            return {2 * fit[0].x - fit[1].x, 2 * fit[0].y - fit[1].y};
        if (i >= long(n))
            return {2 * fit[n - 1].x - fit[n - 2].x, 2 * fit[n - 1].y - fit[n - 2].y};
        return fit[size_t(i)];
    };
    const size_t segments = closed ? n : n - 1;
    const int steps = int(std::clamp<size_t>(kMaxCurvePoints / segments, 1, 12));
    auto knot = [](Vec2 a, Vec2 b, double t) {
        return t + std::max(1e-12, std::sqrt(std::hypot(b.x - a.x, b.y - a.y)));
    };
    out.push_back(fit[0]);
    for (size_t seg = 0; seg < segments; ++seg) {
        const Vec2 p0 = at(long(seg) - 1), p1 = at(long(seg)), p2 = at(long(seg) + 1),
                   p3 = at(long(seg) + 2);
        const double t0 = 0, t1 = knot(p0, p1, t0), t2 = knot(p1, p2, t1), t3 = knot(p2, p3, t2);
        for (int s = 1; s <= steps; ++s) {
            const double t = t1 + (t2 - t1) * s / steps;
            auto lerp = [](Vec2 a, Vec2 b, double ta, double tb, double tt) {
                const double u = (tt - ta) / (tb - ta);
                return Vec2{a.x + (b.x - a.x) * u, a.y + (b.y - a.y) * u};
            };
            const Vec2 a1 = lerp(p0, p1, t0, t1, t), a2 = lerp(p1, p2, t1, t2, t),
                       a3 = lerp(p2, p3, t2, t3, t);
            const Vec2 b1 = lerp(a1, a2, t0, t2, t), b2 = lerp(a2, a3, t1, t3, t);
            out.push_back(s == steps ? p2 : lerp(b1, b2, t1, t2, t));
        }
    }
}

} // namespace dv::dxf
