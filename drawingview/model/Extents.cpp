#include "Extents.h"

#include "Bounds.h"
#include "Clipping.h"
#include "Parallel.h"
#include "TextMetrics.h"
#include "VectorState.h"

#include <QFontMetricsF>
#include <QGuiApplication>
#include <QHash>

#include <algorithm>
#include <cmath>
#include <map>
#include <memory>
#include <mutex>
#include <numbers>

namespace dv {

namespace {

struct FontMeasure {
    std::unique_ptr<QFontMetricsF> metrics;
    double capHeight = 70;
    double descent = 0;
    struct Glyphs {
        QRectF box; // ink and advance, font pixels, y down
        double advance = 0;
    };
    QHash<QString, Glyphs> boxes;
};

// Per thread, as documents load on a thread of their own.
FontMeasure& measureFor(const QString& family) {
    thread_local std::map<QString, FontMeasure> cache;
    auto it = cache.find(family);
    if (it != cache.end())
        return it->second;
    FontMeasure& m = cache[family];
    m.metrics = std::make_unique<QFontMetricsF>(drawingFont(family));
    if (m.metrics->capHeight() > 0)
        m.capHeight = m.metrics->capHeight();
    m.descent = m.metrics->descent();
    return m;
}

// The glyphs' ink and the advance the renderer's small-text stroke spans.
FontMeasure::Glyphs glyphBox(FontMeasure& m, const QString& text) {
    auto it = m.boxes.constFind(text);
    if (it != m.boxes.constEnd())
        return *it;
    if (m.boxes.size() > 100000) // drawings repeat their strings; a bound on odd ones
        m.boxes.clear();
    const QRectF ink = m.metrics->tightBoundingRect(text);
    const double advance = m.metrics->horizontalAdvance(text);
    QRectF box(0, -m.capHeight / 2, advance, 0);
    if (ink.isValid())
        box = box.united(ink);
    return m.boxes[text] = {box, advance};
}

constexpr size_t kShapesPerRange = 32768;

// True when the text's glyphs cannot reach outside `box`: its estimated
// reach, with a margin of its height all round, lies within.
bool surelyInside(const Text& t, const Box& box) {
    Box reach;
    addTextReach(reach, t);
    const double margin = std::abs(t.height);
    return reach.isValid() && std::isfinite(margin) && reach.minX - margin >= box.minX &&
           reach.maxX + margin <= box.maxX && reach.minY - margin >= box.minY &&
           reach.maxY + margin <= box.maxY;
}

} // namespace

std::array<Vec2, 4> textCorners(const Text& t) {
    const double wf = std::isfinite(t.widthFactor) && t.widthFactor != 0 ? t.widthFactor : 1.0;
    const double shear = std::isfinite(t.oblique) ? std::tan(t.oblique) : 0.0;
    double capHeight = 1, descent = 0.25;
    FontMeasure::Glyphs g;
    if (qobject_cast<QGuiApplication*>(QCoreApplication::instance())) {
        FontMeasure& m = measureFor(t.fontFamily);
        capHeight = m.capHeight;
        descent = m.descent;
        g = glyphBox(m, t.text);
        clearUpperVectorState();
    } else {
        // An average glyph 0.6 of the cap height wide; ascenders and descenders.
        g.advance = 0.6 * double(t.text.size());
        g.box = QRectF(0, -1.2, std::max(g.advance, 0.6), 1.45);
    }
    QRectF box = g.box;
    // Under-, over- and strike-through lines, half their thickness beyond
    // the glyphs at either end as the pen's caps draw them.
    for (const Text::Decoration& d : t.decorations) {
        const double level = decorationLevel(d.line) * capHeight;
        const double half = kDecorationThickness * capHeight;
        box =
            box.united(QRectF(box.left() - half, -level - half, box.width() + 2 * half, 2 * half));
    }
    // As the renderer places them: font pixels (y down) scaled so that the
    // cap height is the text's height, aligned, turned and moved.
    const double k = t.height / capHeight;
    const double width = g.advance * std::abs(k) * wf;
    const double ox = alignedStart(t, width);
    double oy = 0;
    if (t.vAlign == Text::Bottom)
        oy = descent * k;
    else if (t.vAlign == Text::Middle)
        oy = -t.height / 2;
    else if (t.vAlign == Text::Top)
        oy = -t.height;
    const double c = std::cos(t.rotation), s = std::sin(t.rotation);
    std::array<Vec2, 4> out;
    const double gxs[2] = {box.left(), box.right()}, gys[2] = {box.top(), box.bottom()};
    for (int i = 0; i < 4; ++i) {
        const double gx = gxs[i & 1], gy = gys[i >> 1];
        const double x = std::abs(k) * wf * gx - shear * std::abs(k) * gy + ox;
        const double y = -k * gy + oy;
        out[size_t(i)] = {t.position.x + x * c - y * s, t.position.y + x * s + y * c};
    }
    return out;
}

ExtentsMeter::ExtentsMeter(const Document& doc)
    : m_doc(doc), m_hulls(doc.blocks.size()), m_state(doc.blocks.size(), 0) {
    for (size_t i = 0; i < doc.layers.size(); ++i)
        if (doc.layers[i].name == QLatin1String("0"))
            m_layerZero = int(i);
}

Box ExtentsMeter::layoutExtents(int block) {
    if (block < 0 || block >= int(m_doc.blocks.size()))
        return {};
    const Block& b = m_doc.blocks[size_t(block)];
    if (b.shapes.size() >= 2 * kShapesPerRange) {
        // The inserted blocks' hulls first, on this thread; after that the
        // ranges only read them.
        for (const Insert& ins : b.inserts)
            if (ins.block >= 0 && ins.block < int(m_doc.blocks.size()))
                hull(ins.block);
    }
    // Texts are measured last, and only those that may reach past the rest.
    const Box others = gatherBox(block, {true, false, nullptr});
    Box box = others;
    box.add(gatherBox(block, {false, true, &others}));
    return box;
}

Box ExtentsMeter::gatherBox(int block, TextFilter filter) {
    Box box;
    std::mutex merging;
    inParallel(m_doc.blocks[size_t(block)].shapes.size(), kShapesPerRange,
               [&](size_t from, size_t to) {
                   Box part;
                   gather(block, false, &part, nullptr, from, to, filter);
                   std::lock_guard lock(merging);
                   box.add(part);
               });
    return box;
}

bool ExtentsMeter::counts(const Shape& s, bool nested) const {
    if (s.flags & Unbounded)
        return false;
    // Inside a block layer "0" takes the insert's layer, which is not frozen
    // or the insert would not show at all.
    if (nested && s.layer == m_layerZero)
        return true;
    return !(s.layer >= 0 && s.layer < int(m_doc.layers.size()) &&
             m_doc.layers[size_t(s.layer)].frozen);
}

void ExtentsMeter::gather(int bi, bool nested, Box* box, std::vector<Vec2>* points, size_t from,
                          size_t to, TextFilter filter) {
    const Block& b = m_doc.blocks[size_t(bi)];
    to = std::min(to, b.shapes.size());
    auto add = [&](Vec2 p) {
        if (!std::isfinite(p.x) || !std::isfinite(p.y))
            return;
        if (box)
            box->add(p);
        else
            points->push_back(p);
    };
    for (size_t index = from; index < to; ++index) {
        const Shape& s = b.shapes[index];
        if (!(s.kind == ShapeKind::Text ? filter.texts : filter.others) || !counts(s, nested))
            continue;
        // A line's pattern may put shapes beside it (a fence's boxes, say).
        const double reach = s.kind == ShapeKind::Polyline || s.kind == ShapeKind::Arc
                                 ? m_doc.patternShapeReach(s)
                                 : 0;
        auto addLine = [&](Vec2 p) {
            add(p);
            if (reach > 0)
                for (double dx : {-reach, reach})
                    for (double dy : {-reach, reach})
                        add({p.x + dx, p.y + dy});
        };
        switch (s.kind) {
        case ShapeKind::Polyline:
        case ShapeKind::Polygon:
        case ShapeKind::Point:
            if (box && reach == 0)
                addPointRunBounds(*box, b.points, s.first, s.count);
            else
                for (uint32_t i = 0; i < s.count && size_t(s.first) + i < b.points.size(); ++i)
                    addLine(b.points[s.first + i]);
            break;
        case ShapeKind::Arc: {
            if (s.first >= b.arcs.size())
                break;
            const Arc& a = b.arcs[s.first];
            if (box) {
                Box arc;
                addArcBounds(arc, a);
                if (arc.isValid()) {
                    addLine({arc.minX, arc.minY});
                    addLine({arc.maxX, arc.maxY});
                }
                break;
            }
            // Points on the arc and the corners of tangents between them:
            // a polygon that holds the arc, however it is turned later.
            const double sweep =
                std::clamp(a.endAngle - a.startAngle, -2 * std::numbers::pi, 2 * std::numbers::pi);
            if (!std::isfinite(sweep) || !std::isfinite(a.startAngle))
                break;
            const int steps =
                std::max(2, int(std::ceil(std::abs(sweep) / (std::numbers::pi / 32))));
            const double h = sweep / steps, out = 1 / std::cos(h / 2);
            const double c = std::cos(a.rotation), sn = std::sin(a.rotation);
            auto at = [&](double t, double f) {
                const double x = a.radiusX * f * std::cos(t), y = a.radiusY * f * std::sin(t);
                addLine({a.center.x + x * c - y * sn, a.center.y + x * sn + y * c});
            };
            for (int k = 0; k <= steps; ++k) {
                at(a.startAngle + h * k, 1);
                if (k < steps)
                    at(a.startAngle + h * (k + 0.5), out);
            }
            break;
        }
        case ShapeKind::Text:
            if (s.first < b.texts.size() && !b.texts[s.first].text.isEmpty()) {
                const Text& t = b.texts[s.first];
                if (filter.skipInside && surelyInside(t, *filter.skipInside))
                    break;
                for (Vec2 p : textCorners(t))
                    add(p);
            }
            break;
        case ShapeKind::Insert: {
            if (s.first >= b.inserts.size())
                break;
            const Insert& ins = b.inserts[s.first];
            if (ins.block < 0 || ins.block >= int(m_doc.blocks.size()))
                break;
            const Vec2 base = m_doc.blocks[size_t(ins.block)].basePoint;
            const int cols = std::max(1, ins.columns), rows = std::max(1, ins.rows);
            // The array's hull is the hull of its corner cells.
            const std::vector<Vec2>* shape = &hull(ins.block);
            std::vector<Vec2> clipped;
            if (ins.clip.size() >= 3 && !ins.clipInverted) {
                // What the clip lets through, as a box in the block's frame.
                Box inner;
                const InsertPlacer place(ins, base);
                for (Vec2 p : *shape)
                    inner.add(p);
                const Box cut = clippedBox(inner, ins.clip);
                if (!cut.isValid())
                    break;
                clipped = {{cut.minX, cut.minY},
                           {cut.maxX, cut.minY},
                           {cut.maxX, cut.maxY},
                           {cut.minX, cut.maxY}};
                shape = &clipped;
            }
            const InsertPlacer place(ins, base);
            for (Vec2 p : *shape)
                for (int gx : {0, cols - 1})
                    for (int gy : {0, rows - 1})
                        add(place(p, gx, gy));
            break;
        }
        case ShapeKind::Image:
            if (s.first < b.images.size()) {
                const Image& im = b.images[s.first];
                if (!im.image || im.image->isNull())
                    break;
                if (im.clip.size() >= 3) {
                    for (Vec2 p : im.clip)
                        add(p);
                    break;
                }
                for (double i : {0.0, double(im.image->width())})
                    for (double j : {0.0, double(im.image->height())})
                        add({im.origin.x + i * im.u.x + j * im.v.x,
                             im.origin.y + i * im.u.y + j * im.v.y});
            }
            break;
        case ShapeKind::Picture:
            if (s.first < b.pictures.size()) {
                const Picture& p = b.pictures[s.first];
                if (!p.picture || p.bounds.isEmpty())
                    break;
                for (double x : {p.bounds.left(), p.bounds.right()})
                    for (double y : {p.bounds.top(), p.bounds.bottom()})
                        add({p.origin.x + x * p.u.x + y * p.v.x,
                             p.origin.y + x * p.u.y + y * p.v.y});
            }
            break;
        case ShapeKind::Viewport:
            if (s.first < b.viewports.size()) {
                Box r;
                addViewportBounds(r, b.viewports[s.first]);
                if (r.isValid())
                    for (double x : {r.minX, r.maxX})
                        for (double y : {r.minY, r.maxY})
                            add({x, y});
            }
            break;
        }
    }
}

const std::vector<Vec2>& ExtentsMeter::hull(int bi) {
    std::vector<Vec2>& h = m_hulls[size_t(bi)];
    if (m_state[size_t(bi)] != 0)
        return h; // done, or a cycle (drawn nowhere)
    m_state[size_t(bi)] = 1;
    std::vector<Vec2> pts;
    gather(bi, true, nullptr, &pts, 0, m_doc.blocks[size_t(bi)].shapes.size(), TextFilter{});
    // Monotone chain.
    std::sort(pts.begin(), pts.end(),
              [](Vec2 a, Vec2 b) { return a.x < b.x || (a.x == b.x && a.y < b.y); });
    pts.erase(std::unique(pts.begin(), pts.end(),
                          [](Vec2 a, Vec2 b) { return a.x == b.x && a.y == b.y; }),
              pts.end());
    std::vector<Vec2> out;
    if (pts.size() < 3) {
        out = pts;
    } else {
        // The hull grows as it goes: most points never join it, and room for
        // all of them would only be cleared and faulted in.
        auto turn = [](Vec2 o, Vec2 a, Vec2 b) {
            return (a.x - o.x) * (b.y - o.y) - (a.y - o.y) * (b.x - o.x);
        };
        auto add = [&](Vec2 p, size_t lower) {
            while (out.size() >= lower && turn(out[out.size() - 2], out.back(), p) <= 0)
                out.pop_back();
            out.push_back(p);
        };
        for (const Vec2 p : pts)
            add(p, 2);
        const size_t lower = out.size() + 1;
        for (size_t i = pts.size() - 1; i > 0; --i)
            add(pts[i - 1], lower);
        out.pop_back(); // the first point, reached again
    }
    m_hulls[size_t(bi)] = std::move(out);
    m_state[size_t(bi)] = 2;
    return m_hulls[size_t(bi)];
}

} // namespace dv
