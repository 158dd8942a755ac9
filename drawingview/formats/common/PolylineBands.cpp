#include "PolylineBands.h"

#include <algorithm>
#include <cmath>
#include <numbers>
#include <optional>

namespace dv {

namespace {

constexpr double kStepAngle = 3 * std::numbers::pi / 180;
// A mitre reaching further than this many half widths from its vertex (a
// near reversal) is cut back to square ends.
constexpr double kMitreLimit = 10;

Vec2 sum(Vec2 a, Vec2 b) {
    return {a.x + b.x, a.y + b.y};
}
Vec2 diff(Vec2 a, Vec2 b) {
    return {a.x - b.x, a.y - b.y};
}
Vec2 times(Vec2 a, double f) {
    return {a.x * f, a.y * f};
}
double cross(Vec2 a, Vec2 b) {
    return a.x * b.y - a.y * b.x;
}

double magnitude(double w) {
    return std::isfinite(w) ? std::abs(w) : 0.0;
}

struct Segment {
    Vec2 a, b;
    double w0 = 0, w1 = 0;
    bool straight = true;
    bool degenerate = false;
    BulgeArc arc;
    Vec2 normal;                     // left of a straight segment
    Vec2 startL, startR, endL, endR; // corners of a straight band
    bool wide() const { return w0 > 0 || w1 > 0; }
};

// Where the line p + s*d meets q + t*e; none when they run parallel.
std::optional<Vec2> meet(Vec2 p, Vec2 d, Vec2 q, Vec2 e) {
    const double den = cross(d, e);
    if (std::abs(den) < 1e-12 * std::hypot(d.x, d.y) * std::hypot(e.x, e.y))
        return std::nullopt;
    return sum(p, times(d, cross(diff(q, p), e) / den));
}

void mitre(Segment& prev, Segment& next, Vec2 vertex) {
    if (!prev.straight || !next.straight || prev.degenerate || next.degenerate)
        return;
    const double w = prev.w1;
    if (!(w > 0) || std::abs(w - next.w0) > 1e-12 * std::max(w, next.w0))
        return;
    const auto left =
        meet(prev.startL, diff(prev.endL, prev.startL), next.startL, diff(next.endL, next.startL));
    const auto right =
        meet(prev.startR, diff(prev.endR, prev.startR), next.startR, diff(next.endR, next.startR));
    if (!left || !right)
        return; // straight on: the square ends already meet
    const double reach = kMitreLimit * w / 2;
    const Vec2 dl = diff(*left, vertex), dr = diff(*right, vertex);
    if (std::hypot(dl.x, dl.y) > reach || std::hypot(dr.x, dr.y) > reach)
        return;
    prev.endL = next.startL = *left;
    prev.endR = next.startR = *right;
}

void appendArcRun(std::vector<Vec2>& out, const BulgeArc& arc) {
    for (int k = 1; k < arc.steps; ++k) {
        const double t = arc.start + arc.sweep * k / arc.steps;
        out.push_back(
            {arc.center.x + arc.radius * std::cos(t), arc.center.y + arc.radius * std::sin(t)});
    }
}

std::vector<Vec2> arcBand(const Segment& s) {
    const BulgeArc& arc = s.arc;
    std::vector<Vec2> ring;
    ring.reserve(size_t(arc.steps + 1) * 2);
    auto at = [&](int k, double side) {
        const double f = double(k) / arc.steps;
        const double t = arc.start + arc.sweep * f;
        const double r = arc.radius + side * (s.w0 + (s.w1 - s.w0) * f) / 2;
        return Vec2{arc.center.x + r * std::cos(t), arc.center.y + r * std::sin(t)};
    };
    for (int k = 0; k <= arc.steps; ++k)
        ring.push_back(at(k, 1));
    for (int k = arc.steps; k >= 0; --k)
        ring.push_back(at(k, -1));
    return ring;
}

} // namespace

bool bulgeArc(Vec2 a, Vec2 b, double bulge, BulgeArc& out) {
    const double dx = b.x - a.x, dy = b.y - a.y;
    const double chord = std::hypot(dx, dy);
    if (!std::isfinite(bulge) || std::abs(bulge) < 1e-9 || chord <= 0 || !std::isfinite(chord))
        return false;
    out.sweep = 4 * std::atan(bulge);
    const double f = (1 - bulge * bulge) / (4 * bulge);
    out.center = {a.x + dx / 2 - dy * f, a.y + dy / 2 + dx * f};
    out.radius = std::hypot(a.x - out.center.x, a.y - out.center.y);
    out.start = std::atan2(a.y - out.center.y, a.x - out.center.x);
    out.steps = std::clamp(int(std::ceil(std::abs(out.sweep) / kStepAngle)), 1, 120);
    return std::isfinite(out.radius);
}

int bulgeArcInnerPointsAtMost(double bulge) {
    if (!std::isfinite(bulge))
        return 0;
    // |4 atan(b)| is at most 4 |b|, and less than a full turn.
    const double sweep = std::min(4 * std::abs(bulge), 2 * std::numbers::pi);
    return std::clamp(int(std::ceil(sweep / kStepAngle)), 1, 120) - 1;
}

PolylineBands buildBands(const std::vector<Vec2>& v, const std::vector<double>& bulges,
                         const std::vector<double>& startWidths,
                         const std::vector<double>& endWidths, bool closed) {
    PolylineBands out;
    const size_t n = std::min({v.size(), bulges.size(), startWidths.size(), endWidths.size()});
    if (n < 2)
        return out;
    const size_t count = closed ? n : n - 1;
    std::vector<Segment> segs(count);
    for (size_t i = 0; i < count; ++i) {
        Segment& s = segs[i];
        s.a = v[i];
        s.b = v[(i + 1) % n];
        s.w0 = magnitude(startWidths[i]);
        s.w1 = magnitude(endWidths[i]);
        s.straight = !bulgeArc(s.a, s.b, bulges[i], s.arc);
        const Vec2 d = diff(s.b, s.a);
        const double len = std::hypot(d.x, d.y);
        s.degenerate = !(len > 0) || !std::isfinite(len);
        if (s.straight && !s.degenerate) {
            s.normal = {-d.y / len, d.x / len};
            s.startL = sum(s.a, times(s.normal, s.w0 / 2));
            s.startR = diff(s.a, times(s.normal, s.w0 / 2));
            s.endL = sum(s.b, times(s.normal, s.w1 / 2));
            s.endR = diff(s.b, times(s.normal, s.w1 / 2));
        }
    }
    // Repeated vertices (a closing one written out, say) leave no segment
    // between their neighbours, which still join.
    std::vector<size_t> real;
    for (size_t i = 0; i < count; ++i)
        if (!segs[i].degenerate)
            real.push_back(i);
    for (size_t k = 0; k + 1 < real.size(); ++k)
        mitre(segs[real[k]], segs[real[k + 1]], segs[real[k]].b);
    if (closed && real.size() > 2)
        mitre(segs[real.back()], segs[real.front()], segs[real.front()].a);

    for (const Segment& s : segs) {
        if (s.degenerate)
            continue;
        if (!s.wide()) {
            // Runs of thin segments stay lines, joined where they follow on.
            if (out.hairlines.empty() || out.hairlines.back().back().x != s.a.x ||
                out.hairlines.back().back().y != s.a.y)
                out.hairlines.push_back({s.a});
            if (!s.straight)
                appendArcRun(out.hairlines.back(), s.arc);
            out.hairlines.back().push_back(s.b);
            continue;
        }
        if (s.straight)
            out.bands.push_back({s.startL, s.endL, s.endR, s.startR});
        else
            out.bands.push_back(arcBand(s));
    }
    return out;
}

} // namespace dv
