// Entities with nested or repeated group codes: MTEXT, HATCH, SPLINE and the
// annotation entities (dimensions, leaders), plus faces and construction lines.

#include "DxfCurves.h"
#include "DxfEntities.h"
#include "DxfHatch.h"
#include "DxfMText.h"
#include "DxfPatterns.h"
#include "DxfVector.h"

#include <algorithm>
#include <cmath>
#include <numbers>

namespace dv::dxf {

namespace {

constexpr double kPi = std::numbers::pi;
constexpr double kDeg = kPi / 180.0;
// MTEXT background fill flags (90).
constexpr int kMaskColor = 1;
constexpr int kMaskBackground = 2;

// Beyond this a pattern fill gives way to its boundary outline.
constexpr size_t kMaxPatternSegments = 200000;

bool isNumeric(int code) {
    return (code >= 10 && code <= 59) || (code >= 60 && code <= 99) ||
           (code >= 110 && code <= 149) || (code >= 160 && code <= 179) ||
           (code >= 210 && code <= 239) || (code >= 270 && code <= 299) ||
           (code >= 370 && code <= 389) || (code >= 400 && code <= 409) ||
           (code >= 420 && code <= 429) || (code >= 440 && code <= 469) ||
           (code >= 1010 && code <= 1071);
}

bool isInteger(int code) {
    return (code >= 60 && code <= 99) || (code >= 160 && code <= 179) ||
           (code >= 270 && code <= 299) || (code >= 370 && code <= 389) ||
           (code >= 400 && code <= 409) || (code >= 420 && code <= 429) ||
           (code >= 440 && code <= 459) || (code >= 1060 && code <= 1071);
}

// Points of an elliptical arc from parameter a0 to a1 (any direction).
void appendEllipse(std::vector<Vec2>& out, Vec2 c, Vec2 major, double ratio, double a0, double a1) {
    const Vec2 minor{-major.y * ratio, major.x * ratio};
    // Clamped before it becomes an integer: a damaged sweep may be any number.
    const double wanted = std::ceil(std::abs(a1 - a0) / (3 * kDeg));
    const int steps = wanted >= 1 ? int(std::min(wanted, 360.0)) : 1;
    for (int i = 0; i <= steps; ++i) {
        const double t = a0 + (a1 - a0) * i / steps;
        out.push_back(c + major * std::cos(t) + minor * std::sin(t));
    }
}

// Sweep of an edge arc: counter-clockwise from start to end, or clockwise
// when the file says so (the angles are then stored mirrored).
void edgeSweep(double start, double end, bool ccw, double& a0, double& a1) {
    if (!ccw) {
        start = -start;
        end = -end;
    }
    a0 = start;
    a1 = end;
    if (!std::isfinite(a0) || !std::isfinite(a1))
        return;
    // Whole turns at once: a damaged file's angle may be any size, and
    // adding one turn at a time to it would not end.
    if (ccw) {
        if (a1 <= a0)
            a1 += (std::floor((a0 - a1) / (2 * kPi)) + 1) * 2 * kPi;
        if (a1 <= a0)
            a1 += 2 * kPi;
        if (a1 - a0 > 2 * kPi + 1e-9)
            a1 -= 2 * kPi;
    } else {
        if (a1 >= a0)
            a1 -= (std::floor((a1 - a0) / (2 * kPi)) + 1) * 2 * kPi;
        if (a1 >= a0)
            a1 -= 2 * kPi;
        if (a0 - a1 > 2 * kPi + 1e-9)
            a1 += 2 * kPi;
    }
}

QString formatMeasurement(double v) {
    return QString::number(v, 'f', 2);
}

} // namespace

void EntityReader::collect(Cursor& c, Common& cm, std::vector<Item>& items) {
    items.clear();
    while (c.advance() && c.group().code != 0) {
        const Group& g = c.group();
        if (common(g, cm))
            continue;
        Item it{g.code, 0, {}};
        if (isNumeric(g.code))
            it.num = isInteger(g.code) ? double(toInt(g)) : toDouble(g);
        else
            it.text = g.value;
        items.push_back(it);
    }
}

Shape& EntityReader::addPath(int block, const std::vector<Vec2>& pts, bool closed, bool filled,
                             const Common& cm, uint16_t type) {
    Block& b = m_ctx.doc.blocks[size_t(block)];
    Shape& s = filled ? b.addPolygon(pts) : b.addPolyline(pts, closed);
    style(s, cm, type);
    return s;
}

void EntityReader::addArrow(int block, Vec2 tip, Vec2 from, double size, const Common& cm,
                            uint16_t type) {
    const Vec2 d = from - tip;
    const double len = length(d);
    if (!(len > 0) || !(size > 0) || !std::isfinite(size))
        return;
    const Vec2 u = d * (1 / len), n{-u.y, u.x};
    const Vec2 back = tip + u * size;
    addPath(block, {tip, back + n * (size / 6), back - n * (size / 6)}, true, true, cm, type);
}

void EntityReader::addMText(int block, const QString& content, const MTextParams& p,
                            const Common& cm, uint16_t type, const MTextMask* mask) {
    Block& b = m_ctx.doc.blocks[size_t(block)];
    std::vector<Vec2> frame;
    const double margin = mask ? (std::clamp(mask->scale, 1.0, 5.0) - 1) * p.height : 0;
    std::vector<MTextPiece> pieces = layoutMText(content, p, mask ? &frame : nullptr, margin);
    if (mask && frame.size() == 4 && std::all_of(frame.begin(), frame.end(), [](Vec2 v) {
            return std::isfinite(v.x) && std::isfinite(v.y);
        })) {
        // The box hides what lies under the text, as a wipeout does.
        Shape& box = b.addPolygon(frame);
        style(box, cm, type);
        box.color = mask->color;
        box.flags |= Mask;
    }
    for (MTextPiece& piece : pieces) {
        Shape& s = b.addText(piece.text);
        style(s, cm, type);
        if (piece.color)
            s.color = *piece.color;
    }
}

bool EntityReader::takeMTextGroup(const Group& g, MTextParams& p, std::string& text,
                                  std::string_view& last, double& height, Vec2& dir) {
    switch (g.code) {
    case 1:
        last = g.value;
        return true;
    case 3: // the text comes in chunks: 3s first, then the last in 1
        text.append(g.value);
        return true;
    case 10:
        p.insert.x = toDouble(g);
        return true;
    case 20:
        p.insert.y = toDouble(g);
        return true;
    case 11:
        dir.x = toDouble(g);
        return true;
    case 21:
        dir.y = toDouble(g);
        return true;
    case 40:
        height = toDouble(g);
        return true;
    case 41:
        p.referenceWidth = toDouble(g);
        return true;
    case 44:
        p.lineSpacing = toDouble(g);
        return true;
    case 71:
        p.attachment = toInt(g);
        return true;
    default:
        return false;
    }
}

void EntityReader::styleMText(MTextParams& p, std::string_view styleName, double height) const {
    // As text, multi-line text without a style name is in STANDARD.
    if (const DxfContext::Style* st = m_ctx.style(styleName.empty() ? "STANDARD" : styleName)) {
        p.fontFamily = st->fontFamily;
        p.widthFactor = st->widthFactor;
        p.oblique = st->oblique;
        if (!(height > 0) && st->fixedHeight > 0)
            height = st->fixedHeight;
    }
    p.height = height > 0 ? height : 1.0;
}

void EntityReader::readMText(Cursor& c, const Target& t) {
    Common cm;
    MTextParams p;
    std::string raw;
    std::string_view last, styleName;
    Vec2 dir;
    double height = 0, rotation = 0;
    MTextMask mask{Color::background(), 1.5};
    int maskFlags = 0;
    bool maskTrueColor = false;
    MTextColumnReader columns(p.columns);
    while (c.advance() && c.group().code != 0) {
        const Group& g = c.group();
        if (columns.take(g) || common(g, cm) || takeMTextGroup(g, p, raw, last, height, dir))
            continue;
        switch (g.code) {
        case 7:
            styleName = g.value;
            break;
        case 50:
            rotation = toDouble(g) * kDeg;
            break;
        case 90:
            maskFlags = toInt(g);
            break;
        case 63:
            if (!maskTrueColor)
                mask.color = Color::fromAci(toInt(g));
            break;
        case 421:
            mask.color = Color::fromRgb(uint32_t(toInt(g)));
            maskTrueColor = true;
            break;
        case 45:
            mask.scale = toDouble(g);
            break;
        default:
            break;
        }
    }
    raw.append(last);
    uint16_t type;
    const int block = place(cm, t, "MTEXT", type);
    if (block < 0 || raw.empty())
        return;
    styleMText(p, styleName, height);
    const bool hasDir = length(dir) > 0;
    p.rotation = hasDir ? std::atan2(dir.y, dir.x) : rotation;
    // The insertion point and direction are world coordinates; an angle
    // alone is the frame's, read the way the plan view keeps text readable.
    if (const ObjectFrame f = cm.frame(); !hasDir && !f.isWorld())
        p.rotation = f.angleToPlan(p.rotation) + (f.isMirrored() ? kPi : 0);
    // Masked with a colour of its own (1), or with the view's background (2).
    if (maskFlags & kMaskBackground)
        mask.color = Color::background();
    else if (mask.color.kind == Color::Kind::ByLayer || mask.color.kind == Color::Kind::ByBlock)
        mask.color = Color::background(); // no colour of its own given: the view's
    const bool masked = (maskFlags & (kMaskColor | kMaskBackground)) != 0;
    addMText(block, m_ctx.text.decodeName(raw), p, cm, type, masked ? &mask : nullptr);
}

void EntityReader::readHatch(Cursor& c, const Target& t) {
    Common cm;
    collect(c, cm, m_items);
    // Pattern lines carry their own dashes; the entity's linetype is not for them.
    cm.lineType = "Continuous";
    cm.lineTypeScale = 1;
    const std::vector<Item>& it = m_items;
    const size_t n = it.size();
    bool solid = false;
    GradientGroups grad;
    std::vector<std::vector<Vec2>> rings;
    std::vector<PatternLine> pattern;
    std::string_view patternName;
    double patternScale = 1, patternAngle = 0;

    auto num = [&](size_t i) { return it[i].num; };
    auto readPath = [&](size_t& i) {
        const int flags = int(num(i));
        ++i;
        std::vector<Vec2> ring;
        if (flags & 2) { // a polyline: vertices with optional bulges, always closed
            m_vertices.clear();
            m_bulges.clear();
            for (; i < n; ++i) {
                const int code = it[i].code;
                if (code == 72 || code == 73 || code == 93)
                    continue;
                if (code == 10) {
                    m_vertices.push_back({num(i), 0});
                    m_bulges.push_back(0);
                } else if (code == 20 && !m_vertices.empty()) {
                    m_vertices.back().y = num(i);
                } else if (code == 42 && !m_bulges.empty()) {
                    m_bulges.back() = num(i);
                } else {
                    break;
                }
            }
            for (size_t v = 0; v < m_vertices.size(); ++v) {
                ring.push_back(m_vertices[v]);
                if (m_bulges[v] != 0)
                    appendBulgeArc(ring, m_vertices[v], m_vertices[(v + 1) % m_vertices.size()],
                                   m_bulges[v]);
            }
        } else {
            if (i < n && it[i].code == 93)
                ++i;
            while (i < n && it[i].code == 72) {
                const int edge = int(num(i));
                ++i;
                Vec2 p10, p11;
                double r = 0, a50 = 0, a51 = 0;
                bool ccw = true;
                int degree = 3;
                std::vector<double> knots, weights;
                std::vector<Vec2> control, fit;
                bool fitCountSeen = false;
                for (; i < n; ++i) {
                    const int code = it[i].code;
                    const double v = num(i);
                    if (code == 72 || code == 92 || code == 75 || code == 330)
                        break;
                    if (code == 97) {
                        // A spline edge's own fit point count, or the path's
                        // count of source objects that ends the edges. A
                        // further edge after it makes it the spline's.
                        const int next = i + 1 < n ? it[i + 1].code : -1;
                        if (edge == 4 && !fitCountSeen &&
                            (next == 11 || next == 12 || next == 13 || next == 97 || next == 72)) {
                            fitCountSeen = true;
                            continue;
                        }
                        break;
                    }
                    switch (code) {
                    case 10:
                        if (edge == 4)
                            control.push_back({v, 0});
                        else
                            p10.x = v;
                        break;
                    case 20:
                        if (edge == 4) {
                            if (!control.empty())
                                control.back().y = v;
                        } else {
                            p10.y = v;
                        }
                        break;
                    case 11:
                        if (edge == 4)
                            fit.push_back({v, 0});
                        else
                            p11.x = v;
                        break;
                    case 21:
                        if (edge == 4) {
                            if (!fit.empty())
                                fit.back().y = v;
                        } else {
                            p11.y = v;
                        }
                        break;
                    case 40:
                        if (edge == 4)
                            knots.push_back(v);
                        else
                            r = v;
                        break;
                    case 42:
                        weights.push_back(v);
                        break;
                    case 50:
                        a50 = v;
                        break;
                    case 51:
                        a51 = v;
                        break;
                    case 73:
                        ccw = v != 0;
                        break;
                    case 94:
                        degree = int(v);
                        break;
                    default:
                        break;
                    }
                }
                switch (edge) {
                case 1:
                    if (ring.empty() || length(ring.back() - p10) > 0)
                        ring.push_back(p10);
                    ring.push_back(p11);
                    break;
                case 2:
                case 3: {
                    double a0, a1;
                    edgeSweep(a50 * kDeg, a51 * kDeg, ccw, a0, a1);
                    if (edge == 2) {
                        if (r > 0)
                            appendEllipse(ring, p10, {r, 0}, 1, a0, a1);
                    } else if (length(p11) > 0) {
                        appendEllipse(ring, p10, p11, r, a0, a1);
                    }
                    break;
                }
                case 4:
                    if (control.size() >= 2)
                        appendNurbs(ring, degree, knots, control, weights);
                    else
                        appendThroughPoints(ring, fit, false);
                    break;
                default:
                    break;
                }
            }
        }
        // Source object references close the path.
        while (i < n && (it[i].code == 97 || it[i].code == 330))
            ++i;
        if (ring.size() >= 3)
            rings.push_back(std::move(ring));
    };

    size_t i = 0;
    while (i < n) {
        const Item& g = it[i];
        switch (g.code) {
        case 70:
            solid = g.num != 0;
            break;
        case 2:
            patternName = trimmed(g.text);
            break;
        case 41:
            patternScale = g.num;
            break;
        case 52:
            patternAngle = g.num * kDeg;
            break;
        case 91: // the path count is not trusted: paths are taken as they come
            ++i;
            while (i < n && it[i].code == 92)
                readPath(i);
            continue;
        case 53:
            pattern.push_back({g.num * kDeg, {}, {}, {}});
            break;
        case 43:
            if (!pattern.empty())
                pattern.back().base.x = g.num;
            break;
        case 44:
            if (!pattern.empty())
                pattern.back().base.y = g.num;
            break;
        case 45:
            if (!pattern.empty())
                pattern.back().offset.x = g.num;
            break;
        case 46:
            if (!pattern.empty())
                pattern.back().offset.y = g.num;
            break;
        case 49:
            if (!pattern.empty())
                pattern.back().dashes.push_back(g.num);
            break;
        default:
            grad.take(g.code, g.num, g.text);
            break;
        }
        ++i;
    }
    const bool gradient = grad.active();

    uint16_t type;
    const int block = place(cm, t, "HATCH", type);
    if (block < 0 || rings.empty())
        return;
    if (!solid && !gradient && pattern.empty() && !patternName.empty()) {
        // Named but without its lines: the program's own pattern of that name.
        if (equalsNoCase(patternName, "SOLID")) {
            solid = true;
        } else {
            const auto m = m_ctx.doc.header.find(QStringLiteral("$MEASUREMENT"));
            const bool metric = m != m_ctx.doc.header.end() && m->second.trimmed() == u'1';
            if (!standardPattern(patternName, patternScale, patternAngle, metric, pattern))
                m_ctx.countSkipped("HATCH pattern unknown (plain hatch drawn)");
        }
    }
    // Filled and clipped in the hatch's own plane, then seen in plan.
    const ObjectFrame frame = cm.frame();
    const auto elevationItem =
        std::find_if(it.begin(), it.end(), [](const Item& item) { return item.code == 30; });
    const double elevation = elevationItem == it.end() ? 0.0 : elevationItem->num;
    auto toPlan = [&](Vec2 p) { return frame.toPlan(p, elevation); };
    Block& b = m_ctx.doc.blocks[size_t(block)];
    if (solid || gradient) {
        m_points.clear();
        std::vector<uint32_t> starts;
        const uint32_t first = uint32_t(b.points.size());
        for (const auto& r : rings) {
            starts.push_back(first + uint32_t(m_points.size()));
            for (Vec2 p : r)
                m_points.push_back(toPlan(p));
        }
        Shape& s = addPath(block, m_points, true, true, cm, type);
        if (gradient) {
            if (const auto first = grad.firstColor())
                s.color = *first;
            b.gradients.push_back(grad.gradient(uint32_t(b.shapes.size() - 1)));
            // The blend's direction lies in the hatch's plane, like its outline.
            b.gradients.back().angle = frame.angleToPlan(b.gradients.back().angle);
        }
        b.ringStarts.insert(b.ringStarts.end(), starts.begin() + 1, starts.end());
        return;
    }
    PatternResult result;
    const size_t allowed = std::min(kMaxPatternSegments, m_ctx.patternBudget);
    if (!pattern.empty() && clipPattern(rings, pattern, allowed, result)) {
        m_ctx.patternBudget -=
            std::min(m_ctx.patternBudget, result.segments.size() + result.dots.size());
        for (const auto& [a, e] : result.segments)
            addPath(block, {toPlan(a), toPlan(e)}, false, false, cm, type);
        for (Vec2 p : result.dots)
            style(b.addPoint(toPlan(p)), cm, type);
        return;
    }
    if (!pattern.empty())
        m_ctx.countSkipped("HATCH pattern too dense (outline drawn)");
    for (auto& r : rings) {
        for (Vec2& p : r)
            p = toPlan(p);
        addPath(block, r, true, false, cm, type);
    }
}

void EntityReader::readSpline(Cursor& c, const Target& t) {
    Common cm;
    int degree = 3, flags = 0;
    std::vector<double> knots, weights;
    std::vector<Vec2> control, fit;
    while (c.advance() && c.group().code != 0) {
        const Group& g = c.group();
        if (common(g, cm))
            continue;
        switch (g.code) {
        case 70:
            flags = toInt(g);
            break;
        case 71:
            degree = toInt(g);
            break;
        case 40:
            knots.push_back(toDouble(g));
            break;
        case 41:
            weights.push_back(toDouble(g));
            break;
        case 10:
            control.push_back({toDouble(g), 0});
            break;
        case 20:
            if (!control.empty())
                control.back().y = toDouble(g);
            break;
        case 11:
            fit.push_back({toDouble(g), 0});
            break;
        case 21:
            if (!fit.empty())
                fit.back().y = toDouble(g);
            break;
        default:
            break;
        }
    }
    uint16_t type;
    const int block = place(cm, t, "SPLINE", type);
    if (block < 0)
        return;
    m_points.clear();
    const bool closed = (flags & 1) != 0;
    if (control.size() >= 2)
        appendNurbs(m_points, degree, std::move(knots), control, std::move(weights));
    else
        appendThroughPoints(m_points, fit, closed);
    // Points far out enough to overflow on the way are dropped.
    std::erase_if(m_points, [](Vec2 p) { return !std::isfinite(p.x) || !std::isfinite(p.y); });
    if (m_points.empty())
        return;
    if (m_points.size() == 1)
        style(m_ctx.doc.blocks[size_t(block)].addPoint(m_points[0]), cm, type);
    else
        addPath(block, m_points, closed && control.size() < 2, false, cm, type);
}

void EntityReader::readDimension(Cursor& c, const Target& t, std::string_view typeName) {
    Common cm;
    std::string_view blockName, textValue;
    Vec2 p10, p11, p13, p14, p15, p16;
    bool has11 = false;
    double measured = -1, angle = 0, z11 = 0, z16 = 0;
    int kind = 0, flags = 0;
    while (c.advance() && c.group().code != 0) {
        const Group& g = c.group();
        if (common(g, cm))
            continue;
        switch (g.code) {
        case 1:
            textValue = g.value;
            break;
        case 2:
            blockName = g.value;
            break;
        case 10:
            p10.x = toDouble(g);
            break;
        case 20:
            p10.y = toDouble(g);
            break;
        case 11:
            p11.x = toDouble(g);
            has11 = true;
            break;
        case 21:
            p11.y = toDouble(g);
            break;
        case 31:
            z11 = toDouble(g);
            break;
        case 36:
            z16 = toDouble(g);
            break;
        case 13:
            p13.x = toDouble(g);
            break;
        case 23:
            p13.y = toDouble(g);
            break;
        case 14:
            p14.x = toDouble(g);
            break;
        case 24:
            p14.y = toDouble(g);
            break;
        case 42:
            measured = toDouble(g);
            break;
        case 50:
            angle = toDouble(g) * kDeg;
            break;
        case 15:
            p15.x = toDouble(g);
            break;
        case 25:
            p15.y = toDouble(g);
            break;
        case 16:
            p16.x = toDouble(g);
            break;
        case 26:
            p16.y = toDouble(g);
            break;
        case 70:
            flags = toInt(g);
            kind = flags & 7;
            break;
        default:
            break;
        }
    }
    uint16_t type;
    const int block = place(cm, t, typeName, type);
    if (block < 0)
        return;
    Block& b = m_ctx.doc.blocks[size_t(block)];
    // The drawing program leaves the dimension's look in an anonymous block.
    if (!trimmed(blockName).empty() && m_ctx.block(blockName, false) >= 0) {
        style(b.addInsert(Insert{}), cm, type);
        m_ctx.addInsertReference(block, uint32_t(b.inserts.size() - 1), blockName);
        return;
    }
    // The text point and the arc point are in the dimension's own frame; the
    // definition points are world coordinates.
    if (const ObjectFrame f = cm.frame(); !f.isWorld()) {
        p11 = f.toPlan(p11, z11);
        p16 = f.toPlan(p16, z16);
    }
    if (typeName == "DIMENSION" && kind >= 2) {
        DimensionData dd{kind,
                         flags,
                         p10,
                         p11,
                         p13,
                         p14,
                         p15,
                         p16,
                         has11,
                         measured,
                         m_ctx.text.decodeName(textValue)};
        if (dimensionWithoutBlock(block, dd, cm, type))
            return;
    }
    if (typeName != "DIMENSION" || (kind != 0 && kind != 1)) {
        m_ctx.countSkipped(std::string(typeName) + " without its block");
        return;
    }
    const Vec2 d =
        kind == 1 ? (length(p14 - p13) > 0 ? (p14 - p13) * (1 / length(p14 - p13)) : Vec2{1, 0})
                  : Vec2{std::cos(angle), std::sin(angle)};
    const Vec2 a = p10 + d * dot(p13 - p10, d), e = p10 + d * dot(p14 - p10, d);
    const double span = length(e - a);
    if (!(span > 0))
        return;
    const double size = span / 10;
    addPath(block, {p13, a}, false, false, cm, type);
    addPath(block, {p14, e}, false, false, cm, type);
    addPath(block, {a, e}, false, false, cm, type);
    addArrow(block, a, e, size, cm, type);
    addArrow(block, e, a, size, cm, type);
    const QString value = formatMeasurement(measured >= 0 ? measured : span);
    // The label is MTEXT-formatted; "<>" stands for the measurement.
    QString label = m_ctx.text.decodeName(textValue);
    if (label.isEmpty())
        label = value;
    label.replace(QLatin1String("<>"), value);
    if (label.trimmed().isEmpty())
        return; // a blank label hides the text
    double rot = std::atan2(d.y, d.x);
    if (rot > kPi / 2 + 1e-9 || rot <= -kPi / 2 + 1e-9) // keep it readable
        rot += rot > 0 ? -kPi : kPi;
    MTextParams p;
    p.height = size;
    p.rotation = rot;
    p.attachment = has11 ? 5 : 8; // middle centre on the text point, else above the line
    p.insert = has11 ? p11 : (a + e) * 0.5 + Vec2{-std::sin(rot), std::cos(rot)} * (size / 3);
    addMText(block, label, p, cm, type);
}

void EntityReader::readLeader(Cursor& c, const Target& t) {
    Common cm;
    bool arrow = true, spline = false;
    double textHeight = 0;
    m_vertices.clear();
    while (c.advance() && c.group().code != 0) {
        const Group& g = c.group();
        if (common(g, cm))
            continue;
        switch (g.code) {
        case 71:
            arrow = toInt(g) != 0;
            break;
        case 72:
            spline = toInt(g) == 1;
            break;
        case 40:
            textHeight = toDouble(g);
            break;
        case 10:
            m_vertices.push_back({toDouble(g), 0});
            break;
        case 20:
            if (!m_vertices.empty())
                m_vertices.back().y = toDouble(g);
            break;
        default:
            break;
        }
    }
    uint16_t type;
    const int block = place(cm, t, "LEADER", type);
    if (block < 0 || m_vertices.size() < 2)
        return;
    m_points.clear();
    if (spline)
        appendThroughPoints(m_points, m_vertices, false);
    else
        m_points = m_vertices;
    addPath(block, m_points, false, false, cm, type);
    if (arrow) {
        const double first = length(m_vertices[1] - m_vertices[0]);
        const double size = textHeight > 0 ? std::min(textHeight, first / 2) : first / 4;
        addArrow(block, m_vertices[0], m_vertices[1], size, cm, type);
    }
}

void EntityReader::readMLeader(Cursor& c, const Target& t) {
    Common cm;
    collect(c, cm, m_items);
    enum Scope { Entity, Context, Leader, Line } scope = Entity;
    std::vector<std::vector<Vec2>> lines;
    std::vector<Vec2> connections; // where each leader's lines end
    std::vector<Vec2> doglegs;
    Vec2 dogleg;
    double doglegLength = 0, arrowSize = 0, textHeight = 0, textWidth = 0, textRotation = 0;
    Vec2 textAt;
    QString content;
    uint64_t blockHandle = 0, entityBlockHandle = 0;
    Insert blockContent;
    auto handle = [](const Item& g) {
        Group h;
        h.value = g.text;
        return toHandle(h);
    };
    for (const Item& g : m_items) {
        if (g.code == 300 || g.code == 302 || (g.code == 304 && g.text == "LEADER_LINE{")) {
            scope = g.code == 300 ? Context : g.code == 302 ? Leader : Line;
            if (scope == Line)
                lines.emplace_back();
            if (scope == Leader) {
                connections.push_back({});
                doglegs.push_back({});
                dogleg = {};
                doglegLength = 0;
            }
            continue;
        }
        if (g.code == 301 || g.code == 303 || g.code == 305) {
            if (g.code == 303 && !doglegs.empty())
                doglegs.back() = dogleg * doglegLength;
            scope = g.code == 305 ? Leader : g.code == 303 ? Context : Entity;
            continue;
        }
        switch (scope) {
        case Line:
            if (g.code == 10)
                lines.back().push_back({g.num, 0});
            else if (g.code == 20 && !lines.back().empty())
                lines.back().back().y = g.num;
            break;
        case Leader:
            if (connections.empty()) // a stray closing brace brought us here
                break;
            if (g.code == 10)
                connections.back().x = g.num;
            else if (g.code == 20)
                connections.back().y = g.num;
            else if (g.code == 11)
                dogleg.x = g.num;
            else if (g.code == 21)
                dogleg.y = g.num;
            else if (g.code == 40)
                doglegLength = g.num;
            break;
        case Context:
            if (g.code == 304)
                content = m_ctx.text.decodeName(g.text);
            else if (g.code == 12)
                textAt.x = g.num;
            else if (g.code == 22)
                textAt.y = g.num;
            else if (g.code == 41)
                textHeight = g.num;
            else if (g.code == 43)
                textWidth = g.num;
            else if (g.code == 42)
                textRotation = g.num;
            else if (g.code == 140)
                arrowSize = g.num;
            else if (g.code == 341)
                blockHandle = handle(g);
            else if (g.code == 15)
                blockContent.position.x = g.num;
            else if (g.code == 25)
                blockContent.position.y = g.num;
            else if (g.code == 16)
                blockContent.scaleX = g.num;
            else if (g.code == 26)
                blockContent.scaleY = g.num;
            else if (g.code == 46)
                blockContent.rotation = g.num; // radians, as the text's
            break;
        case Entity:
            if (g.code == 42 && !(arrowSize > 0))
                arrowSize = g.num;
            else if (g.code == 344)
                entityBlockHandle = handle(g);
            break;
        }
    }
    uint16_t type;
    const int block = place(cm, t, "MULTILEADER", type);
    if (block < 0)
        return;
    // Lines belong to the leader opened before them.
    size_t leader = 0;
    for (size_t l = 0; l < lines.size(); ++l) {
        std::vector<Vec2> pts = lines[l];
        if (leader < connections.size())
            pts.push_back(connections[leader]);
        if (pts.size() >= 2) {
            addPath(block, pts, false, false, cm, type);
            addArrow(block, pts[0], pts[1], arrowSize > 0 ? arrowSize : length(pts[1] - pts[0]) / 4,
                     cm, type);
        }
        if (l + 1 == lines.size() || leader + 1 < connections.size())
            leader = std::min(leader + 1, connections.size());
    }
    for (size_t k = 0; k < connections.size(); ++k)
        if (length(doglegs[k]) > 0)
            addPath(block, {connections[k], connections[k] + doglegs[k]}, false, false, cm, type);
    // Block content: the block drawn as an insert where the context puts it.
    if (blockHandle == 0)
        blockHandle = entityBlockHandle;
    const auto record = m_ctx.blockRecordNames.find(blockHandle);
    if (blockHandle != 0 && record != m_ctx.blockRecordNames.end()) {
        Insert& ins = blockContent;
        for (double* f : {&ins.scaleX, &ins.scaleY})
            if (!std::isfinite(*f) || *f == 0)
                *f = 1;
        if (!std::isfinite(ins.rotation))
            ins.rotation = 0;
        Block& b = m_ctx.doc.blocks[size_t(block)];
        style(b.addInsert(ins), cm, type);
        m_ctx.addInsertReference(block, uint32_t(b.inserts.size() - 1), record->second);
    }
    if (!content.isEmpty()) {
        MTextParams p;
        p.insert = textAt;
        p.height = textHeight > 0 ? textHeight : 1;
        p.referenceWidth = textWidth;
        p.rotation = textRotation;
        addMText(block, content, p, cm, type);
    }
}

void EntityReader::read3dFace(Cursor& c, const Target& t) {
    Common cm;
    Vec2 p[4];
    int hidden = 0;
    while (c.advance() && c.group().code != 0) {
        const Group& g = c.group();
        if (common(g, cm))
            continue;
        if (g.code >= 10 && g.code <= 13)
            p[g.code - 10].x = toDouble(g);
        else if (g.code >= 20 && g.code <= 23)
            p[g.code - 20].y = toDouble(g);
        else if (g.code == 70)
            hidden = toInt(g);
    }
    uint16_t type;
    const int block = place(cm, t, "3DFACE", type);
    if (block < 0)
        return;
    // Flags 1, 2, 4, 8 hide the edges 1-2, 2-3, 3-4 and 4-1.
    if ((hidden & 15) == 0) {
        addPath(block, {p[0], p[1], p[2], p[3]}, true, false, cm, type);
        return;
    }
    for (int e = 0; e < 4; ++e)
        if (!(hidden & (1 << e)) && length(p[(e + 1) % 4] - p[e]) > 0)
            addPath(block, {p[e], p[(e + 1) % 4]}, false, false, cm, type);
}

void EntityReader::readInfiniteLine(Cursor& c, const Target& t, bool ray) {
    Common cm;
    Vec2 base, dir;
    while (c.advance() && c.group().code != 0) {
        const Group& g = c.group();
        if (common(g, cm))
            continue;
        if (g.code == 10)
            base.x = toDouble(g);
        else if (g.code == 20)
            base.y = toDouble(g);
        else if (g.code == 11)
            dir.x = toDouble(g);
        else if (g.code == 21)
            dir.y = toDouble(g);
    }
    uint16_t type;
    const int block = place(cm, t, ray ? "RAY" : "XLINE", type);
    const double len = length(dir);
    if (block < 0 || !(len > 0))
        return;
    // Its ends are set once the drawing's extents are known.
    Shape& s = addPath(block, {base, base + dir * (1 / len)}, false, false, cm, type);
    s.flags |= Unbounded;
    m_infinite.push_back({block, s.first, base, dir * (1 / len), ray});
}

void EntityReader::finishInfiniteLines() {
    if (m_infinite.empty())
        return;
    Document& doc = m_ctx.doc;
    std::vector<Box> extents(doc.blocks.size());
    std::vector<bool> known(doc.blocks.size(), false);
    for (const Infinite& l : m_infinite) {
        if (!known[size_t(l.block)]) {
            extents[size_t(l.block)] = doc.blockExtents(l.block);
            known[size_t(l.block)] = true;
        }
    }
    for (const Infinite& l : m_infinite) {
        Box e = extents[size_t(l.block)];
        double reach = 1;
        if (e.isValid()) {
            const double size = std::max({e.width(), e.height(), 1e-6});
            const Vec2 mid{(e.minX + e.maxX) / 2, (e.minY + e.maxY) / 2};
            // Far enough to cross ten times the drawing from wherever it starts.
            reach = length(mid - l.base) + 10 * size;
        }
        if (!std::isfinite(reach))
            reach = 1e15;
        PointVector& pts = doc.blocks[size_t(l.block)].points;
        pts[l.first] = l.ray ? l.base : l.base - l.dir * reach;
        pts[l.first + 1] = l.base + l.dir * reach;
    }
    m_infinite.clear();
    // The block extents were cached before the lines reached out; the reader
    // finishes the document once it is whole, which measures them anew.
    doc.forgetBlockExtents();
}

} // namespace dv::dxf
