// Arcs, circles, curves, rectangles, wedges, the polygon buffer and labels.

#include "HpglInterpreter.h"

#include <algorithm>
#include <cmath>

namespace dv::hpgl {

namespace {

constexpr double kMmPerPlu = 0.025;
constexpr double kDegree = M_PI / 180;
// Segments per arc at most; finer chords add nothing visible.
constexpr double kMaxArcSegments = 1000;
constexpr int kBezierSegments = 32;
constexpr size_t kMaxLabelBytes = 65536;

double chordAngle(double requested) {
    return std::clamp(std::isfinite(requested) && requested != 0 ? std::abs(requested) : 5.0, 0.36,
                      180.0);
}

} // namespace

std::vector<Vec2> Interpreter::arcPoints(Vec2 c, double radius, double startDeg, double sweepDeg,
                                         double chordDeg) const {
    std::vector<Vec2> pts;
    if (!std::isfinite(radius) || !std::isfinite(startDeg) || !std::isfinite(sweepDeg))
        return pts;
    sweepDeg = std::clamp(sweepDeg, -360.0, 360.0);
    const int n =
        int(std::clamp(std::ceil(std::abs(sweepDeg) / chordAngle(chordDeg)), 1.0, kMaxArcSegments));
    pts.reserve(size_t(n) + 1);
    for (int i = 0; i <= n; ++i) {
        const double a = (startDeg + sweepDeg * i / n) * kDegree;
        pts.push_back({c.x + radius * std::cos(a), c.y + radius * std::sin(a)});
    }
    return pts;
}

void Interpreter::addArcPoints(Vec2 centerUser, double sweepDeg, double chordDeg, bool draw) {
    const Vec2 from = toUser(m_pos);
    const double r = std::hypot(from.x - centerUser.x, from.y - centerUser.y);
    const double start = std::atan2(from.y - centerUser.y, from.x - centerUser.x) / kDegree;
    const auto pts = arcPoints(centerUser, r, start, sweepDeg, chordDeg);
    for (size_t i = 1; i < pts.size(); ++i)
        plotTo(toPlu(pts[i]), draw);
}

void Interpreter::circle() {
    const auto p = params(2);
    if (p.empty())
        return;
    const Vec2 c = toUser(m_pos);
    const auto pts = arcPoints(c, std::abs(p[0]), 0, 360, p.size() > 1 ? p[1] : m_chord);
    std::vector<Vec2> ring;
    for (const Vec2& u : pts)
        ring.push_back(toPlu(u));
    if (ring.size() > 1)
        ring.pop_back(); // closed below
    if (m_polygonMode) {
        closeSubpolygon();
        if (m_bufferPoints + ring.size() <= kMaxBufferPoints) {
            m_bufferPoints += ring.size();
            m_rings.push_back(ring);
        }
        return;
    }
    // A circle is drawn whatever the pen state; the pen stays where it was.
    syncStyle();
    std::vector<Vec2> mm;
    for (const Vec2& q : ring)
        mm.push_back(toMm(q));
    m_out.outline(mm, true, "CIRCLE");
}

void Interpreter::arc(bool relative) {
    const auto p = params(4);
    if (p.size() < 3)
        return;
    Vec2 c{p[0], p[1]};
    if (relative) {
        const Vec2 u = toUser(m_pos);
        c = {u.x + c.x, u.y + c.y};
    }
    addArcPoints(c, p[2], p.size() > 3 ? p[3] : m_chord, m_down);
}

void Interpreter::threePointArc(bool relative) {
    const auto p = params(5);
    if (p.size() < 4)
        return;
    const Vec2 a = toUser(m_pos);
    Vec2 b{p[0], p[1]}, e{p[2], p[3]};
    if (relative) {
        b = {a.x + b.x, a.y + b.y};
        e = {a.x + e.x, a.y + e.y};
    }
    // The circle through the three points; collinear points give a line.
    const double d = 2 * (a.x * (b.y - e.y) + b.x * (e.y - a.y) + e.x * (a.y - b.y));
    const double scale = std::max({std::abs(a.x), std::abs(a.y), std::abs(b.x), std::abs(b.y),
                                   std::abs(e.x), std::abs(e.y), 1.0});
    if (std::abs(d) < 1e-12 * scale * scale) {
        plotTo(toPlu(e), m_down);
        return;
    }
    auto sq = [](Vec2 v) { return v.x * v.x + v.y * v.y; };
    const Vec2 c{(sq(a) * (b.y - e.y) + sq(b) * (e.y - a.y) + sq(e) * (a.y - b.y)) / d,
                 (sq(a) * (e.x - b.x) + sq(b) * (a.x - e.x) + sq(e) * (b.x - a.x)) / d};
    auto angle = [&](Vec2 v) { return std::atan2(v.y - c.y, v.x - c.x) / kDegree; };
    const double a0 = angle(a);
    double toB = std::fmod(angle(b) - a0 + 720, 360);
    double toE = std::fmod(angle(e) - a0 + 720, 360);
    // Counter-clockwise when b lies on the way there, clockwise otherwise.
    const double sweep = toB <= toE ? toE : toE - 360;
    addArcPoints(c, sweep, p.size() > 4 ? p[4] : m_chord, m_down);
    plotTo(toPlu(e), m_down);
}

void Interpreter::bezier(bool relative) {
    double v[6];
    for (;;) {
        int n = 0;
        while (n < 6 && m_lex.number(v[n]))
            ++n;
        if (n < 6)
            return;
        const Vec2 a = toUser(m_pos);
        Vec2 c1{v[0], v[1]}, c2{v[2], v[3]}, e{v[4], v[5]};
        if (relative) {
            c1 = {a.x + c1.x, a.y + c1.y};
            c2 = {a.x + c2.x, a.y + c2.y};
            e = {a.x + e.x, a.y + e.y};
        }
        for (int i = 1; i <= kBezierSegments; ++i) {
            const double t = double(i) / kBezierSegments, s = 1 - t;
            const double k0 = s * s * s, k1 = 3 * s * s * t, k2 = 3 * s * t * t, k3 = t * t * t;
            plotTo(toPlu({k0 * a.x + k1 * c1.x + k2 * c2.x + k3 * e.x,
                          k0 * a.y + k1 * c1.y + k2 * c2.y + k3 * e.y}),
                   m_down);
        }
    }
}

void Interpreter::rectangle(bool relative, bool filled) {
    const auto p = params(2);
    if (p.size() < 2)
        return;
    const Vec2 a = toUser(m_pos);
    const Vec2 e = relative ? Vec2{a.x + p[0], a.y + p[1]} : Vec2{p[0], p[1]};
    const std::vector<std::vector<Vec2>> rings{
        {toPlu(a), toPlu({e.x, a.y}), toPlu(e), toPlu({a.x, e.y})}};
    if (filled)
        fillBuffer(rings, false, "RECTANGLE");
    else
        edgeBuffer(rings, "RECTANGLE");
}

void Interpreter::wedge(bool filled) {
    const auto p = params(4);
    if (p.size() < 3)
        return;
    const Vec2 c = toUser(m_pos);
    const auto arc = arcPoints(c, std::abs(p[0]), p[1], p[2], p.size() > 3 ? p[3] : m_chord);
    std::vector<Vec2> ring;
    if (std::abs(p[2]) < 360)
        ring.push_back(m_pos);
    for (const Vec2& u : arc)
        ring.push_back(toPlu(u));
    const std::vector<std::vector<Vec2>> rings{ring};
    if (filled)
        fillBuffer(rings, false, "WEDGE");
    else
        edgeBuffer(rings, "WEDGE");
}

void Interpreter::closeSubpolygon() {
    if (m_ring.size() > 1)
        m_rings.push_back(std::move(m_ring));
    m_ring.clear();
}

void Interpreter::polygonMode() {
    double v = 0;
    const int mode = m_lex.number(v) ? int(v) : 0;
    if (mode == 0) {
        m_out.endPath();
        m_rings.clear();
        m_ring.clear();
        m_bufferPoints = 0;
        m_polygonMode = true;
        m_ring.push_back(m_pos);
    } else {
        closeSubpolygon();
        if (mode == 2)
            m_polygonMode = false;
        else
            m_ring.push_back(m_pos);
    }
}

void Interpreter::fillBuffer(const std::vector<std::vector<Vec2>>& ringsPlu, bool nonZero,
                             const char* entity) {
    syncStyle();
    Rings rings;
    for (const auto& r : ringsPlu) {
        std::vector<Vec2> mm;
        for (const Vec2& p : r)
            mm.push_back(toMm(p));
        rings.push_back(std::move(mm));
    }
    FillStyle style;
    style.level = m_fillLevel;
    style.kind = m_fillKind;
    const double spacing = m_hatchSpacing > 0 ? m_hatchSpacing * unitScale() : diagonal() / 100;
    style.spacing = spacing * kMmPerPlu;
    style.angle = (m_hatchAngle + m_rotation) * kDegree;
    m_out.fill(rings, style, nonZero, entity);
}

void Interpreter::edgeBuffer(const std::vector<std::vector<Vec2>>& ringsPlu, const char* entity) {
    syncStyle();
    for (const auto& r : ringsPlu) {
        std::vector<Vec2> mm;
        for (const Vec2& p : r)
            mm.push_back(toMm(p));
        m_out.outline(mm, true, entity);
    }
}

void Interpreter::labelTerminator() {
    // DT t[,mode]: the terminator is the very next byte; "DT;" restores ETX.
    if (m_lex.atEnd() || m_lex.peek() == ';') {
        m_terminator = 3;
        m_terminatorPrinted = false;
        return;
    }
    m_terminator = char(m_lex.get());
    double mode = 1;
    if (m_lex.peek() == ',') {
        m_lex.get();
        m_lex.number(mode);
    }
    m_terminatorPrinted = mode == 0;
}

void Interpreter::characterSize(bool relative) {
    const auto p = params(2);
    m_relativeSize = relative;
    if (p.size() < 2) {
        m_charW = relative ? 0.75 : 0.285;
        m_charH = relative ? 1.5 : 0.375;
        return;
    }
    m_charW = std::clamp(p[0], -1e5, 1e5);
    m_charH = std::clamp(p[1], -1e5, 1e5);
}

void Interpreter::direction(bool relative) {
    const auto p = params(2);
    m_relativeDir = relative;
    m_dir = p.size() < 2 || (p[0] == 0 && p[1] == 0) ? Vec2{1, 0} : Vec2{p[0], p[1]};
}

Vec2 Interpreter::cellX() const {
    // Character size in plotter units along the text, per grid unit.
    const double w = m_relativeSize ? m_charW / 100 * std::abs(m_p2.x - m_p1.x) : m_charW * 400;
    Vec2 d = m_dir;
    if (m_relativeDir)
        d = {d.x * (m_p2.x - m_p1.x), d.y * (m_p2.y - m_p1.y)};
    const double len = std::hypot(d.x, d.y);
    if (!(len > 0) || !std::isfinite(len))
        d = {1, 0};
    else
        d = {d.x / len, d.y / len};
    const double k = w / strokefont::kCharWidth;
    return {d.x * k, d.y * k};
}

Vec2 Interpreter::cellY() const {
    const double h = m_relativeSize ? m_charH / 100 * std::abs(m_p2.y - m_p1.y) : m_charH * 400;
    const Vec2 x = cellX();
    const double len = std::hypot(x.x, x.y);
    if (!(len > 0))
        return {0, 0};
    const double k = h / strokefont::kCapHeight / len;
    return {-x.y * k, x.x * k};
}

void Interpreter::label() {
    const QByteArray text = m_lex.textUntil(m_terminator, kMaxLabelBytes);
    drawText(m_terminatorPrinted ? text + m_terminator : text);
}

void Interpreter::drawText(const QByteArray& text) {
    const Vec2 ux = cellX(), uy = cellY();
    const double adv = strokefont::kAdvance * (1 + m_extraSpace);
    const double line = 2 * strokefont::kCapHeight * (1 + m_extraLine);
    // Label origin: offset the text block by its first line's width and the
    // cap height, as LO asks.
    int firstLine = 0;
    while (firstLine < text.size() && static_cast<unsigned char>(text[firstLine]) >= 32)
        ++firstLine;
    const double width = firstLine > 0 ? firstLine * adv - (adv - strokefont::kCharWidth) : 0;
    const int col = (m_labelOrigin - 1) / 3, row = (m_labelOrigin - 1) % 3;
    const double dx = col == 0 ? 0 : col == 1 ? -width / 2 : -width;
    const double dy = row == 0   ? 0
                      : row == 1 ? -strokefont::kCapHeight / 2
                                 : -strokefont::kCapHeight;
    Vec2 start{m_pos.x + ux.x * dx + uy.x * dy, m_pos.y + ux.y * dx + uy.y * dy};
    m_lineStart = start;
    Vec2 cursor = start;
    strokefont::Strokes glyph;
    strokefont::Strokes out;
    syncStyle();
    for (const char ch : text) {
        const unsigned char c = static_cast<unsigned char>(ch);
        if (c == '\r') {
            cursor = m_lineStart;
        } else if (c == '\n') {
            cursor = {cursor.x - uy.x * line, cursor.y - uy.y * line};
            m_lineStart = {m_lineStart.x - uy.x * line, m_lineStart.y - uy.y * line};
        } else if (c == '\b') {
            cursor = {cursor.x - ux.x * adv, cursor.y - ux.y * adv};
        } else if (c >= 32) {
            glyph.clear();
            strokefont::appendGlyph(char32_t(c), glyph);
            for (auto& stroke : glyph) {
                std::vector<Vec2> mm;
                mm.reserve(stroke.size());
                for (const Vec2& g : stroke) {
                    const double gx = g.x + g.y * m_slant;
                    mm.push_back(toMm(
                        {cursor.x + ux.x * gx + uy.x * g.y, cursor.y + ux.y * gx + uy.y * g.y}));
                }
                out.push_back(std::move(mm));
            }
            cursor = {cursor.x + ux.x * adv, cursor.y + ux.y * adv};
        }
    }
    m_out.strokes(out, "LABEL");
    // The pen rests after the last character, as if offset by the origin.
    m_pos = {cursor.x - ux.x * dx - uy.x * dy, cursor.y - ux.y * dx - uy.y * dy};
}

} // namespace dv::hpgl
