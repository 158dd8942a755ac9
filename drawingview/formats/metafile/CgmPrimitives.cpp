#include "CgmGeometry.h"
#include "CgmInterpreter.h"

#include <cmath>

namespace dv::cgm {

namespace {

constexpr double kPi = 3.141592653589793;
constexpr double kTwoPi = 2 * kPi;
constexpr size_t kMaxHatchLines = 4000;
constexpr size_t kMaxDashes = 20000;
constexpr int kBezierSteps = 16;

Vec2 minus(Vec2 a, Vec2 b) {
    return {a.x - b.x, a.y - b.y};
}

// Angle b measured on from a, in [0, 2pi).
double sweepFrom(double a, double b) {
    double s = std::fmod(b - a, kTwoPi);
    return s < 0 ? s + kTwoPi : s;
}

std::vector<double> dashPattern(int type, double unit) {
    switch (type) {
    case 2:
        return {3 * unit, 1.5 * unit};
    case 3:
        return {0.4 * unit, unit};
    case 4:
        return {3 * unit, unit, 0.4 * unit, unit};
    case 5:
        return {3 * unit, unit, 0.4 * unit, unit, 0.4 * unit, unit};
    default:
        return {};
    }
}

} // namespace

Vec2 Interpreter::map(Vec2 p) const {
    const double* e = m_state.extent;
    const double x = e[2] < e[0] ? e[0] + e[2] - p.x : p.x;
    const double y = e[3] < e[1] ? e[1] + e[3] - p.y : p.y;
    const double k = m_state.metric ? m_state.metricFactor : 1.0;
    const Vec2 out{x * k, y * k};
    if (!std::isfinite(out.x) || !std::isfinite(out.y))
        throw FormatError(QStringLiteral("a coordinate is not a finite number"));
    return out;
}

double Interpreter::mapLength(double vdc) const {
    return std::abs(vdc) * (m_state.metric ? m_state.metricFactor : 1.0);
}

bool Interpreter::mirrored() const {
    const double* e = m_state.extent;
    return (e[2] < e[0]) != (e[3] < e[1]);
}

double Interpreter::extentSize() const {
    const double* e = m_state.extent;
    return std::max(std::abs(e[2] - e[0]), std::abs(e[3] - e[1]));
}

double Interpreter::lineWidth(const LineStyle& s) const {
    if (s.width < 0) // the mode's default: a thousandth of the picture
        return mapLength(extentSize() / 1000);
    double vdc = 0;
    switch (s.mode) {
    case SizeMode::Absolute:
        vdc = s.width;
        break;
    case SizeMode::Scaled: // nominal width: a thousandth of the picture
        vdc = s.width * extentSize() / 1000;
        break;
    case SizeMode::Fractional:
        vdc = s.width * std::abs(m_state.extent[2] - m_state.extent[0]);
        break;
    case SizeMode::Millimetres: // an abstract picture is taken as 250 mm wide
        vdc = m_state.metric ? s.width / m_state.metricFactor : s.width * extentSize() / 250;
        break;
    }
    return mapLength(vdc);
}

uint32_t Interpreter::rgb(uint32_t value, bool indexed) const {
    return indexed ? m_state.indexColour(value) : value;
}

Shape& Interpreter::styled(Shape& s, uint32_t colour, double width, const QString& entity) {
    s.layer = m_layer;
    s.color = Color::fromRgb(colour);
    s.width = std::isfinite(width) ? float(width) : 0.0f;
    s.entityType = m_doc.entityTypeId(entity);
    return s;
}

Vec2 Interpreter::readPoint(ParamReader& r) {
    const double x = r.vdc();
    const double y = r.vdc();
    return {x, y};
}

std::vector<Vec2> Interpreter::readPoints(ParamReader& r, size_t max) {
    const size_t pointBytes = 2 * r.vdcBytes();
    if (r.remaining() % pointBytes != 0)
        throw FormatError(QStringLiteral("the parameters are not a whole number of points"));
    std::vector<Vec2> pts;
    pts.reserve(std::min(max, r.remaining() / pointBytes));
    while (!r.atEnd() && pts.size() < max)
        pts.push_back(readPoint(r));
    return pts;
}

void Interpreter::polyline(const std::vector<Vec2>& vdc, bool closed, const LineStyle& style) {
    if (vdc.size() < 2)
        return;
    Block& b = m_doc.blocks[size_t(m_block)];
    std::vector<Vec2> pts;
    pts.reserve(vdc.size());
    for (Vec2 p : vdc)
        pts.push_back(map(p));
    const uint32_t colour = rgb(style.colour, style.indexed);
    const double width = lineWidth(style);
    const QString entity = QStringLiteral("LINE");
    // Dashes grow with the pen, so that round ends do not close the gaps.
    const auto pattern =
        dashPattern(style.type, std::max(mapLength(extentSize()) / 100, 2 * width));
    if (!pattern.empty()) {
        if (const auto pieces = dashes(pts, closed, pattern, kMaxDashes)) {
            for (const auto& piece : *pieces)
                styled(b.addPolyline(piece, false), colour, width, entity);
            return;
        }
    }
    styled(b.addPolyline(pts, closed), colour, width, entity);
}

void Interpreter::area(const std::vector<std::vector<Vec2>>& vdcRings, bool edges) {
    Block& b = m_doc.blocks[size_t(m_block)];
    std::vector<std::vector<Vec2>> rings;
    for (const auto& ring : vdcRings) {
        if (ring.size() < 2)
            continue;
        rings.emplace_back();
        for (Vec2 p : ring)
            rings.back().push_back(map(p));
    }
    if (rings.empty())
        return;
    const uint32_t fill = rgb(m_state.fillColour, m_state.fillIndexed);
    const QString entity = QStringLiteral("FILL");
    auto solid = [&] {
        std::vector<Vec2> all;
        std::vector<uint32_t> starts;
        for (const auto& ring : rings) {
            if (!all.empty())
                starts.push_back(uint32_t(all.size()));
            all.insert(all.end(), ring.begin(), ring.end());
        }
        Shape& s = styled(b.addPolygon(all), fill, 0, entity);
        for (uint32_t start : starts)
            b.ringStarts.push_back(s.first + start);
    };
    switch (m_state.interiorStyle) {
    case 0: // hollow: the boundary in the fill colour
        for (const auto& ring : rings)
            styled(b.addPolyline(ring, true), fill, 0, entity);
        break;
    case 3: {
        const int h = m_state.hatchIndex;
        std::vector<double> angles;
        if (h == 1 || h == 5)
            angles.push_back(0);
        if (h == 2 || h == 5)
            angles.push_back(kPi / 2);
        if (h == 3 || h == 6)
            angles.push_back(kPi / 4);
        if (h == 4 || h == 6)
            angles.push_back(-kPi / 4);
        const double spacing = mapLength(extentSize()) / 60;
        std::vector<Segment> lines;
        bool fits = !angles.empty();
        for (double a : angles) {
            const auto more = hatch(rings, a, spacing, kMaxHatchLines);
            if (!more) {
                fits = false;
                break;
            }
            lines.insert(lines.end(), more->begin(), more->end());
        }
        if (!fits) { // an unknown hatch or too fine to draw: filled solid
            solid();
            break;
        }
        for (const auto& [p, q] : lines)
            styled(b.addPolyline({p, q}, false), fill, 0, entity);
        break;
    }
    case 4: // empty
        break;
    default: // solid; patterns and interpolation drawn solid
        solid();
        break;
    }
    if (edges && m_state.edgeVisible)
        for (const auto& ring : vdcRings)
            polyline(ring, true, m_state.edge);
}

void Interpreter::polygonSet(ParamReader& r) {
    const size_t pairBytes = 2 * r.vdcBytes() + 2;
    if (r.remaining() % pairBytes != 0)
        throw FormatError(QStringLiteral("the parameters are not whole point and flag pairs"));
    std::vector<std::vector<Vec2>> rings(1);
    std::vector<std::vector<Vec2>> edges; // visible runs of the boundary
    bool edgeOpen = false;
    while (!r.atEnd()) {
        const Vec2 p = readPoint(r);
        const int flag = r.enumeration();
        auto& ring = rings.back();
        ring.push_back(p);
        if (edgeOpen)
            edges.back().push_back(p);
        const bool visible = flag == 1 || flag == 3;
        if (visible && !edgeOpen) {
            edges.push_back({p});
            edgeOpen = true;
        } else if (!visible) {
            edgeOpen = false;
        }
        if (flag == 2 || flag == 3) {
            if (visible)
                edges.back().push_back(ring.front());
            edgeOpen = false;
            rings.emplace_back();
        }
    }
    if (rings.back().empty())
        rings.pop_back();
    area(rings, false);
    if (m_state.edgeVisible)
        for (const auto& run : edges)
            polyline(run, false, m_state.edge);
}

void Interpreter::marker(Vec2 p) {
    double size = m_state.markerSize;
    switch (size < 0 ? SizeMode::Absolute : m_state.markerMode) {
    case SizeMode::Absolute:
        break;
    case SizeMode::Scaled:
        size *= extentSize() / 100;
        break;
    case SizeMode::Fractional:
        size *= std::abs(m_state.extent[2] - m_state.extent[0]);
        break;
    case SizeMode::Millimetres:
        size = m_state.metric ? size / m_state.metricFactor : size * extentSize() / 250;
        break;
    }
    if (size < 0) // the mode's default: a hundredth of the picture
        size = extentSize() / 100;
    const double h = size / 2;
    LineStyle style;
    style.colour = m_state.markerColour;
    style.indexed = m_state.markerIndexed;
    style.mode = SizeMode::Absolute;
    style.width = 0;
    Block& b = m_doc.blocks[size_t(m_block)];
    const uint32_t colour = rgb(style.colour, style.indexed);
    const int type = m_state.markerType;
    if (type == 1 || h <= 0) {
        styled(b.addPoint(map(p)), colour, 0, QStringLiteral("MARKER"));
        return;
    }
    if (type == 2 || type == 3 || type < 1 || type > 5) {
        polyline({{p.x - h, p.y}, {p.x + h, p.y}}, false, style);
        polyline({{p.x, p.y - h}, {p.x, p.y + h}}, false, style);
    }
    if (type == 3 || type == 5) {
        const double d = type == 3 ? h * 0.7071 : h;
        polyline({{p.x - d, p.y - d}, {p.x + d, p.y + d}}, false, style);
        polyline({{p.x - d, p.y + d}, {p.x + d, p.y - d}}, false, style);
    }
    if (type == 4) {
        Arc a;
        a.center = map(p);
        a.radiusX = a.radiusY = mapLength(h);
        a.endAngle = kTwoPi;
        styled(b.addArc(a), colour, 0, QStringLiteral("MARKER"));
    }
}

void Interpreter::circularArc(Vec2 c, double radius, double a0, double a1, int close) {
    if (!std::isfinite(radius) || radius <= 0 || !std::isfinite(a0) || !std::isfinite(a1))
        return;
    double sweep = sweepFrom(a0, a1);
    if (sweep == 0)
        sweep = kTwoPi;
    const std::vector<Vec2> pts = arcPoints(c, radius, a0, a0 + sweep);
    if (close < 0 && collect(pts))
        return;
    if (close >= 0) {
        std::vector<Vec2> ring = pts;
        if (close == 0 && sweep < kTwoPi)
            ring.push_back(c);
        area({ring}, true);
        return;
    }
    if (m_state.line.type >= 2 && m_state.line.type <= 5) {
        polyline(pts, false, m_state.line);
        return;
    }
    // Drawn as an arc of the model, its angles read in drawing space.
    const Vec2 centre = map(c);
    const Vec2 s = map(pts.front()), e = map(pts.back());
    double start = std::atan2(s.y - centre.y, s.x - centre.x);
    double end = std::atan2(e.y - centre.y, e.x - centre.x);
    if (mirrored())
        std::swap(start, end);
    Arc a;
    a.center = centre;
    a.radiusX = a.radiusY = mapLength(radius);
    a.startAngle = start;
    a.endAngle = sweep >= kTwoPi
                     ? start + kTwoPi
                     : start + (sweepFrom(start, end) == 0 ? kTwoPi : sweepFrom(start, end));
    Block& b = m_doc.blocks[size_t(m_block)];
    styled(b.addArc(a), rgb(m_state.line.colour, m_state.line.indexed), lineWidth(m_state.line),
           QStringLiteral("LINE"));
}

void Interpreter::arc3(Vec2 p1, Vec2 p2, Vec2 p3, int close) {
    const auto circle = circleThrough(p1, p2, p3);
    if (!circle) {
        if (close >= 0)
            area({{p1, p3}}, true);
        else
            polyline({p1, p3}, false, m_state.line);
        return;
    }
    const Vec2 c = circle->centre;
    const double a1 = std::atan2(p1.y - c.y, p1.x - c.x);
    const double a2 = std::atan2(p2.y - c.y, p2.x - c.x);
    const double a3 = std::atan2(p3.y - c.y, p3.x - c.x);
    // Counter-clockwise from p1 when p2 comes before p3 that way round.
    if (sweepFrom(a1, a2) <= sweepFrom(a1, a3))
        circularArc(c, circle->radius, a1, a3, close);
    else
        circularArc(c, circle->radius, a3, a1, close);
}

void Interpreter::ellipse(Vec2 c, Vec2 d1, Vec2 d2, const double* startEnd, int close) {
    const Vec2 a = minus(d1, c), b = minus(d2, c);
    const double det = a.x * b.y - a.y * b.x;
    if (!std::isfinite(det) || det == 0) {
        polyline({{c.x - a.x, c.y - a.y}, d1}, false, m_state.line);
        return;
    }
    double t0 = 0, t1 = kTwoPi;
    if (startEnd) {
        // The parameter whose point lies on each ray from the centre.
        auto param = [&](double vx, double vy) {
            return std::atan2((-a.y * vx + a.x * vy) / det, (b.y * vx - b.x * vy) / det);
        };
        t0 = param(startEnd[0], startEnd[1]);
        const double s = sweepFrom(t0, param(startEnd[2], startEnd[3]));
        t1 = t0 + (s == 0 ? kTwoPi : s);
    }
    std::vector<Vec2> pts = ellipsePoints(c, a, b, t0, t1);
    if (!startEnd) {
        pts.pop_back();
        area({pts}, true);
    } else if (close >= 0) {
        if (close == 0)
            pts.push_back(c);
        area({pts}, true);
    } else if (!collect(pts)) {
        polyline(pts, false, m_state.line);
    }
}

void Interpreter::polybezier(ParamReader& r) {
    // Continuity 1: four points a curve; 2: the curves share their ends.
    const bool continuous = r.index() == 2;
    const std::vector<Vec2> control = readPoints(r);
    std::vector<Vec2> pts;
    size_t i = 0;
    while (i + 3 < control.size()) {
        const Vec2 p0 = control[i], p1 = control[i + 1], p2 = control[i + 2], p3 = control[i + 3];
        if (pts.empty() || !continuous)
            pts.push_back(p0);
        for (int k = 1; k <= kBezierSteps; ++k) {
            const double t = double(k) / kBezierSteps, u = 1 - t;
            const double a = u * u * u, b = 3 * u * u * t, c = 3 * u * t * t, d = t * t * t;
            pts.push_back({a * p0.x + b * p1.x + c * p2.x + d * p3.x,
                           a * p0.y + b * p1.y + c * p2.y + d * p3.y});
        }
        if (!continuous) {
            if (!collect(pts))
                polyline(pts, false, m_state.line);
            pts.clear();
        }
        i += continuous ? 3 : 4;
    }
    if (continuous && !collect(pts))
        polyline(pts, false, m_state.line);
}

bool Interpreter::collect(const std::vector<Vec2>& vdc) {
    if (!m_figure.open || vdc.empty())
        return m_figure.open;
    // Counted now: the area they make at the end adds them to no budget.
    if (vdc.size() > m_pointBudget)
        throw FormatError(
            QStringLiteral("the drawing would have more than %1 points").arg(kMaxPoints));
    m_pointBudget -= vdc.size();
    std::vector<Vec2>& ring = m_figure.rings.back();
    // Pieces that do not meet are joined by a straight edge.
    const bool joined =
        !ring.empty() && ring.back().x == vdc.front().x && ring.back().y == vdc.front().y;
    ring.insert(ring.end(), vdc.begin() + (joined ? 1 : 0), vdc.end());
    return true;
}

void Interpreter::endFigure() {
    if (!m_figure.open)
        return;
    std::vector<std::vector<Vec2>> rings = std::move(m_figure.rings);
    m_figure = {};
    std::erase_if(rings, [](const std::vector<Vec2>& ring) { return ring.size() < 3; });
    if (!rings.empty() && m_block >= 0)
        area(rings, true);
}

void Interpreter::backgroundRect() {
    if (m_state.background == 0xFFFFFF)
        return;
    const double* e = m_state.extent;
    Block& b = m_doc.blocks[size_t(m_block)];
    styled(
        b.addPolygon({map({e[0], e[1]}), map({e[2], e[1]}), map({e[2], e[3]}), map({e[0], e[3]})}),
        m_state.background, 0, QStringLiteral("BACKGROUND"));
}

void Interpreter::primitive(const Element& e, ParamReader& r) {
    if (m_block < 0) {
        ++m_doc.skippedEntities[elementName(e.cls, e.id) + QStringLiteral(" outside a picture")];
        return;
    }
    const size_t pointsBefore = m_doc.blocks[size_t(m_block)].points.size();
    switch (e.id) {
    case 1: {
        const auto pts = readPoints(r);
        if (!collect(pts))
            polyline(pts, false, m_state.line);
        break;
    }
    case 2: {
        const auto pts = readPoints(r);
        for (size_t i = 0; i + 1 < pts.size(); i += 2)
            polyline({pts[i], pts[i + 1]}, false, m_state.line);
        break;
    }
    case 3:
        for (Vec2 p : readPoints(r))
            marker(p);
        break;
    case 4: {
        const Vec2 at = readPoint(r);
        const bool final = r.enumeration() == 1;
        text(at, r.string(), final, 0);
        break;
    }
    case 5: {
        r.vdc();
        const double dy = r.vdc();
        const Vec2 at = readPoint(r);
        const bool final = r.enumeration() == 1;
        text(at, r.string(), final, std::isfinite(dy) ? std::abs(dy) : 0);
        break;
    }
    case 6: {
        const bool final = r.enumeration() == 1;
        appendText(r.string(), final);
        break;
    }
    case 7:
        area({readPoints(r)}, true);
        break;
    case 8:
        polygonSet(r);
        break;
    case 9:
        cellArray(r);
        break;
    case 11: {
        const Vec2 p = readPoint(r), q = readPoint(r);
        area({{p, {q.x, p.y}, q, {p.x, q.y}}}, true);
        break;
    }
    case 12: {
        const Vec2 c = readPoint(r);
        const double radius = std::abs(r.vdc());
        circularArc(c, radius, 0, kTwoPi, 1);
        break;
    }
    case 13:
    case 14: {
        const Vec2 p1 = readPoint(r), p2 = readPoint(r), p3 = readPoint(r);
        arc3(p1, p2, p3, e.id == 14 ? std::clamp(r.enumeration(), 0, 1) : -1);
        break;
    }
    case 15:
    case 16:
    case 20: {
        const Vec2 c = readPoint(r);
        const Vec2 s = readPoint(r), t = readPoint(r);
        const double radius = std::abs(r.vdc());
        const int close = e.id == 16 ? std::clamp(r.enumeration(), 0, 1) : -1;
        double a0 = std::atan2(s.y, s.x), a1 = std::atan2(t.y, t.x);
        if (e.id == 20)
            std::swap(a0, a1);
        circularArc(c, radius, a0, a1, close);
        break;
    }
    case 17: {
        const Vec2 c = readPoint(r), d1 = readPoint(r), d2 = readPoint(r);
        ellipse(c, d1, d2, nullptr, -1);
        break;
    }
    case 18:
    case 19: {
        const Vec2 c = readPoint(r), d1 = readPoint(r), d2 = readPoint(r);
        const Vec2 s = readPoint(r), t = readPoint(r);
        const double se[4] = {s.x, s.y, t.x, t.y};
        ellipse(c, d1, d2, se, e.id == 19 ? std::clamp(r.enumeration(), 0, 1) : -1);
        break;
    }
    case 26:
        polybezier(r);
        break;
    default:
        skipped(e);
        return;
    }
    Block& b = m_doc.blocks[size_t(m_block)];
    ++b.entityCounts[elementName(e.cls, e.id)];
    // Curves and hatches give more points than their bytes; a file made of
    // nothing else must not take all memory.
    const size_t added = b.points.size() - pointsBefore;
    if (added > m_pointBudget)
        throw FormatError(
            QStringLiteral("the drawing would have more than %1 points").arg(kMaxPoints));
    m_pointBudget -= added;
}

} // namespace dv::cgm
