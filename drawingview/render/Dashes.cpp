#include "Dashes.h"

#include "model/Clipping.h"

#include <algorithm>
#include <cmath>
#include <limits>

namespace dv {

namespace {

// The part [t0, t1] of p + t (q - p) inside the rectangle.
bool clipParameters(QPointF p, QPointF q, const QRectF& r, double& t0, double& t1) {
    return dv::clipParameters(p.x(), p.y(), q.x(), q.y(), r.left(), r.top(), r.right(), r.bottom(),
                              t0, t1);
}

// Where along the pattern the walk is: element `index` with `left` pixels
// of it still to go.
class Walk {
public:
    Walk(const ScreenPattern& p, DashedPath& out) : m_p(p), m_out(out) { enter(0, nullptr); }

    // Draws from `from` to `to` pixels along the segment p -> p + dir * len.
    void draw(QPointF p, QPointF unit, double from, double to) {
        auto at = [&](double s) { return p + unit * s; };
        m_unit = unit;
        double s = from;
        while (s < to) {
            const double d = m_p.dashes[m_index];
            if (d > 0 && !m_open) {
                m_out.points.push_back(at(s));
                m_pieceStart = m_out.points.size() - 1;
                m_open = true;
            }
            const double step = std::min(m_left, to - s);
            s += step;
            m_left -= step;
            if (m_left > 0)
                break; // the segment ends inside this element
            if (d > 0)
                close(at(s));
            const QPointF here = at(s);
            mark(m_index, here);
            enter(m_index + 1, &here);
        }
        if (m_open)
            m_out.points.push_back(at(to)); // a vertex inside a dash
    }

    // Moves along the pattern without drawing (outside the clip).
    void skip(double distance) {
        close();
        if (!(distance > 0))
            return;
        distance = std::fmod(distance, m_p.period);
        // Within one period: each element is passed at most once.
        for (size_t guard = 0; guard <= m_p.dashes.size() && distance >= m_left; ++guard) {
            distance -= m_left;
            enter(m_index + 1, nullptr);
        }
        m_left = std::max(0.0, m_left - distance);
    }

    void close(QPointF end) {
        if (!m_open)
            return;
        m_out.points.push_back(end);
        m_open = false;
        finishPiece();
    }
    void close() {
        if (!m_open)
            return;
        m_open = false;
        finishPiece();
    }

private:
    void finishPiece() {
        const size_t n = m_out.points.size() - m_pieceStart;
        if (n >= 2)
            m_out.dashSizes.push_back(uint32_t(n));
        else
            m_out.points.resize(m_pieceStart);
    }
    // Starts element `index`; dots are drawn as they are reached and passed.
    void enter(size_t index, const QPointF* where) {
        const size_t n = m_p.dashes.size();
        for (size_t guard = 0; guard <= n; ++guard) {
            m_index = index % n;
            m_left = std::abs(m_p.dashes[m_index]);
            if (m_left > 0)
                return;
            if (where) {
                m_out.dots.push_back(*where);
                mark(m_index, *where);
            }
            index = m_index + 1;
        }
    }

    void mark(size_t element, QPointF at) {
        if (element < m_p.marked.size() && m_p.marked[element])
            m_out.marks.push_back({at, m_unit, uint32_t(element)});
    }

    const ScreenPattern& m_p;
    DashedPath& m_out;
    QPointF m_unit{1, 0}; // the direction of the segment being walked
    size_t m_index = 0;
    double m_left = 0;
    bool m_open = false;
    size_t m_pieceStart = 0;
};

} // namespace

double pathLength(const QPointF* points, size_t count, bool closed) {
    double total = 0;
    const size_t segments = count < 2 ? 0 : closed ? count : count - 1;
    for (size_t i = 0; i < segments; ++i) {
        const QPointF d = points[(i + 1) % count] - points[i];
        total += std::hypot(d.x(), d.y());
    }
    return std::isfinite(total) ? total : std::numeric_limits<double>::infinity();
}

void dashPath(const QPointF* points, size_t count, bool closed, const ScreenPattern& pattern,
              const QRectF& clip, DashedPath& out, double phase) {
    if (count < 2 || pattern.dashes.empty() || !(pattern.period > 0))
        return;
    Walk walk(pattern, out);
    if (phase > 0 && std::isfinite(phase))
        walk.skip(phase);
    else if (pattern.dashes[0] == 0 && clip.contains(points[0]))
        out.dots.push_back(points[0]); // the pattern starts with a dot
    const size_t segments = closed ? count : count - 1;
    for (size_t i = 0; i < segments; ++i) {
        const QPointF p = points[i], q = points[(i + 1) % count];
        const double len = std::hypot(q.x() - p.x(), q.y() - p.y());
        if (!std::isfinite(len)) {
            walk.close(); // nothing sensible to draw or count
            continue;
        }
        if (len == 0)
            continue;
        double t0, t1;
        if (!clipParameters(p, q, clip, t0, t1)) {
            walk.skip(len);
            continue;
        }
        if (t0 > 0)
            walk.skip(t0 * len);
        const QPointF unit = (q - p) / len;
        walk.draw(p, unit, t0 * len, t1 * len);
        if (t1 < 1)
            walk.skip((1 - t1) * len); // the dash was cut at the clip's edge
    }
    walk.close();
}

} // namespace dv
