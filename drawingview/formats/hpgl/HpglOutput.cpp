#include "HpglOutput.h"

#include <QPainterPath>
#include <QPolygonF>

#include <algorithm>
#include <cmath>

namespace dv::hpgl {

namespace {

// Long pen-down runs are cut so that no shape grows without bound.
constexpr size_t kMaxPathPoints = 65536;
// Beyond this many dashes (or hatch lines) in one figure the pattern is
// finer than any output shows; the figure is drawn solid instead.
constexpr double kMaxDashes = 200000;
constexpr double kMaxHatchLines = 5000;
constexpr size_t kMaxSimplifyPoints = 20000;

double length(Vec2 a, Vec2 b) {
    return std::hypot(b.x - a.x, b.y - a.y);
}

uint32_t tint(uint32_t rgb, double level) {
    const double f = std::clamp(level, 0.0, 100.0) / 100.0;
    auto mix = [f](uint32_t c) { return uint32_t(std::lround(255 - (255 - double(c)) * f)); };
    return (mix((rgb >> 16) & 0xff) << 16) | (mix((rgb >> 8) & 0xff) << 8) | mix(rgb & 0xff);
}

} // namespace

Output::Output(Document& doc, size_t pointBudget)
    : m_doc(doc), m_block(doc.blocks.at(0)), m_budget(pointBudget) {}

void Output::setPen(const PenStyle& pen) {
    if (pen.pen != m_pen.pen || pen.rgb != m_pen.rgb || pen.width != m_pen.width) {
        endPath();
        m_pen = pen;
    }
}

void Output::setLineStyle(const LineStyle& style) {
    if (!(style == m_line)) {
        endPath();
        m_line = style;
    }
}

int Output::layerOf(int pen) {
    auto it = m_penLayers.find(pen);
    if (it == m_penLayers.end())
        it = m_penLayers.emplace(pen, m_doc.layerIndex(QStringLiteral("Pen %1").arg(pen))).first;
    // The layer shows the pen's latest colour; each shape keeps its own.
    m_doc.layers[size_t(it->second)].color = Color::fromRgb(m_pen.rgb);
    return it->second;
}

bool Output::roomFor(size_t points) {
    if (m_block.points.size() + points <= m_budget)
        return true;
    ++m_overflow;
    return false;
}

Shape& Output::styled(Shape& s, const char* entity, uint32_t rgb, float width) {
    s.layer = layerOf(m_pen.pen);
    s.color = Color::fromRgb(rgb);
    s.width = width;
    s.entityType = m_doc.entityTypeId(QLatin1String(entity));
    return s;
}

void Output::segment(Vec2 from, Vec2 to) {
    if (m_path.empty() || m_path.back().x != from.x || m_path.back().y != from.y ||
        m_path.size() >= kMaxPathPoints) {
        endPath();
        m_path.push_back(from);
    }
    m_path.push_back(to);
}

void Output::endPath() {
    if (m_path.empty())
        return;
    std::vector<Vec2> path;
    path.swap(m_path);
    const bool still = std::all_of(path.begin(), path.end(), [&](Vec2 p) {
        return p.x == path.front().x && p.y == path.front().y;
    });
    if (still) {
        dot(path.front());
        return;
    }
    if (!roomFor(0))
        return;
    ++m_block.entityCounts[QStringLiteral("POLYLINE")];
    emitStroked(path, false, "POLYLINE");
}

void Output::outline(const std::vector<Vec2>& pts, bool closed, const char* entity) {
    endPath();
    if (pts.size() < 2 || !roomFor(pts.size()))
        return;
    ++m_block.entityCounts[QLatin1String(entity)];
    emitStroked(pts, closed, entity);
}

void Output::emitStroked(const std::vector<Vec2>& pts, bool closed, const char* entity) {
    switch (m_line.kind) {
    case LineStyle::Solid:
        if (roomFor(pts.size()))
            styled(m_block.addPolyline(pts, closed), entity, m_pen.rgb, m_pen.width);
        return;
    case LineStyle::Dots:
        // Line type 0 marks only the ends of each vector.
        for (const Vec2& p : pts)
            if (roomFor(1))
                styled(m_block.addPoint(p), entity, m_pen.rgb, m_pen.width);
        return;
    case LineStyle::Dashed: {
        if (closed) {
            std::vector<Vec2> ring = pts;
            ring.push_back(pts.front());
            emitDashed(ring, entity);
        } else {
            emitDashed(pts, entity);
        }
        return;
    }
    }
}

void Output::emitDashed(const std::vector<Vec2>& pts, const char* entity) {
    double period = 0;
    for (double d : m_line.dashes)
        period += d;
    double total = 0;
    for (size_t i = 1; i < pts.size(); ++i)
        total += length(pts[i - 1], pts[i]);
    if (period <= 1e-9 || total / period * double(m_line.dashes.size()) > kMaxDashes) {
        if (roomFor(pts.size()))
            styled(m_block.addPolyline(pts, false), entity, m_pen.rgb, m_pen.width);
        return;
    }
    size_t element = 0;
    double left = m_line.dashes[0]; // of the current element
    std::vector<Vec2> dash{pts[0]};
    auto drawing = [&] { return element % 2 == 0; };
    auto closeDash = [&](Vec2 end) {
        if (drawing()) {
            if (dash.size() == 1 || (dash.size() == 2 && length(dash[0], dash[1]) == 0)) {
                if (roomFor(1))
                    styled(m_block.addPoint(end), entity, m_pen.rgb, m_pen.width);
            } else if (roomFor(dash.size())) {
                styled(m_block.addPolyline(dash, false), entity, m_pen.rgb, m_pen.width);
            }
        }
    };
    for (size_t i = 1; i < pts.size(); ++i) {
        Vec2 a = pts[i - 1];
        const Vec2 b = pts[i];
        double seg = length(a, b);
        while (seg > 0 && left <= seg) {
            const double t = left / seg;
            const Vec2 cut{a.x + (b.x - a.x) * t, a.y + (b.y - a.y) * t};
            if (drawing())
                dash.push_back(cut);
            closeDash(cut);
            seg -= left;
            a = cut;
            element = (element + 1) % m_line.dashes.size();
            left = m_line.dashes[element];
            dash.assign(1, cut);
            if (left <= 0 && drawing()) {
                closeDash(cut); // a dot
                element = (element + 1) % m_line.dashes.size();
                left = m_line.dashes[element];
            }
        }
        left -= seg;
        if (drawing())
            dash.push_back(b);
    }
    if (drawing() && dash.size() > 1)
        closeDash(dash.back());
}

void Output::strokes(const strokefont::Strokes& strokes, const char* entity) {
    endPath();
    size_t n = 0;
    for (const auto& s : strokes)
        n += s.size();
    if (strokes.empty() || !roomFor(n))
        return;
    ++m_block.entityCounts[QLatin1String(entity)];
    for (const auto& s : strokes)
        styled(m_block.addPolyline(s, false), entity, m_pen.rgb, m_pen.width);
}

void Output::dot(Vec2 p) {
    endPath();
    if (!roomFor(1))
        return;
    ++m_block.entityCounts[QStringLiteral("POINT")];
    styled(m_block.addPoint(p), "POINT", m_pen.rgb, m_pen.width);
}

void Output::fill(const Rings& input, const FillStyle& style, bool nonZero, const char* entity) {
    endPath();
    Rings rings;
    size_t n = 0;
    for (const auto& r : input)
        if (r.size() >= 3) {
            rings.push_back(r);
            n += r.size();
        }
    if (rings.empty() || !roomFor(n))
        return;
    ++m_block.entityCounts[QLatin1String(entity)];
    if (style.kind == FillStyle::Solid) {
        if (nonZero && n <= kMaxSimplifyPoints) {
            // The renderer fills odd-even; the union of the winding fill
            // gives the same area under that rule.
            QPainterPath path;
            path.setFillRule(Qt::WindingFill);
            for (const auto& r : rings) {
                QPolygonF poly;
                for (const Vec2& p : r)
                    poly << QPointF(p.x, p.y);
                poly << poly.first();
                path.addPolygon(poly);
            }
            Rings simple;
            for (const QPolygonF& poly : path.simplified().toSubpathPolygons()) {
                std::vector<Vec2> r;
                for (const QPointF& p : poly)
                    r.push_back({p.x(), p.y()});
                if (r.size() >= 3)
                    simple.push_back(std::move(r));
            }
            rings.swap(simple);
        }
        emitPolygon(rings, tint(m_pen.rgb, style.level), entity);
        return;
    }
    emitHatch(rings, style.spacing, style.angle, nonZero, entity);
    if (style.kind == FillStyle::CrossHatch)
        emitHatch(rings, style.spacing, style.angle + M_PI / 2, nonZero, entity);
}

void Output::emitPolygon(const Rings& rings, uint32_t rgb, const char* entity) {
    if (rings.empty())
        return;
    Shape& s = styled(m_block.addPolygon(rings[0]), entity, rgb, 0);
    const size_t shapeIndex = size_t(&s - m_block.shapes.data());
    for (size_t i = 1; i < rings.size(); ++i) {
        m_block.ringStarts.push_back(uint32_t(m_block.points.size()));
        m_block.points.insert(m_block.points.end(), rings[i].begin(), rings[i].end());
    }
    Shape& shape = m_block.shapes[shapeIndex];
    shape.count = uint32_t(m_block.points.size() - shape.first);
}

void Output::emitHatch(const Rings& rings, double spacing, double angle, bool nonZero,
                       const char* entity) {
    // Rotate so the hatch lines run along x, cut them with every edge, and
    // keep the runs the fill rule counts as inside.
    const double c = std::cos(angle), s = std::sin(angle);
    auto toLocal = [&](Vec2 p) { return Vec2{p.x * c + p.y * s, -p.x * s + p.y * c}; };
    auto toWorld = [&](Vec2 p) { return Vec2{p.x * c - p.y * s, p.x * s + p.y * c}; };
    Rings local;
    double minY = INFINITY, maxY = -INFINITY;
    for (const auto& r : rings) {
        std::vector<Vec2> l;
        for (const Vec2& p : r) {
            l.push_back(toLocal(p));
            minY = std::min(minY, l.back().y);
            maxY = std::max(maxY, l.back().y);
        }
        local.push_back(std::move(l));
    }
    if (!(maxY > minY) || !std::isfinite(maxY - minY))
        return;
    if (!(spacing > 0) || (maxY - minY) / spacing > kMaxHatchLines)
        spacing = (maxY - minY) / kMaxHatchLines;
    struct Crossing {
        double x;
        int dir;
    };
    std::vector<Crossing> xs;
    // Lines are counted, not stepped, so a spacing below the rounding of y
    // still ends.
    const double first = std::ceil(minY / spacing);
    for (double k = 0; k <= kMaxHatchLines; ++k) {
        const double y = (first + k) * spacing;
        if (y > maxY)
            break;
        xs.clear();
        for (const auto& r : local)
            for (size_t i = 0; i < r.size(); ++i) {
                const Vec2 a = r[i], b = r[(i + 1) % r.size()];
                if ((a.y <= y) == (b.y <= y))
                    continue;
                const double t = (y - a.y) / (b.y - a.y);
                xs.push_back({a.x + (b.x - a.x) * t, b.y > a.y ? 1 : -1});
            }
        std::sort(xs.begin(), xs.end(),
                  [](const Crossing& l, const Crossing& r) { return l.x < r.x; });
        int winding = 0;
        for (size_t i = 0; i + 1 < xs.size(); ++i) {
            winding += nonZero ? xs[i].dir : 1;
            const bool inside = nonZero ? winding != 0 : (winding % 2) != 0;
            if (!inside || !(xs[i + 1].x > xs[i].x))
                continue;
            if (!roomFor(2))
                return;
            styled(m_block.addPolyline({toWorld({xs[i].x, y}), toWorld({xs[i + 1].x, y})}, false),
                   entity, m_pen.rgb, m_pen.width);
        }
    }
}

void Output::finish(bool hpgl2) {
    endPath();
    if (m_overflow > 0)
        m_doc.skippedEntities[QStringLiteral("figures over the size limit")] =
            int(std::min<size_t>(m_overflow, 1u << 30));
    const float width = hpgl2 ? 0.35f : 0.0f;
    for (Shape& s : m_block.shapes)
        if (s.width < 0)
            s.width = width;
}

} // namespace dv::hpgl
