#include "HpglInterpreter.h"

#include <algorithm>
#include <cmath>
#include <cstring>

namespace dv::hpgl {

namespace {

constexpr double kMmPerPlu = 0.025;
constexpr int kMaxPen = 1024;
// Coordinates beyond this many plotter units (25 km) are damage, not drawing.
constexpr double kMaxCoordinate = 1e9;

// The HP-GL/2 default palette: white, black, red, green, yellow, blue,
// magenta, cyan; higher pens repeat 1..7.
constexpr uint32_t kPalette[8] = {0xffffff, 0x000000, 0xff0000, 0x00ff00,
                                  0xffff00, 0x0000ff, 0xff00ff, 0x00ffff};

uint32_t defaultColor(int pen) {
    return pen <= 0 ? kPalette[0] : kPalette[(pen - 1) % 7 + 1];
}

// The default HP-GL/2 line types, in percent of the pattern length.
const std::vector<double>& pattern(int type) {
    static const std::vector<double> patterns[8] = {
        {0, 100},                       // 1
        {50, 50},                       // 2
        {70, 30},                       // 3
        {80, 10, 0, 10},                // 4
        {70, 10, 10, 10},               // 5
        {50, 10, 10, 10, 10, 10},       // 6
        {70, 10, 0, 10, 0, 10},         // 7
        {50, 10, 0, 10, 10, 10, 0, 10}, // 8
    };
    return patterns[std::clamp(std::abs(type), 1, 8) - 1];
}

bool is(const Command& c, const char* name) {
    return c.name[0] == name[0] && c.name[1] == name[1];
}

// Commands that change nothing we draw; they are read and passed over
// without being reported as skipped.
bool isIgnored(const Command& c) {
    static const char* const names[] = {
        "BP", "PG", "CT", "CO", "QL", "MC", "PP", "TR", "NR", "VS", "FS", "AS", "AC", "LA", "RF",
        "UL", "SV", "TD", "SA", "SS", "CS", "CA", "SD", "AD", "SB", "FN", "FI", "DV", "LM", "MG",
        "ST", "IW", "EC", "FR", "OH", "OD", "OE", "OI", "OS", "OP", "OW", "OA", "OC", "OF", "OG",
        "OL", "OO", "KY", "PB", "RP", "GM", "TL", "XT", "YT", "CV", "BF", "CM", "DC", "DP", "IM",
        "OT", "PT", "VA", "VN", "DL", "UF", "IV", "MT", "RS", "SG", "PF", "NS"};
    for (const char* n : names)
        if (is(c, n))
            return true;
    return false;
}

// Commands only HP-GL/2 has.
bool isHpgl2(const Command& c) {
    static const char* const names[] = {"BP", "PE", "PW", "WU", "NP", "PC", "CR", "BZ", "BR",
                                        "PS", "QL", "MC", "PP", "FP", "EP", "PM", "RF", "TR",
                                        "UL", "LA", "SV", "AC", "SD", "AD", "LO", "RA", "RR",
                                        "ER", "EA", "EW", "WG", "FT", "SA", "SS", "CS"};
    for (const char* n : names)
        if (is(c, n))
            return true;
    return false;
}

} // namespace

Interpreter::Interpreter(Document& doc, const char* data, size_t size)
    : m_doc(doc), m_lex(data, size),
      // Points the file may make: generous for real plots, bounded for
      // a few bytes that ask for millions of circles.
      m_out(doc, std::min<size_t>((size_t(1) << 20) + size * 64, size_t(64) << 20)) {
    reset(true);
}

void Interpreter::run(const QString& fileName, const ProgressFn& progress) {
    const size_t size = m_lex.size();
    const size_t step = std::max<size_t>(size / 50, 4096);
    size_t nextReport = step;
    size_t known = 0;
    if (progress)
        progress(0);
    Command cmd;
    while (m_lex.next(cmd)) {
        if (m_lex.pos() >= nextReport) {
            if (progress)
                progress(int(double(m_lex.pos()) * 99 / double(std::max<size_t>(size, 1))));
            nextReport = m_lex.pos() + step;
        }
        switch (cmd.kind) {
        case Command::Kind::Reset:
            m_out.endPath();
            reset(true);
            continue;
        case Command::Kind::EnterHpgl2:
            m_out.endPath();
            m_hpgl2 = true;
            ++known;
            continue;
        case Command::Kind::Mnemonic:
            break;
        }
        if (isHpgl2(cmd))
            m_hpgl2 = true;
        if (execute(cmd)) {
            ++known;
        } else {
            ++m_doc.skippedEntities[QLatin1String(cmd.name)];
        }
        m_lex.endCommand();
    }
    if (known == 0)
        throw ReadError(fileName, QStringLiteral("no HP-GL commands found"));
    if (m_lex.damagedBytes() > 0)
        m_doc.skippedEntities[QStringLiteral("damaged bytes")] =
            int(std::min<size_t>(m_lex.damagedBytes(), size_t(std::numeric_limits<int>::max())));
    m_out.finish(m_hpgl2);
    m_doc.format = m_hpgl2 ? QStringLiteral("HPGL/2") : QStringLiteral("HPGL");
    if (progress)
        progress(100);
}

std::vector<double> Interpreter::params(size_t max) {
    std::vector<double> v;
    double x;
    while (v.size() < max && m_lex.number(x))
        v.push_back(x);
    return v;
}

void Interpreter::reset(bool full) {
    if (full) {
        m_rotation = 0;
        resetFrame();
        m_pos = {0, 0};
        m_down = false;
        m_pen = 1;
        resetPens();
        m_relativeWidths = false;
        m_colorRange = {0, 255, 0, 255, 0, 255};
    }
    m_scaling = false;
    updateScaling();
    m_relative = false;
    m_dotPending = false;
    m_lineStyle = {};
    m_chord = 5;
    m_fillKind = FillStyle::Solid;
    m_fillLevel = 100;
    m_hatchSpacing = 0;
    m_hatchAngle = 0;
    m_polygonMode = false;
    m_rings.clear();
    m_bufferPoints = 0;
    m_ring.clear();
    m_terminator = 3;
    m_terminatorPrinted = false;
    m_relativeSize = false;
    m_charW = 0.285;
    m_charH = 0.375;
    m_dir = {1, 0};
    m_relativeDir = false;
    m_labelOrigin = 1;
    m_extraSpace = m_extraLine = 0;
    m_slant = 0;
    m_lineStart = m_pos;
    m_styleDirty = true;
}

void Interpreter::resetPens() {
    m_allPensWidth = kDefaultWidth;
    m_pens.assign(8, PenDef{});
    for (size_t i = 0; i < m_pens.size(); ++i)
        m_pens[i].rgb = defaultColor(int(i));
    m_styleDirty = true;
}

Interpreter::PenDef& Interpreter::penDef(int pen) {
    pen = std::clamp(pen, 0, kMaxPen);
    while (int(m_pens.size()) <= pen)
        m_pens.push_back({defaultColor(int(m_pens.size())), m_allPensWidth});
    return m_pens[size_t(pen)];
}

void Interpreter::resetFrame() {
    const bool turned = m_rotation == 90 || m_rotation == 270;
    m_p1 = {0, 0};
    m_p2 = {turned ? m_pageH : m_pageW, turned ? m_pageW : m_pageH};
    updateScaling();
}

void Interpreter::updateScaling() {
    if (!m_scaling) {
        m_sx = m_sy = 1;
        m_ox = m_oy = 0;
        return;
    }
    const auto& s = m_sc;
    const int type = int(s[4]);
    double sx, sy, ox, oy;
    if (type == 2) {
        sx = s[1];
        sy = s[3];
        ox = m_p1.x - s[0] * sx;
        oy = m_p1.y - s[2] * sy;
    } else {
        sx = (m_p2.x - m_p1.x) / (s[1] - s[0]);
        sy = (m_p2.y - m_p1.y) / (s[3] - s[2]);
        ox = m_p1.x - s[0] * sx;
        oy = m_p1.y - s[2] * sy;
        if (type == 1) {
            const double k = std::min(std::abs(sx), std::abs(sy));
            const double nsx = std::copysign(k, sx), nsy = std::copysign(k, sy);
            const double spareX = (m_p2.x - m_p1.x) - (s[1] - s[0]) * nsx;
            const double spareY = (m_p2.y - m_p1.y) - (s[3] - s[2]) * nsy;
            sx = nsx;
            sy = nsy;
            ox = m_p1.x + spareX * s[5] / 100 - s[0] * sx;
            oy = m_p1.y + spareY * s[6] / 100 - s[2] * sy;
        }
    }
    if (!std::isfinite(sx) || !std::isfinite(sy) || sx == 0 || sy == 0 || !std::isfinite(ox) ||
        !std::isfinite(oy)) {
        m_scaling = false; // a degenerate SC: plotter units again
        sx = sy = 1;
        ox = oy = 0;
    }
    m_sx = sx;
    m_sy = sy;
    m_ox = ox;
    m_oy = oy;
}

Vec2 Interpreter::toPlu(Vec2 u) const {
    return {std::clamp(m_ox + u.x * m_sx, -kMaxCoordinate, kMaxCoordinate),
            std::clamp(m_oy + u.y * m_sy, -kMaxCoordinate, kMaxCoordinate)};
}

Vec2 Interpreter::deltaToPlu(Vec2 d) const {
    return {d.x * m_sx, d.y * m_sy};
}

Vec2 Interpreter::toUser(Vec2 p) const {
    return {(p.x - m_ox) / m_sx, (p.y - m_oy) / m_sy};
}

double Interpreter::unitScale() const {
    return std::abs(m_sx);
}

double Interpreter::diagonal() const {
    return std::hypot(m_p2.x - m_p1.x, m_p2.y - m_p1.y);
}

Vec2 Interpreter::toMm(Vec2 p) const {
    Vec2 d;
    switch (m_rotation) {
    case 90:
        d = {m_pageW - p.y, p.x};
        break;
    case 180:
        d = {m_pageW - p.x, m_pageH - p.y};
        break;
    case 270:
        d = {p.y, m_pageH - p.x};
        break;
    default:
        d = p;
    }
    return {d.x * kMmPerPlu, d.y * kMmPerPlu};
}

void Interpreter::syncStyle() {
    if (!m_styleDirty)
        return;
    m_styleDirty = false;
    const PenDef& def = penDef(m_pen);
    m_out.setPen({m_pen, def.rgb, def.width});
    m_out.setLineStyle(m_lineStyle);
}

void Interpreter::setPenColor(int pen, uint32_t rgb) {
    penDef(pen).rgb = rgb;
    m_styleDirty = true;
}

void Interpreter::plotTo(Vec2 target, bool down) {
    if (m_polygonMode) {
        if (down) {
            if (m_bufferPoints >= kMaxBufferPoints) {
                m_pos = target;
                return; // the polygon buffer is full
            }
            ++m_bufferPoints;
            if (m_ring.empty())
                m_ring.push_back(m_pos);
            m_ring.push_back(target);
        } else {
            closeSubpolygon();
        }
        m_pos = target;
        return;
    }
    if (down) {
        syncStyle();
        m_out.segment(toMm(m_pos), toMm(target));
        m_dotPending = false;
    }
    m_pos = target;
}

void Interpreter::penUp() {
    if (m_dotPending && !m_polygonMode) {
        syncStyle();
        m_out.dot(toMm(m_pos)); // PD and PU at one place mark a dot
    }
    m_dotPending = false;
    m_down = false;
}

void Interpreter::coordinateList(bool relative, int penState) {
    if (penState == 0)
        penUp();
    bool any = false;
    double x, y;
    while (m_lex.number(x)) {
        if (!m_lex.number(y))
            break; // a lone coordinate is ignored
        any = true;
        if (penState == 1 && !m_down) {
            m_down = true;
        }
        const Vec2 target =
            relative ? Vec2{m_pos.x + deltaToPlu({x, y}).x, m_pos.y + deltaToPlu({x, y}).y}
                     : toPlu({x, y});
        plotTo({std::clamp(target.x, -kMaxCoordinate, kMaxCoordinate),
                std::clamp(target.y, -kMaxCoordinate, kMaxCoordinate)},
               m_down);
    }
    if (penState == 1 && !any) {
        if (!m_down)
            m_dotPending = true;
        m_down = true;
    }
}

void Interpreter::encodedPolyline() {
    // PE: flags and base-32/64 numbers, least significant digit first, the
    // last digit marked; the low bit of a value is its sign.
    bool sevenBit = false;
    int fractionBits = 0;
    bool nextUp = false, nextAbsolute = false;
    auto readValue = [&](int64_t& out) {
        int64_t value = 0;
        int shift = 0;
        while (!m_lex.atEnd()) {
            const unsigned char c = m_lex.peek();
            if (c == ';' || c == 0x1b)
                return false;
            m_lex.get();
            int digit = -1;
            bool last = false;
            if (sevenBit) {
                if (c >= 63 && c <= 94)
                    digit = c - 63;
                else if (c >= 95 && c <= 126)
                    digit = c - 95, last = true;
            } else {
                if (c >= 63 && c <= 126)
                    digit = c - 63;
                else if (c >= 191 && c <= 254)
                    digit = c - 191, last = true;
            }
            if (digit < 0)
                continue; // not part of a number
            if (shift < 48)
                value |= int64_t(digit) << shift;
            shift += sevenBit ? 5 : 6;
            if (last) {
                out = (value & 1) ? -(value >> 1) : (value >> 1);
                return true;
            }
        }
        return false;
    };
    auto isDigitByte = [&](unsigned char c) {
        return sevenBit ? (c >= 63 && c <= 126) : ((c >= 63 && c <= 126) || (c >= 191 && c <= 254));
    };
    while (!m_lex.atEnd()) {
        const unsigned char c = m_lex.peek();
        if (c == ';') {
            m_lex.get();
            return;
        }
        if (c == 0x1b)
            return;
        int64_t v = 0;
        if (c == ':') {
            m_lex.get();
            if (!readValue(v))
                return;
            m_pen = int(std::clamp<int64_t>(v, 0, kMaxPen));
            m_styleDirty = true;
        } else if (c == '<') {
            m_lex.get();
            nextUp = true;
        } else if (c == '>') {
            m_lex.get();
            if (!readValue(v))
                return;
            fractionBits = int(std::clamp<int64_t>(v, -26, 26));
        } else if (c == '=') {
            m_lex.get();
            nextAbsolute = true;
        } else if (c == '7') {
            m_lex.get();
            sevenBit = true;
        } else if (isDigitByte(c)) {
            int64_t ix = 0, iy = 0;
            if (!readValue(ix) || !readValue(iy))
                return;
            const double f = std::ldexp(1.0, -fractionBits);
            const Vec2 u{double(ix) * f, double(iy) * f};
            Vec2 target;
            if (nextAbsolute) {
                target = toPlu(u);
            } else {
                const Vec2 d = deltaToPlu(u);
                target = {m_pos.x + d.x, m_pos.y + d.y};
            }
            target = {std::clamp(target.x, -kMaxCoordinate, kMaxCoordinate),
                      std::clamp(target.y, -kMaxCoordinate, kMaxCoordinate)};
            if (nextUp)
                penUp();
            plotTo(target, !nextUp);
            m_down = !nextUp;
            nextUp = nextAbsolute = false;
        } else {
            m_lex.get(); // blanks and stray bytes
        }
    }
}

void Interpreter::lineType() {
    const auto p = params(3);
    if (p.empty()) {
        m_lineStyle = {};
    } else if (p[0] == 0) {
        m_lineStyle = {LineStyle::Dots, {}};
    } else if (std::abs(p[0]) > 8) {
        return; // LT99 and user-defined types keep the current one
    } else {
        const double length = p.size() > 1 && p[1] > 0 ? p[1] : 4;
        const bool absolute = p.size() > 2 && p[2] == 1;
        const double lengthMm = absolute ? length : diagonal() * length / 100 * kMmPerPlu;
        LineStyle s{LineStyle::Dashed, {}};
        for (double pct : pattern(int(p[0])))
            s.dashes.push_back(lengthMm * pct / 100);
        m_lineStyle = s;
    }
    m_styleDirty = true;
}

void Interpreter::fillType() {
    const auto p = params(3);
    const int type = p.empty() ? 1 : int(p[0]);
    switch (type) {
    case 3:
    case 4:
        m_fillKind = type == 3 ? FillStyle::Hatch : FillStyle::CrossHatch;
        if (p.size() > 1)
            m_hatchSpacing = std::max(0.0, p[1]);
        if (p.size() > 2)
            m_hatchAngle = p[2];
        break;
    case 10:
        m_fillKind = FillStyle::Solid;
        m_fillLevel = p.size() > 1 ? std::clamp(p[1], 0.0, 100.0) : 100;
        break;
    default: // solid, and patterns we fill solid
        m_fillKind = FillStyle::Solid;
        m_fillLevel = 100;
        break;
    }
}

bool Interpreter::execute(const Command& c) {
    const char a = c.name[0], b = c.name[1];
    auto one = [&](double fallback) {
        double v;
        return m_lex.number(v) ? v : fallback;
    };
    switch (a) {
    case 'A':
        if (b == 'A' || b == 'R')
            arc(b == 'R');
        else if (b == 'T')
            threePointArc(false);
        else
            return isIgnored(c);
        return true;
    case 'B':
        if (b == 'Z' || b == 'R')
            bezier(b == 'R');
        else if (b == 'L') // buffer label: text we need not draw
            m_lex.textUntil(m_terminator, 0);
        else
            return isIgnored(c);
        return true;
    case 'C':
        if (b == 'I')
            circle();
        else if (b == 'P') {
            const auto p = params(2);
            const Vec2 x = cellX(), y = cellY();
            const double adv = strokefont::kAdvance * (1 + m_extraSpace);
            const double line = 2 * strokefont::kCapHeight * (1 + m_extraLine);
            const double cols = p.size() > 1 ? p[0] : 0, rows = p.size() > 1 ? p[1] : -1;
            if (p.size() < 2)
                m_pos = m_lineStart;
            m_pos = {m_pos.x + x.x * adv * cols + y.x * line * rows,
                     m_pos.y + x.y * adv * cols + y.y * line * rows};
            m_lineStart = {m_lineStart.x + y.x * line * rows, m_lineStart.y + y.y * line * rows};
        } else if (b == 'R') {
            const auto p = params(6);
            if (p.size() == 6)
                std::copy(p.begin(), p.end(), m_colorRange.begin());
            else
                m_colorRange = {0, 255, 0, 255, 0, 255};
        } else
            return isIgnored(c);
        return true;
    case 'D':
        if (b == 'F') {
            m_out.endPath();
            reset(false);
        } else if (b == 'T')
            labelTerminator();
        else if (b == 'I' || b == 'R')
            direction(b == 'R');
        else
            return isIgnored(c);
        return true;
    case 'E':
        if (b == 'A' || b == 'R')
            rectangle(b == 'R', false);
        else if (b == 'W')
            wedge(false);
        else if (b == 'P')
            edgeBuffer(m_rings, "POLYGON");
        else if (b == 'S') {
            const auto p = params(2);
            m_extraSpace = p.size() > 0 ? std::clamp(p[0], -10.0, 10.0) : 0;
            m_extraLine = p.size() > 1 ? std::clamp(p[1], -10.0, 10.0) : 0;
        } else
            return isIgnored(c);
        return true;
    case 'F':
        if (b == 'P')
            fillBuffer(m_rings, one(0) == 1, "POLYGON");
        else if (b == 'T')
            fillType();
        else
            return isIgnored(c);
        return true;
    case 'I':
        if (b == 'N') {
            m_out.endPath();
            reset(true);
        } else if (b == 'P' || b == 'R') {
            const auto p = params(4);
            const double w = m_p2.x - m_p1.x, h = m_p2.y - m_p1.y;
            const bool turned = m_rotation == 90 || m_rotation == 270;
            const double pw = turned ? m_pageH : m_pageW, ph = turned ? m_pageW : m_pageH;
            auto at = [&](double vx, double vy) {
                return b == 'P' ? Vec2{vx, vy} : Vec2{pw * vx / 100, ph * vy / 100};
            };
            if (p.size() < 2) {
                resetFrame();
                return true;
            }
            m_p1 = at(p[0], p[1]);
            m_p2 = p.size() >= 4 ? at(p[2], p[3]) : Vec2{m_p1.x + w, m_p1.y + h};
            updateScaling();
        } else
            return isIgnored(c);
        return true;
    case 'L':
        if (b == 'B')
            label();
        else if (b == 'T')
            lineType();
        else if (b == 'O') {
            const int lo = int(one(1));
            m_labelOrigin = (lo >= 1 && lo <= 9) ? lo : (lo >= 11 && lo <= 19) ? lo - 10 : 1;
        } else
            return isIgnored(c);
        return true;
    case 'N':
        if (b == 'P') {
            one(8);
            return true;
        }
        return isIgnored(c);
    case 'P':
        switch (b) {
        case 'U':
            coordinateList(m_relative, 0);
            m_down = false;
            return true;
        case 'D':
            coordinateList(m_relative, 1);
            return true;
        case 'A':
            m_relative = false;
            coordinateList(false, -1);
            return true;
        case 'R':
            m_relative = true;
            coordinateList(true, -1);
            return true;
        case 'E':
            encodedPolyline();
            return true;
        case 'M':
            polygonMode();
            return true;
        case 'C': {
            const auto p = params(4);
            if (p.empty()) {
                for (size_t i = 0; i < m_pens.size(); ++i)
                    m_pens[i].rgb = defaultColor(int(i));
                m_styleDirty = true;
            } else if (p.size() < 4) {
                setPenColor(int(p[0]), defaultColor(int(std::clamp(p[0], 0.0, 1024.0))));
            } else {
                uint32_t rgb = 0;
                for (int k = 0; k < 3; ++k) {
                    const double lo = m_colorRange[size_t(2 * k)],
                                 hi = m_colorRange[size_t(2 * k + 1)];
                    const double f = hi != lo ? (p[size_t(k + 1)] - lo) / (hi - lo) : 0;
                    rgb = (rgb << 8) | uint32_t(std::lround(std::clamp(f, 0.0, 1.0) * 255));
                }
                setPenColor(int(p[0]), rgb);
            }
            return true;
        }
        case 'W': {
            const auto p = params(2);
            double w = p.empty() ? -1 : std::clamp(p[0], 0.0, 1000.0);
            if (w >= 0 && m_relativeWidths)
                w = diagonal() * w / 100 * kMmPerPlu;
            if (p.size() > 1) {
                penDef(int(p[1])).width = float(w);
            } else {
                // Pens not yet used get this width too.
                m_allPensWidth = float(w);
                for (PenDef& d : m_pens)
                    d.width = float(w);
            }
            m_styleDirty = true;
            return true;
        }
        case 'S': {
            const auto p = params(2);
            if (!p.empty() && p[0] > 0) {
                m_pageW = std::clamp(p[0], 40.0, 1e8);
                m_pageH = p.size() > 1 && p[1] > 0 ? std::clamp(p[1], 40.0, 1e8) : m_pageW;
                resetFrame();
            }
            return true;
        }
        default:
            return isIgnored(c);
        }
    case 'R':
        if (b == 'A' || b == 'R')
            rectangle(b == 'R', true);
        else if (b == 'T')
            threePointArc(true);
        else if (b == 'O') {
            const int angle = int(std::lround(one(0) / 90)) % 4 * 90;
            m_out.endPath();
            m_rotation = (angle + 360) % 360;
            resetFrame();
        } else
            return isIgnored(c);
        return true;
    case 'S':
        if (b == 'P') {
            m_pen = int(std::clamp(one(0), 0.0, double(kMaxPen)));
            m_styleDirty = true;
        } else if (b == 'C') {
            const auto p = params(7);
            if (p.size() < 4) {
                m_scaling = false;
            } else {
                m_sc = {p[0],
                        p[1],
                        p[2],
                        p[3],
                        p.size() > 4 ? p[4] : 0,
                        p.size() > 5 ? p[5] : 50,
                        p.size() > 6 ? p[6] : 50};
                m_scaling = true;
            }
            updateScaling();
        } else if (b == 'I' || b == 'R')
            characterSize(b == 'R');
        else if (b == 'L')
            m_slant = std::clamp(one(0), -10.0, 10.0);
        else if (b == 'M') {
            // Symbol mode: a character follows, or nothing.
            m_lex.skipBlanks();
            if (!m_lex.atEnd() && m_lex.peek() != ';')
                m_lex.get();
        } else
            return isIgnored(c);
        return true;
    case 'W':
        if (b == 'G')
            wedge(true);
        else if (b == 'U')
            m_relativeWidths = one(0) == 1;
        else if (b == 'D')
            m_lex.textUntil(m_terminator, 0);
        else
            return isIgnored(c);
        return true;
    default:
        return isIgnored(c);
    }
}

} // namespace dv::hpgl
