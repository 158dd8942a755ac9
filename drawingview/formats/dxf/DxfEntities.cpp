#include "DxfEntities.h"

#include "DxfLineTypes.h"
#include "DxfMText.h"
#include "DxfVector.h"
#include "formats/common/PolylineBands.h"
#include "model/TextMetrics.h"
#include "model/VectorState.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <numbers>

namespace dv::dxf {

namespace {

constexpr double kPi = std::numbers::pi;
constexpr double kDeg = kPi / 180.0;

double normalizedAngle(double a) {
    a = std::fmod(a, 2 * kPi);
    return a < 0 ? a + 2 * kPi : a;
}

// Counter-clockwise sweep from start to end; equal angles make a full turn.
void setSweep(Arc& arc, double start, double end) {
    start = normalizedAngle(start);
    end = normalizedAngle(end);
    if (end <= start)
        end += 2 * kPi;
    arc.startAngle = start;
    arc.endAngle = end;
}

// Text of a tilted or mirrored frame keeps its glyphs upright and readable
// in the plan view; its alignment point and direction follow the frame.
void placeInFrame(Text& text, const ObjectFrame& f, double elevation) {
    if (f.isWorld())
        return;
    text.position = f.toPlan(text.position, elevation);
    text.rotation = f.angleToPlan(text.rotation);
    if (f.isMirrored()) {
        // Seen from below the text runs the other way from its point.
        text.rotation += kPi;
        if (text.hAlign == Text::Left)
            text.hAlign = Text::Right;
        else if (text.hAlign == Text::Right)
            text.hAlign = Text::Left;
    }
}

// A block placed in a tilted frame: its x and y axes as the plan view sees
// them, which may lean (shear) towards each other.
void placeInFrame(Insert& ins, const ObjectFrame& f, double elevation) {
    if (f.isWorld())
        return;
    const double c = std::cos(ins.rotation), s = std::sin(ins.rotation);
    const Vec2 d = f.directionToPlan({c, s}), e = f.directionToPlan({-s, c});
    const double p = std::hypot(d.x, d.y);
    ins.position = f.toPlan(ins.position, elevation);
    if (!(p > 1e-12))
        return; // seen edge-on along its x axis: nothing sensible to lean
    const Vec2 u{d.x / p, d.y / p};
    double along = u.x * e.x + u.y * e.y, across = u.x * e.y - u.y * e.x;
    if (std::abs(across) < 1e-9)
        across = across < 0 ? -1e-9 : 1e-9; // edge-on: flattened, not lost
    ins.rotation = std::atan2(d.y, d.x);
    ins.scaleX *= p;
    ins.columnSpacing *= p;
    ins.scaleY *= across;
    ins.rowSpacing *= across;
    ins.shear = along / across;
}

} // namespace

template <typename Points> void appendBulgeArc(Points& out, Vec2 a, Vec2 b, double bulge) {
    BulgeArc arc;
    if (!bulgeArc(a, b, bulge, arc))
        return;
    const Vec2 center = arc.center;
    const int steps = arc.steps;
    // Rotating the radius vector step by step saves a sine and cosine per
    // point. Two rotations by twice the step, one for the odd points and one
    // for the even, leave each point waiting on the one two before it.
    const double c = std::cos(arc.sweep / steps), s = std::sin(arc.sweep / steps);
    const double c2 = c * c - s * s, s2 = 2 * s * c;
    const double x0 = a.x - center.x, y0 = a.y - center.y;
    double ox = x0 * c - y0 * s, oy = x0 * s + y0 * c;     // point 1
    double ex = x0 * c2 - y0 * s2, ey = x0 * s2 + y0 * c2; // point 2
    int i = 1;
    for (; i + 1 < steps; i += 2) {
        out.push_back({center.x + ox, center.y + oy});
        out.push_back({center.x + ex, center.y + ey});
        const double nox = ox * c2 - oy * s2, nex = ex * c2 - ey * s2;
        oy = ox * s2 + oy * c2;
        ey = ex * s2 + ey * c2;
        ox = nox;
        ex = nex;
    }
    if (i < steps)
        out.push_back({center.x + ox, center.y + oy});
}

template void appendBulgeArc(std::vector<Vec2>&, Vec2, Vec2, double);
template void appendBulgeArc(PointVector&, Vec2, Vec2, double);

bool EntityReader::common(const Group& g, Common& cm) {
    switch (g.code) {
    case 8:
        cm.layer = g.value;
        return true;
    case 62:
        if (!cm.trueColor)
            cm.color = Color::fromAci(toInt(g));
        return true;
    case 420:
        cm.color = Color::fromRgb(uint32_t(toInt(g)));
        cm.trueColor = true;
        return true;
    case 60:
        cm.invisible = toInt(g) != 0;
        return true;
    case 6:
        cm.lineType = g.value;
        return true;
    case 48:
        cm.lineTypeScale = toDouble(g);
        return true;
    case 370:
        cm.lineWeight = lineWeightCode(toInt(g), LineWeight::ByLayer);
        return true;
    case 440:
        cm.alpha = alphaCode(toInt(g), Alpha::ByLayer);
        return true;
    case 67:
        cm.paper = toInt(g) != 0;
        return true;
    case 210:
        cm.extrusion.x = toDouble(g);
        return true;
    case 220:
        cm.extrusion.y = toDouble(g);
        return true;
    case 230:
        cm.extrusion.z = toDouble(g);
        return true;
    case 5:
        cm.handle = g.value;
        return true;
    default:
        return false;
    }
}

int EntityReader::place(const Common& cm, const Target& t, std::string_view type,
                        uint16_t& typeId) {
    const int block = (t.paperFlag && cm.paper) ? m_ctx.paperSpaceBlock() : t.block;
    typeId = m_ctx.entityType(type);
    m_ctx.countEntity(block, typeId);
    if (cm.invisible || block < 0)
        return -1;
    m_placed = {block, uint32_t(m_ctx.doc.blocks[size_t(block)].shapes.size()), cm.handle};
    return block;
}

void EntityReader::style(Shape& s, const Common& cm, uint16_t typeId) {
    s.entityType = typeId;
    s.layer = m_ctx.layer(cm.layer);
    s.color = cm.color;
    s.lineWeight = cm.lineWeight;
    if (!cm.lineType.empty() || cm.lineTypeScale != 1 || cm.alpha != Alpha::ByLayer)
        s.lineStyle = m_ctx.lineStyle(m_ctx.lineType(cm.lineType), cm.lineTypeScale, cm.alpha);
}

void EntityReader::read(Cursor& c, const Target& t) {
    clearUpperVectorState(); // a text or a new layer may have looked up a QHash
    const std::string_view type = trimmed(c.group().value);
    m_placed.block = -1;
    switch (type.empty() ? '\0' : type[0]) {
    case 'L':
        if (type == "LINE")
            return readLine(c, t);
        if (type == "LWPOLYLINE") {
            readLwPolyline(c, t);
            return rememberOutline();
        }
        if (type == "LEADER")
            return readLeader(c, t);
        break;
    case 'C':
        if (type == "CIRCLE") {
            readCircle(c, t, false);
            return rememberOutline();
        }
        break;
    case 'A':
        if (type == "ARC")
            return readCircle(c, t, true);
        if (type == "ATTRIB")
            return readText(c, t, true);
        if (type == "ATTDEF")
            return readText(c, t, true, true);
        if (type == "ARC_DIMENSION") // drawn by its block, as a dimension is
            return readDimension(c, t, type);
        if (type == "ACAD_TABLE")
            return readTable(c, t);
        break;
    case 'M':
        if (type == "MTEXT")
            return readMText(c, t);
        if (type == "MLEADER" || type == "MULTILEADER")
            return readMLeader(c, t);
        if (type == "MLINE")
            return readMLine(c, t);
        break;
    case 'H':
        if (type == "HATCH")
            return readHatch(c, t);
        break;
    case 'D':
        if (type == "DIMENSION")
            return readDimension(c, t, type);
        break;
    case 'R':
        if (type == "RAY")
            return readInfiniteLine(c, t, true);
        break;
    case 'X':
        if (type == "XLINE")
            return readInfiniteLine(c, t, false);
        break;
    case 'V':
        if (type == "VIEWPORT")
            return readViewport(c, t);
        break;
    case 'W':
        if (type == "WIPEOUT")
            return readWipeout(c, t);
        break;
    case '3':
        if (type == "3DFACE")
            return read3dFace(c, t);
        break;
    case 'P':
        if (type == "POINT")
            return readPoint(c, t);
        if (type == "POLYLINE") {
            readPolyline(c, t);
            return rememberOutline();
        }
        break;
    case 'T':
        if (type == "TEXT")
            return readText(c, t, false);
        if (type == "TRACE")
            return readSolid(c, t, type);
        break;
    case 'I':
        if (type == "INSERT")
            return readInsert(c, t);
        if (type == "IMAGE")
            return readImage(c, t);
        break;
    case 'E':
        if (type == "ELLIPSE") {
            readEllipse(c, t);
            return rememberOutline();
        }
        break;
    case 'S':
        if (type == "SOLID")
            return readSolid(c, t, type);
        if (type == "SPLINE") {
            readSpline(c, t);
            return rememberOutline();
        }
        if (type == "SEQEND") { // a stray one: nothing to draw
            c.skipRecord();
            return;
        }
        break;
    default:
        break;
    }
    readProxy(c, t, type);
}

void EntityReader::readLine(Cursor& c, const Target& t) {
    Common cm;
    Vec2 a, b;
    while (c.advance() && c.group().code != 0) {
        const Group& g = c.group();
        if (common(g, cm))
            continue;
        switch (g.code) {
        case 10:
            a.x = toDouble(g);
            break;
        case 20:
            a.y = toDouble(g);
            break;
        case 11:
            b.x = toDouble(g);
            break;
        case 21:
            b.y = toDouble(g);
            break;
        default:
            break;
        }
    }
    uint16_t type;
    const int block = place(cm, t, "LINE", type);
    if (block < 0)
        return;
    Block& target = m_ctx.doc.blocks[size_t(block)];
    Shape s;
    s.kind = ShapeKind::Polyline;
    s.first = uint32_t(target.points.size());
    s.count = 2;
    style(s, cm, type);
    target.points.push_back(a);
    target.points.push_back(b);
    target.shapes.push_back(s);
}

void EntityReader::readPoint(Cursor& c, const Target& t) {
    Common cm;
    Vec2 p;
    while (c.advance() && c.group().code != 0) {
        const Group& g = c.group();
        if (common(g, cm))
            continue;
        if (g.code == 10)
            p.x = toDouble(g);
        else if (g.code == 20)
            p.y = toDouble(g);
    }
    uint16_t type;
    const int block = place(cm, t, "POINT", type);
    if (block >= 0)
        style(m_ctx.doc.blocks[size_t(block)].addPoint(p), cm, type);
}

void EntityReader::readCircle(Cursor& c, const Target& t, bool isArc) {
    Common cm;
    Vec2 center;
    double radius = 0, start = 0, end = 360, elevation = 0;
    while (c.advance() && c.group().code != 0) {
        const Group& g = c.group();
        if (common(g, cm))
            continue;
        switch (g.code) {
        case 10:
            center.x = toDouble(g);
            break;
        case 20:
            center.y = toDouble(g);
            break;
        case 30:
            elevation = toDouble(g);
            break;
        case 40:
            radius = toDouble(g);
            break;
        case 50:
            start = toDouble(g);
            break;
        case 51:
            end = toDouble(g);
            break;
        default:
            break;
        }
    }
    uint16_t type;
    const int block = place(cm, t, isArc ? "ARC" : "CIRCLE", type);
    if (block < 0 || !(radius > 0))
        return;
    Arc arc;
    arc.center = center;
    arc.radiusX = arc.radiusY = radius;
    if (isArc)
        setSweep(arc, start * kDeg, end * kDeg);
    else
        arc.endAngle = 2 * kPi;
    if (const ObjectFrame f = cm.frame(); !f.isWorld())
        // In a tilted frame the plan view sees an ellipse.
        arc = conjugateArc(f.toPlan(center, elevation), f.directionToPlan({radius, 0}),
                           f.directionToPlan({0, radius}), arc.startAngle, arc.endAngle);
    style(m_ctx.doc.blocks[size_t(block)].addArc(arc), cm, type);
}

void EntityReader::readEllipse(Cursor& c, const Target& t) {
    Common cm;
    Vec2 center;
    Vec3 major;
    double ratio = 1, start = 0, end = 2 * kPi;
    while (c.advance() && c.group().code != 0) {
        const Group& g = c.group();
        if (common(g, cm))
            continue;
        switch (g.code) {
        case 10:
            center.x = toDouble(g);
            break;
        case 20:
            center.y = toDouble(g);
            break;
        case 11:
            major.x = toDouble(g);
            break;
        case 21:
            major.y = toDouble(g);
            break;
        case 31:
            major.z = toDouble(g);
            break;
        case 40:
            ratio = toDouble(g);
            break;
        case 41:
            start = toDouble(g);
            break;
        case 42:
            end = toDouble(g);
            break;
        default:
            break;
        }
    }
    uint16_t type;
    const int block = place(cm, t, "ELLIPSE", type);
    const double r = std::sqrt(major.x * major.x + major.y * major.y + major.z * major.z);
    if (block < 0 || !(r > 0) || !std::isfinite(r))
        return;
    // ELLIPSE is stored in world coordinates; its extrusion only gives the
    // minor axis, normal x major.
    Arc arc;
    if (std::abs(end - start - 2 * kPi) < 1e-9 || std::abs(end - start) < 1e-12) {
        arc.startAngle = 0;
        arc.endAngle = 2 * kPi;
    } else {
        setSweep(arc, start, end);
    }
    const Vec3 n = cm.frame().normal();
    const double k = std::abs(ratio);
    const Vec2 minor{(n.y * major.z - n.z * major.y) * k, (n.z * major.x - n.x * major.z) * k};
    arc = conjugateArc(center, {major.x, major.y}, minor, arc.startAngle, arc.endAngle);
    style(m_ctx.doc.blocks[size_t(block)].addArc(arc), cm, type);
}

void EntityReader::readSolid(Cursor& c, const Target& t, std::string_view typeName) {
    Common cm;
    Vec2 p[4];
    double z[4] = {0, 0, 0, 0};
    bool hasFourth = false;
    while (c.advance() && c.group().code != 0) {
        const Group& g = c.group();
        if (common(g, cm))
            continue;
        if (g.code >= 10 && g.code <= 13) {
            p[g.code - 10].x = toDouble(g);
            if (g.code == 13)
                hasFourth = true;
        } else if (g.code >= 20 && g.code <= 23) {
            p[g.code - 20].y = toDouble(g);
        } else if (g.code >= 30 && g.code <= 33) {
            z[g.code - 30] = toDouble(g);
        }
    }
    uint16_t type;
    const int block = place(cm, t, typeName, type);
    if (block < 0)
        return;
    if (!hasFourth) {
        p[3] = p[2];
        z[3] = z[2];
    }
    const ObjectFrame f = cm.frame();
    // Corners come in zig-zag order: 1, 2, 4, 3 walks the outline.
    m_points.assign(
        {f.toPlan(p[0], z[0]), f.toPlan(p[1], z[1]), f.toPlan(p[3], z[3]), f.toPlan(p[2], z[2])});
    style(m_ctx.doc.blocks[size_t(block)].addPolygon(m_points), cm, type);
}

void EntityReader::emitPolyline(const Common& cm, const Target& t, std::string_view typeName,
                                bool closed, double elevation, double startWidth, double endWidth) {
    uint16_t type;
    const int block = place(cm, t, typeName, type);
    if (block < 0 || m_vertices.empty())
        return;
    const size_t n = m_vertices.size();
    const ObjectFrame frame = cm.frame();
    auto toPlan = [&](auto& pts, size_t from) {
        if (!frame.isWorld())
            for (size_t i = from; i < pts.size(); ++i)
                pts[i] = frame.toPlan(pts[i], elevation);
    };
    Block& b = m_ctx.doc.blocks[size_t(block)];
    if (n == 1) {
        style(b.addPoint(frame.toPlan(m_vertices[0], elevation)), cm, type);
        return;
    }
    m_startWidths.resize(n, std::nan(""));
    m_endWidths.resize(n, std::nan(""));
    bool wide = false;
    for (size_t i = 0; i < n; ++i) {
        double& w0 = m_startWidths[i];
        double& w1 = m_endWidths[i];
        w0 = std::isnan(w0) ? startWidth : w0;
        w1 = std::isnan(w1) ? endWidth : w1;
        w0 = std::isfinite(w0) ? std::abs(w0) : 0.0;
        w1 = std::isfinite(w1) ? std::abs(w1) : 0.0;
        wide = wide || ((w0 > 0 || w1 > 0) && (i + 1 < n || closed));
    }
    if (wide) {
        if (closed && b.name.startsWith(QLatin1String("*Paper_Space"), Qt::CaseInsensitive)) {
            std::vector<Vec2> centre;
            for (size_t i = 0; i < n; ++i) {
                centre.push_back(m_vertices[i]);
                appendBulgeArc(centre, m_vertices[i], m_vertices[(i + 1) % n], m_bulges[i]);
            }
            toPlan(centre, 0);
            m_centreLines[{block, uint32_t(b.shapes.size())}] = std::move(centre);
        }
        PolylineBands bands = buildBands(m_vertices, m_bulges, m_startWidths, m_endWidths, closed);
        for (auto& ring : bands.bands) {
            toPlan(ring, 0);
            style(b.addPolygon(ring), cm, type);
        }
        for (auto& line : bands.hairlines) {
            toPlan(line, 0);
            style(b.addPolyline(line, false), cm, type);
        }
        return;
    }
    // Points go straight into the block: large files hold millions of them.
    // Room for all of this polyline's is made at once; grown point by point,
    // one of many arcs would copy the block's points over and over.
    const size_t first = b.points.size();
    size_t room = n;
    for (size_t i = 0; i < n; ++i)
        if (m_bulges[i] != 0 && (i + 1 < n || closed))
            room += size_t(bulgeArcInnerPointsAtMost(m_bulges[i]));
    if (first + room > b.points.capacity())
        b.points.reserve(std::max(first + room, 2 * b.points.capacity()));
    for (size_t i = 0; i < n; ++i) {
        b.points.push_back(m_vertices[i]);
        if (m_bulges[i] != 0 && (i + 1 < n || closed))
            appendBulgeArc(b.points, m_vertices[i], m_vertices[(i + 1) % n], m_bulges[i]);
    }
    toPlan(b.points, first);
    Shape s;
    s.kind = ShapeKind::Polyline;
    s.flags = closed ? Closed : 0;
    s.first = uint32_t(first);
    s.count = uint32_t(b.points.size() - first);
    style(s, cm, type);
    b.shapes.push_back(s);
}

void EntityReader::emitMesh(const Common& cm, const Target& t, int flags,
                            const std::vector<Vec2>& pts,
                            const std::vector<std::array<int, 4>>& faces, int m, int n) {
    uint16_t type;
    const int block = place(cm, t, "POLYLINE", type);
    if (block < 0 || pts.empty())
        return;
    Block& b = m_ctx.doc.blocks[size_t(block)];
    auto add = [&](const std::vector<Vec2>& line, bool closed) {
        if (line.size() >= 2)
            style(b.addPolyline(line, closed), cm, type);
    };
    std::vector<Vec2> line;
    if (flags & 64) {
        // Each face's edges; a negative index hides the edge it starts.
        const int count = int(pts.size());
        for (const auto& f : faces) {
            int corners = 0;
            while (corners < 4 && f[size_t(corners)] != 0)
                ++corners;
            bool allVisible = true;
            for (int k = 0; k < corners; ++k)
                allVisible = allVisible && f[size_t(k)] > 0 && f[size_t(k)] <= count;
            if (allVisible) {
                line.clear();
                for (int k = 0; k < corners; ++k)
                    line.push_back(pts[size_t(f[size_t(k)] - 1)]);
                add(line, corners > 2);
                continue;
            }
            for (int k = 0; k < corners; ++k) {
                const int from = f[size_t(k)], to = std::abs(f[size_t((k + 1) % corners)]);
                if (from > 0 && from <= count && to > 0 && to <= count && from != to)
                    add({pts[size_t(from - 1)], pts[size_t(to - 1)]}, false);
            }
        }
        return;
    }
    // A polygon mesh: m rows of n vertices, drawn as its grid lines. Sizes
    // that promise more vertices than came are cut to what came.
    if (m <= 0 || n <= 0 || int64_t(m) * n > int64_t(pts.size())) {
        n = std::max(1, std::min(n, int(pts.size())));
        m = int(pts.size()) / n;
    }
    for (int i = 0; i < m; ++i) {
        line.assign(pts.begin() + i * n, pts.begin() + (i + 1) * n);
        add(line, (flags & 32) != 0);
    }
    for (int j = 0; j < n; ++j) {
        line.clear();
        for (int i = 0; i < m; ++i)
            line.push_back(pts[size_t(i * n + j)]);
        add(line, (flags & 1) != 0);
    }
}

void EntityReader::readLwPolyline(Cursor& c, const Target& t) {
    Common cm;
    int flags = 0;
    double width = 0, elevation = 0;
    m_vertices.clear();
    m_bulges.clear();
    m_startWidths.clear();
    m_endWidths.clear();
    // The vertex count (90) is not trusted: vertices are taken as they come.
    while (c.advance() && c.group().code != 0) {
        const Group& g = c.group();
        if (common(g, cm))
            continue;
        switch (g.code) {
        case 70:
            flags = toInt(g);
            break;
        case 43:
            width = toDouble(g);
            break;
        case 38:
            elevation = toDouble(g);
            break;
        case 10:
            m_vertices.push_back({toDouble(g), 0});
            m_bulges.push_back(0);
            m_startWidths.push_back(std::nan(""));
            m_endWidths.push_back(std::nan(""));
            break;
        case 20:
            if (!m_vertices.empty())
                m_vertices.back().y = toDouble(g);
            break;
        case 40:
            if (!m_startWidths.empty())
                m_startWidths.back() = toDouble(g);
            break;
        case 41:
            if (!m_endWidths.empty())
                m_endWidths.back() = toDouble(g);
            break;
        case 42:
            if (!m_bulges.empty())
                m_bulges.back() = toDouble(g);
            break;
        default:
            break;
        }
    }
    emitPolyline(cm, t, "LWPOLYLINE", (flags & 1) != 0, elevation, width, width);
}

void EntityReader::readPolyline(Cursor& c, const Target& t) {
    Common cm;
    int flags = 0;
    double startWidth = 0, endWidth = 0, elevation = 0;
    int meshSizeM = 0, meshSizeN = 0;
    while (c.advance() && c.group().code != 0) {
        const Group& g = c.group();
        if (common(g, cm))
            continue;
        switch (g.code) {
        case 70:
            flags = toInt(g);
            break;
        case 40:
            startWidth = toDouble(g);
            break;
        case 41:
            endWidth = toDouble(g);
            break;
        case 30:
            elevation = toDouble(g);
            break;
        case 71:
            meshSizeM = toInt(g);
            break;
        case 72:
            meshSizeN = toInt(g);
            break;
        default:
            break;
        }
    }
    m_vertices.clear();
    m_bulges.clear();
    m_startWidths.clear();
    m_endWidths.clear();
    const bool mesh = (flags & (16 | 64)) != 0;
    std::vector<Vec2> meshPoints;
    std::vector<std::array<int, 4>> faces;
    while (c.atZero("VERTEX")) {
        Vec2 p;
        double bulge = 0, w0 = std::nan(""), w1 = std::nan("");
        int vflags = 0;
        std::array<int, 4> face{0, 0, 0, 0};
        while (c.advance() && c.group().code != 0) {
            const Group& g = c.group();
            if (g.code >= 71 && g.code <= 74) {
                face[size_t(g.code - 71)] = toInt(g);
                continue;
            }
            switch (g.code) {
            case 10:
                p.x = toDouble(g);
                break;
            case 20:
                p.y = toDouble(g);
                break;
            case 42:
                bulge = toDouble(g);
                break;
            case 40:
                w0 = toDouble(g);
                break;
            case 41:
                w1 = toDouble(g);
                break;
            case 70:
                vflags = toInt(g);
                break;
            default:
                break;
            }
        }
        if (mesh) {
            // A polyface's face records (128 without 64) index its vertices.
            if ((vflags & 128) && !(vflags & 64))
                faces.push_back(face);
            else
                meshPoints.push_back(p);
            continue;
        }
        // Spline frame control points (16) are not on the curve.
        if (!(vflags & 16)) {
            m_vertices.push_back(p);
            m_bulges.push_back(bulge);
            m_startWidths.push_back(w0);
            m_endWidths.push_back(w1);
        }
    }
    if (c.atZero("SEQEND"))
        c.skipRecord();
    if (mesh) {
        emitMesh(cm, t, flags, meshPoints, faces, meshSizeM, meshSizeN);
        return;
    }
    if (flags & 8) { // 3D polyline: world coordinates, drawn as its projection, never wide
        std::fill(m_bulges.begin(), m_bulges.end(), 0.0);
        cm.extrusion = {0, 0, 1};
        m_startWidths.assign(m_vertices.size(), 0.0);
        m_endWidths.assign(m_vertices.size(), 0.0);
        elevation = 0;
    }
    emitPolyline(cm, t, "POLYLINE", (flags & 1) != 0, elevation, startWidth, endWidth);
}

void EntityReader::readText(Cursor& c, const Target& t, bool attrib, bool attdef) {
    Common cm;
    Vec2 first, second;
    std::string_view value, styleName;
    double height = 0, rotation = 0, widthFactor = 0, oblique = 0, firstZ = 0, secondZ = 0;
    bool hasOblique = false, embedded = false, nested = false;
    int h = 0, v = 0, attribFlags = 0, generation = -1;
    const int vCode = attrib ? 74 : 73;
    // A multi-line attribute's MTEXT follows 101 with codes of its own
    // meaning (its box width in 41, not a width factor); it is what shows.
    MTextParams lines;
    std::string linesText;
    std::string_view linesLast;
    double linesHeight = 0;
    Vec2 linesDir;
    while (c.advance() && c.group().code != 0) {
        const Group& g = c.group();
        if (common(g, cm))
            continue;
        if (embedded && g.code < 1000) {
            // The MTEXT's own embedded object (its columns) is not its text.
            nested = nested || g.code == 101;
            if (!nested)
                takeMTextGroup(g, lines, linesText, linesLast, linesHeight, linesDir);
            continue;
        }
        switch (g.code) {
        case 1:
            if (!attdef)
                value = g.value;
            break;
        case 2: // an attribute definition shows its tag
            if (attdef)
                value = g.value;
            break;
        case 7:
            styleName = g.value;
            break;
        case 10:
            first.x = toDouble(g);
            break;
        case 20:
            first.y = toDouble(g);
            break;
        case 11:
            second.x = toDouble(g);
            break;
        case 21:
            second.y = toDouble(g);
            break;
        case 30:
            firstZ = toDouble(g);
            break;
        case 31:
            secondZ = toDouble(g);
            break;
        case 40:
            height = toDouble(g);
            break;
        case 41:
            widthFactor = toDouble(g);
            break;
        case 50:
            rotation = toDouble(g) * kDeg;
            break;
        case 51:
            oblique = toDouble(g) * kDeg;
            hasOblique = true;
            break;
        case 71:
            generation = toInt(g);
            break;
        case 101:
            embedded = true;
            break;
        case 70:
            if (attrib)
                attribFlags = toInt(g);
            break;
        case 72:
            h = toInt(g);
            break;
        default:
            if (g.code == vCode)
                v = toInt(g);
            break;
        }
    }
    uint16_t type;
    Common placed = cm;
    // Definitions inside blocks are templates for the attributes of each
    // insert and never drawn themselves; outside blocks their tags show.
    placed.invisible = cm.invisible || (attribFlags & 1) || (attdef && !t.paperFlag);
    const int block = place(placed, t, attdef ? "ATTDEF" : attrib ? "ATTRIB" : "TEXT", type);
    linesText.append(linesLast);
    if (block >= 0 && attrib && !attdef && !linesText.empty()) {
        styleMText(lines, styleName, linesHeight > 0 ? linesHeight : height);
        lines.rotation = length(linesDir) > 0 ? std::atan2(linesDir.y, linesDir.x) : rotation;
        addMText(block, m_ctx.text.decodeName(linesText), lines, placed, type);
        return;
    }
    if (block < 0 || value.empty())
        return;
    Text text;
    text.text = m_ctx.text.decodeText(value, &text.decorations);
    // Text without a style name is in STANDARD.
    const DxfContext::Style* st = m_ctx.style(styleName.empty() ? "STANDARD" : styleName);
    // What the entity leaves out, its style supplies.
    if (st) {
        text.fontFamily = st->fontFamily;
        if (!(height > 0) && st->fixedHeight > 0)
            height = st->fixedHeight;
        if (!(widthFactor > 0))
            widthFactor = st->widthFactor;
        if (!hasOblique)
            oblique = st->oblique;
        if (generation < 0)
            generation = (st->backward ? 2 : 0) | (st->upsideDown ? 4 : 0);
    }
    text.height = height > 0 ? height : 1.0;
    text.rotation = rotation;
    text.widthFactor = widthFactor > 0 ? widthFactor : 1.0;
    text.oblique = std::isfinite(oblique) ? std::clamp(oblique, -85 * kDeg, 85 * kDeg) : 0.0;
    text.position = (h != 0 || v != 0) ? second : first;
    text.vAlign = Text::VAlign(std::clamp(v, 0, 3));
    switch (h) {
    case 1:
        text.hAlign = Text::Center;
        break;
    case 2:
        text.hAlign = Text::Right;
        break;
    case 4: // middle: centred both ways
        text.hAlign = Text::Center;
        if (v == 0)
            text.vAlign = Text::Middle;
        break;
    case 3:   // aligned: fits between the points, height follows
    case 5: { // fit: fits between the points, width follows
        text.hAlign = Text::Center;
        text.vAlign = Text::Baseline;
        text.position = first;
        fitBetween(text, first, second, h == 3);
        break;
    }
    default:
        break;
    }
    if (generation > 0) {
        if (generation & 2)
            text.widthFactor = -text.widthFactor;
        if (generation & 4)
            text.height = -text.height;
    }
    placeInFrame(text, cm.frame(), (h != 0 || v != 0) ? secondZ : firstZ);
    style(m_ctx.doc.blocks[size_t(block)].addText(text), cm, type);
}

void EntityReader::readInsert(Cursor& c, const Target& t) {
    Common cm;
    Insert ins;
    uint64_t xdict = 0;
    std::string_view name;
    double elevation = 0;
    while (c.advance() && c.group().code != 0) {
        const Group& g = c.group();
        if (common(g, cm))
            continue;
        switch (g.code) {
        case 2:
            name = g.value;
            break;
        case 10:
            ins.position.x = toDouble(g);
            break;
        case 20:
            ins.position.y = toDouble(g);
            break;
        case 30:
            elevation = toDouble(g);
            break;
        case 41:
            ins.scaleX = toDouble(g);
            break;
        case 42:
            ins.scaleY = toDouble(g);
            break;
        case 50:
            ins.rotation = toDouble(g) * kDeg;
            break;
        // The CAD program's own limit on array sizes.
        case 70:
            ins.columns = std::clamp(toInt(g), 1, 32767);
            break;
        case 71:
            ins.rows = std::clamp(toInt(g), 1, 32767);
            break;
        case 44:
            ins.columnSpacing = toDouble(g);
            break;
        case 45:
            ins.rowSpacing = toDouble(g);
            break;
        case 360: // the extension dictionary, where a clip boundary hangs
            xdict = toHandle(g);
            break;
        default:
            break;
        }
    }
    uint16_t type;
    const int block = place(cm, t, "INSERT", type);
    placeInFrame(ins, cm.frame(), elevation);
    if (block >= 0 && !trimmed(name).empty()) {
        addBlockReference(block, ins, name, cm, type);
        if (xdict != 0)
            m_ctx.pendingClips.push_back(
                {block, uint32_t(m_ctx.doc.blocks[size_t(block)].inserts.size() - 1), xdict});
    }
    // Attributes follow the insert in world coordinates.
    Target attribTarget = t;
    if (t.paperFlag && cm.paper) {
        attribTarget.block = m_ctx.paperSpaceBlock();
        attribTarget.paperFlag = false;
    }
    while (c.atZero("ATTRIB"))
        readText(c, attribTarget, true);
    if (c.atZero("SEQEND"))
        c.skipRecord();
}

// A table is a block reference to the anonymous block that holds its look;
// the cell data after it is only needed to edit the table.
void EntityReader::readTable(Cursor& c, const Target& t) {
    Common cm;
    Insert ins;
    std::string_view name;
    Vec2 direction{1, 0};
    bool tableData = false;
    while (c.advance() && c.group().code != 0) {
        const Group& g = c.group();
        if (common(g, cm))
            continue;
        if (g.code == 100) {
            tableData = tableData || trimmed(g.value) == "AcDbTable";
            continue;
        }
        if (tableData) {
            if (g.code == 11)
                direction.x = toDouble(g);
            else if (g.code == 21)
                direction.y = toDouble(g);
            continue;
        }
        if (g.code == 2 && name.empty())
            name = g.value;
        else if (g.code == 10)
            ins.position.x = toDouble(g);
        else if (g.code == 20)
            ins.position.y = toDouble(g);
    }
    uint16_t type;
    const int block = place(cm, t, "ACAD_TABLE", type);
    if (block < 0)
        return;
    if (trimmed(name).empty() || m_ctx.block(name, false) < 0) {
        m_ctx.countSkipped("ACAD_TABLE without its block");
        return;
    }
    if (std::isfinite(direction.x) && std::isfinite(direction.y) &&
        (direction.x != 0 || direction.y != 0))
        ins.rotation = std::atan2(direction.y, direction.x);
    addBlockReference(block, ins, name, cm, type);
}

void EntityReader::addBlockReference(int block, Insert ins, std::string_view name, const Common& cm,
                                     uint16_t type) {
    Block& b = m_ctx.doc.blocks[size_t(block)];
    style(b.addInsert(ins), cm, type);
    m_ctx.addInsertReference(block, uint32_t(b.inserts.size() - 1), name);
}

} // namespace dv::dxf
