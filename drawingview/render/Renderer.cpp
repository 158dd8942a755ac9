#include "Renderer.h"

#include "Colors.h"
#include "Dashes.h"
#include "GradientBrush.h"
#include "model/Bounds.h"
#include "model/Clipping.h"
#include "model/TextMetrics.h"
#include "model/Units.h"
#include "model/VectorState.h"

#include <QFontMetricsF>
#include <QPainter>

#include <algorithm>
#include <array>
#include <bit>
#include <cmath>
#include <cstring>
#include <limits>
#include <map>
#include <numbers>
#include <thread>
#include <tuple>

namespace dv {

namespace {

// floor() for pixel coordinates. The baseline x86-64 instruction set has no
// rounding instruction, and floor's emulation was much of drawing tiny
// shapes. Values beyond any image give a pixel no image holds.
inline int pixelFloor(double v) {
    if (!(v > -1e9 && v < 1e9))
        return std::numeric_limits<int>::min();
    const int i = int(v);
    return i - int(v < double(i));
}

// x' = a x + c y + e, y' = b x + d y + f
struct Affine {
    double a = 1, b = 0, c = 0, d = 1, e = 0, f = 0;

    QPointF map(Vec2 p) const { return {a * p.x + c * p.y + e, b * p.x + d * p.y + f}; }
    Vec2 mapVec(Vec2 p) const { return {a * p.x + c * p.y + e, b * p.x + d * p.y + f}; }
    // First this, then `outer`.
    Affine then(const Affine& o) const {
        return {o.a * a + o.c * b, o.b * a + o.d * b,       o.a * c + o.c * d,
                o.b * c + o.d * d, o.a * e + o.c * f + o.e, o.b * e + o.d * f + o.f};
    }
    bool inverted(Affine& out) const {
        const double det = a * d - b * c;
        if (!std::isfinite(det) || std::abs(det) < 1e-300)
            return false;
        out.a = d / det, out.b = -b / det, out.c = -c / det, out.d = a / det;
        out.e = -(out.a * e + out.c * f);
        out.f = -(out.b * e + out.d * f);
        return true;
    }
    // The largest stretch, so a shape's size in pixels is never underestimated.
    double scale() const { return std::sqrt(std::max(a * a + b * b, c * c + d * d)); }
    Box mapBox(const Box& box) const {
        Box out;
        for (double x : {box.minX, box.maxX})
            for (double y : {box.minY, box.maxY})
                out.add(mapVec({x, y}));
        return out;
    }
    QTransform toQTransform() const { return QTransform(a, b, c, d, e, f); }
};

Affine insertCell(const Insert& ins, Vec2 base, int column, int row) {
    // As placeInInsert, with the turn's sine and cosine once per cell.
    const double cs = std::cos(ins.rotation), sn = std::sin(ins.rotation);
    const double yx = ins.shear * ins.scaleY, yy = ins.scaleY; // the leaning y axis
    const double oy = row * ins.rowSpacing - ins.scaleY * base.y;
    const double ox = column * ins.columnSpacing - ins.scaleX * base.x + ins.shear * oy;
    return {cs * ins.scaleX,
            sn * ins.scaleX,
            cs * yx - sn * yy,
            sn * yx + cs * yy,
            ins.position.x + cs * ox - sn * oy,
            ins.position.y + sn * ox + cs * oy};
}

// Liang-Barsky; false when the segment misses the box.
bool clipSegment(QPointF& p, QPointF& q, const QRectF& r) {
    double t0, t1;
    if (!clipParameters(p.x(), p.y(), q.x(), q.y(), r.left(), r.top(), r.right(), r.bottom(), t0,
                        t1))
        return false;
    const double dx = q.x() - p.x(), dy = q.y() - p.y();
    const QPointF p0 = p;
    p = QPointF(p0.x() + t0 * dx, p0.y() + t0 * dy);
    q = QPointF(p0.x() + t1 * dx, p0.y() + t1 * dy);
    return true;
}

// Sutherland-Hodgman against an axis-aligned box.
void clipRing(std::vector<QPointF>& ring, const QRectF& r) {
    std::vector<QPointF> out;
    auto pass = [&](auto inside, auto cross) {
        out.clear();
        for (size_t i = 0; i < ring.size(); ++i) {
            const QPointF& cur = ring[i];
            const QPointF& prev = ring[(i + ring.size() - 1) % ring.size()];
            const bool ci = inside(cur), pi = inside(prev);
            if (ci != pi)
                out.push_back(cross(prev, cur));
            if (ci)
                out.push_back(cur);
        }
        ring.swap(out);
    };
    auto atX = [](const QPointF& a, const QPointF& b, double x) {
        const double t = (x - a.x()) / (b.x() - a.x());
        return QPointF(x, a.y() + t * (b.y() - a.y()));
    };
    auto atY = [](const QPointF& a, const QPointF& b, double y) {
        const double t = (y - a.y()) / (b.y() - a.y());
        return QPointF(a.x() + t * (b.x() - a.x()), y);
    };
    pass([&](const QPointF& p) { return p.x() >= r.left(); },
         [&](const QPointF& a, const QPointF& b) { return atX(a, b, r.left()); });
    pass([&](const QPointF& p) { return p.x() <= r.right(); },
         [&](const QPointF& a, const QPointF& b) { return atX(a, b, r.right()); });
    pass([&](const QPointF& p) { return p.y() >= r.top(); },
         [&](const QPointF& a, const QPointF& b) { return atY(a, b, r.top()); });
    pass([&](const QPointF& p) { return p.y() <= r.bottom(); },
         [&](const QPointF& a, const QPointF& b) { return atY(a, b, r.bottom()); });
}

constexpr size_t maxGridCells = 16u << 20;

struct Context {
    Affine toScreen;
    double scale = 1;
    int layer = -1;                         // the inserting entity's layer
    Color blockColor = Color::foreground(); // the inserting entity's colour
    // The inserting entity's line: a linetype (or Continuous) with its scale.
    int32_t blockLineType = LineStyle::Continuous;
    double blockLineTypeScale = 1;
    int16_t blockLineWeight = LineWeight::Default;
    int16_t blockAlpha = Alpha::Opaque;
    // Pixels per unit of dash length when not `scale`: model space seen
    // through a paper viewport with $PSLTSCALE draws patterns at paper size.
    double patternScale = 0;
    int depth = 0;
};

// Patterns finer than this many pixels a period show as a continuous line,
// as CAD programs draw them; so do those with elements under a pixel on average.
constexpr double minPatternPixels = 3;
// Beyond this, shapes in a pattern are left to lines that pass through the view.
constexpr double maxShapeReachPx = 4096;
// A model view shows lineweights at a fixed size: pixels of a 96 dpi screen.
constexpr double modelPixelsPerMm = 96 / 25.4;
constexpr double maxModelLineWeightPixels = 16;
constexpr double maxPaperLineWeightPixels = 1000;

// Batches of lines or dots by colour (and for lines, width). Looked up once
// per shape, so a flat open-addressed table instead of a node-based map.
template <typename T> class ColorBuckets {
public:
    std::vector<T>& operator[](uint64_t wanted) {
        size_t h =
            size_t((wanted ^ (wanted >> 29)) * 0x9E3779B97F4A7C15ull >> 40) & (tableSize - 1);
        while (true) {
            auto& [key, index] = m_table[h];
            if (index < 0) {
                key = wanted;
                index = int(m_buckets.size());
                m_buckets.emplace_back(wanted, std::vector<T>());
                return m_buckets.back().second;
            }
            if (key == wanted)
                return m_buckets[index].second;
            h = (h + 1) & (tableSize - 1);
        }
    }
    // Past half the table, lookups slow down; the owner flushes and clears.
    bool full() const { return m_buckets.size() >= tableSize / 2; }
    void clear() {
        std::fill(m_table.begin(), m_table.end(), std::pair<uint64_t, int>(0, -1));
        m_buckets.clear();
    }
    std::vector<std::pair<uint64_t, std::vector<T>>>& all() { return m_buckets; }

private:
    static constexpr size_t tableSize = 4096;
    std::vector<std::pair<uint64_t, int>> m_table =
        std::vector<std::pair<uint64_t, int>>(tableSize, std::pair<uint64_t, int>(0, -1));
    std::vector<std::pair<uint64_t, std::vector<T>>> m_buckets;
};

// Wide lines narrower than this are batched with square ends; wider ones are
// drawn one path at a time with round ends and joins, where the shape shows.
constexpr double maxBatchedWidthPx = 4;

// A line bucket's key: the colour, and the width in quarter pixels above it.
uint64_t lineKey(QRgb rgb, double widthPx) {
    return uint64_t(rgb) | uint64_t(std::lround(widthPx * 4)) << 32;
}
double keyWidth(uint64_t key) {
    return double(key >> 32) / 4;
}

struct FontInfo {
    QFont font;
    double capHeight = 70;
    double descent = 20;
    std::unique_ptr<QFontMetricsF> metrics;
};

class Pass {
public:
    Pass(const RenderScene& scene, PaintBackend& out, const ColorScheme& colors, RenderStats& stats,
         const RenderOptions& options)
        : m_scene(scene), m_doc(scene.document()), m_out(out), m_colors(colors), m_stats(stats),
          m_cancel(options.cancel), m_bandStable(options.bandStable) {
        // Plots and metafiles are painted in their file's order, which pixels
        // written at once, ahead of the batches, would not keep.
        const bool lod = options.levelOfDetail && !m_doc.exactColors;
        if (QImage* image = lod ? out.directPixels() : nullptr) {
            m_bits = image->bits();
            m_bytesPerLine = image->bytesPerLine();
            // Pixels whose centres lie in the back end's bounds.
            m_px0 = std::max(0, int(std::ceil(out.bounds().left() - 0.5)));
            m_py0 = std::max(0, int(std::ceil(out.bounds().top() - 0.5)));
            m_px1 = std::min(image->width(), int(std::ceil(out.bounds().right() - 0.5)));
            m_py1 = std::min(image->height(), int(std::ceil(out.bounds().bottom() - 0.5)));
        }
        m_clip = out.bounds();
        m_picture = options.picture.isEmpty() ? m_clip : options.picture;
        // Lines are clipped a little outside the picture so their ends and
        // wide pens still reach the edge. The whole picture, not the band:
        // a line cut at a band's edge would land on other pixels.
        m_safe = m_picture.adjusted(-64, -64, 64, 64);
        m_clipBox.add(m_clip.left() - 1, m_clip.top() - 1);
        m_clipBox.add(m_clip.right() + 1, m_clip.bottom() + 1);
        m_gridX = int(std::floor(m_clip.left()));
        m_gridY = int(std::floor(m_clip.top()));
        m_gridW = std::max(1, int(std::ceil(m_clip.width())) + 1);
        m_gridH = std::max(1, int(std::ceil(m_clip.height())) + 1);
        // Dots are deduplicated on a grid of the device's pixels; a printer
        // page can be far larger than a screen, so past a bound they are not.
        if (size_t(m_gridW) * m_gridH <= maxGridCells)
            m_dotGrid.assign(size_t(m_gridW) * m_gridH, 0);
        for (size_t i = 0; i < m_doc.layers.size(); ++i)
            if (m_doc.layers[i].name == QLatin1String("0"))
                m_layerZero = int(i);
    }

    void drawBlock(int block, const Context& ctx);
    void flush();
    bool stopped() const { return m_stopped; }
    // Lineweights on paper grow with the zoom: pixels per millimetre of paper.
    void setPaperScale(double pixelsPerMm) { m_paperPixelsPerMm = pixelsPerMm; }

private:
    Color resolve(const Shape& s, int layer, const Context& ctx) const;
    QColor visible(const Color& c) const {
        if (m_doc.exactColors && c.kind == Color::Kind::Rgb)
            return QColor::fromRgb(0xFF000000u | c.rgb);
        return m_colors.visible(c);
    }
    // Batched thin lines are drawn at the next flush; where the file's order
    // is the picture (plots, metafiles), flush before anything drawn at once.
    void keepOrder() {
        if (m_doc.exactColors)
            flush();
    }
    void dot(QPointF p, const QColor& color);
    void dot(QPointF p, QRgb rgb);
    void segment(QPointF p, QPointF q, const QColor& color, double widthPx = 0);
    // Whether a stroke this wide may join the batches (drawn at the next flush).
    bool batched(double widthPx) const {
        return widthPx == 0 || (widthPx < maxBatchedWidthPx && !m_doc.exactColors);
    }
    void drawPath(const std::vector<QPointF>& pts, bool closed, double widthPx, const QColor& color,
                  const ScreenPattern* pattern = nullptr, double phase = 0);
    // The texts and shapes of the pattern's linetype at the marks just dashed.
    void drawPatternTexts(const QColor& color);
    void drawPatternShapes(const QColor& color, double widthPx);
    void drawDashed(const std::vector<QPointF>& pts, bool closed, double widthPx,
                    const QColor& color, const ScreenPattern& pattern, double phase);
    // The shape's linetype with its scale, ByLayer and ByBlock followed.
    std::pair<int32_t, double> lineType(const Shape& s, int layer, const Context& ctx) const;
    int16_t lineWeight(const Shape& s, int layer, const Context& ctx) const;
    // The shape's opacity, ByLayer and ByBlock followed.
    int16_t alpha(const Shape& s, int layer, const Context& ctx) const {
        const int16_t a = s.lineStyle < m_doc.lineStyles.size()
                              ? m_doc.lineStyles[s.lineStyle].alpha
                              : Alpha::ByLayer;
        if (a == Alpha::ByLayer)
            return layer >= 0 && layer < int(m_doc.layers.size()) ? m_doc.layers[layer].alpha
                                                                  : Alpha::Opaque;
        if (a == Alpha::ByBlock)
            return ctx.depth > 0 ? ctx.blockAlpha : Alpha::Opaque;
        return std::clamp<int16_t>(a, 0, Alpha::Opaque);
    }
    // The pattern in pixels into m_pattern; null when the line is drawn continuous.
    const ScreenPattern* pattern(const Shape& s, int layer, const Context& ctx);
    void drawPolyline(const Block& b, const Shape& s, int layer, const Context& ctx,
                      const QColor& color);
    void drawPolygon(const Block& b, const Shape& s, const Context& ctx, const QColor& color,
                     const Gradient* gradient = nullptr);
    void drawArc(const Arc& a, const Shape& s, int layer, const Context& ctx, const QColor& color);
    void drawText(const Text& t, const Context& ctx, const QColor& color);
    void drawDecorations(const Text& t, const FontInfo& f, const Affine& glyphToScreen,
                         double heightPx, const QColor& color);
    void drawInsert(const Insert& ins, const Shape& shape, const Context& ctx, int layer,
                    const Color& color);
    void drawPoint(QPointF p, const Context& ctx, const QColor& color);
    void drawImage(const Image& image, const Context& ctx);
    void drawPicture(const Picture& picture, const Context& ctx);
    void drawViewport(const Viewport& vp, const Context& ctx, const QColor& color, bool border);
    bool frozenHere(int layer) const {
        return m_frozenHere &&
               std::binary_search(m_frozenHere->begin(), m_frozenHere->end(), int32_t(layer));
    }
    // A polyline's own width wins over its lineweight.
    double penPixels(const Shape& s, int layer, const Context& ctx) const {
        if (s.width > 0) {
            const double px = s.width * ctx.scale;
            return px >= 1.5 ? px : 0.0;
        }
        return m_doc.showLineWeights ? lineWeightPixels(lineWeight(s, layer, ctx)) : 0.0;
    }
    double lineWeightPixels(int16_t hundredthsMm) const;
    FontInfo& font(const QString& family);

    const RenderScene& m_scene;
    const Document& m_doc;
    PaintBackend& m_out;
    const ColorScheme& m_colors;
    RenderStats& m_stats;
    QRectF m_clip, m_safe;
    QRectF m_picture; // the whole picture; m_clip may be a band of it
    Box m_clipBox;
    const std::atomic<bool>* m_cancel = nullptr;
    bool m_stopped = false;
    bool m_bandStable = false;
    // The image's pixels for shapes drawn as pixels; null without level of detail.
    uchar* m_bits = nullptr;
    qsizetype m_bytesPerLine = 0;
    int m_px0 = 0, m_py0 = 0, m_px1 = 0, m_py1 = 0;
    std::array<std::pair<uint32_t, QRgb>, 256> m_rgbCache{};
    // Opaque colours as shown, remembered: most shapes share a few.
    QRgb visibleRgb(const Color& c) {
        if (c.kind != Color::Kind::Rgb)
            return visible(c).rgba();
        auto& slot = m_rgbCache[(c.rgb * 0x9E3779B1u) >> 24];
        const uint32_t key = c.rgb | 0x1000000u; // never the empty slot's 0
        if (slot.first != key)
            slot = {key, visible(c).rgba()};
        return slot.second;
    }
    bool writesPixels() { return m_bits && m_out.directPixels(); }
    void putPixel(int x, int y, QRgb rgb, int side) {
        if (side <= 1) {
            if (x >= m_px0 && x < m_px1 && y >= m_py0 && y < m_py1)
                reinterpret_cast<QRgb*>(m_bits + y * m_bytesPerLine)[x] = rgb;
            return;
        }
        const int x0 = std::max(m_px0, x - side / 2), x1 = std::min(m_px1, x - side / 2 + side);
        const int y0 = std::max(m_py0, y - side / 2), y1 = std::min(m_py1, y - side / 2 + side);
        for (int yy = y0; yy < y1; ++yy) {
            QRgb* row = reinterpret_cast<QRgb*>(m_bits + yy * m_bytesPerLine);
            for (int xx = x0; xx < x1; ++xx)
                row[xx] = rgb;
        }
    }
    // False when it drew nothing: not a number, or not tiny.
    bool tinyLine(QPointF a, QPointF b, QRgb rgb, int side);
    // A shape a few pixels across as the pixels it covers; false when it
    // needs the full drawing (see-through, patterned, masking, gradient...).
    bool drawTiny(const Block& b, uint32_t index, const Shape& s, int layer, const Context& ctx,
                  const Color& color);
    // A tiny insert from its block's footprint; false when it needs the full drawing.
    bool drawFootprint(const BlockFootprint& footprint, const Context& child, const Color& color);
    // Whether the owner has given up on this picture; polled now and then.
    bool cancelled() {
        if (!m_stopped && m_cancel && m_cancel->load(std::memory_order_relaxed))
            m_stopped = true;
        return m_stopped;
    }
    int m_layerZero = -1;
    std::vector<int> m_path; // blocks being drawn, outermost first
    ColorBuckets<QLineF> m_lines;
    ColorBuckets<QPointF> m_dots;
    std::vector<QRgb> m_dotGrid;
    int m_gridX = 0, m_gridY = 0, m_gridW = 1, m_gridH = 1;
    std::vector<QPointF> m_scratch;
    std::map<QString, FontInfo> m_fonts;
    size_t m_cellBudget = 4'000'000; // array cells visited in one pass
    double m_paperPixelsPerMm = 0;   // 0 in model space
    ScreenPattern m_pattern;
    // The linetype in m_pattern when texts or shapes mark it, and its pixels per unit.
    const LineType* m_patternMarks = nullptr;
    double m_patternPixels = 1;
    std::vector<QPointF> m_shapePoints;
    DashedPath m_dashed;
    // Layers frozen in the viewport being drawn; null outside viewports.
    const std::vector<int32_t>* m_frozenHere = nullptr;
};

constexpr size_t batchLimit = 8192;
// With level of detail, shapes smaller than this many pixels, and pens no
// wider, are written as pixels.
constexpr double tinyPixels = 4;
constexpr double maxTinyPen = 8;
// Band-stable passes flush at every this many shapes of a block.
constexpr uint32_t stableChunk = 8192;

Color Pass::resolve(const Shape& s, int layer, const Context& ctx) const {
    Color c = s.color;
    if (c.kind == Color::Kind::ByLayer)
        c = layer >= 0 && layer < int(m_doc.layers.size()) ? m_doc.layers[layer].color
                                                           : Color::foreground();
    else if (c.kind == Color::Kind::ByBlock)
        c = ctx.depth > 0 ? ctx.blockColor : Color::foreground();
    if (c.kind != Color::Kind::Rgb && c.kind != Color::Kind::Background)
        c = Color::foreground();
    return c;
}

std::pair<int32_t, double> Pass::lineType(const Shape& s, int layer, const Context& ctx) const {
    const LineStyle st =
        s.lineStyle < m_doc.lineStyles.size() ? m_doc.lineStyles[s.lineStyle] : LineStyle{};
    switch (st.lineType) {
    case LineStyle::ByLayer:
        if (layer >= 0 && layer < int(m_doc.layers.size()))
            return {m_doc.layers[layer].lineType, st.scale};
        return {LineStyle::Continuous, st.scale};
    case LineStyle::ByBlock:
        // Outside any block there is nothing to take it from: continuous.
        if (ctx.depth > 0)
            return {ctx.blockLineType, st.scale * ctx.blockLineTypeScale};
        return {LineStyle::Continuous, st.scale};
    default:
        return {st.lineType, st.scale};
    }
}

int16_t Pass::lineWeight(const Shape& s, int layer, const Context& ctx) const {
    int16_t w = s.lineWeight;
    if (w == LineWeight::ByLayer)
        w = layer >= 0 && layer < int(m_doc.layers.size()) ? m_doc.layers[layer].lineWeight
                                                           : LineWeight::Default;
    else if (w == LineWeight::ByBlock)
        w = ctx.depth > 0 ? ctx.blockLineWeight : LineWeight::Default;
    return w;
}

double Pass::lineWeightPixels(int16_t w) const {
    if (w < 0)
        w = m_doc.defaultLineWeight;
    const double mm = std::clamp<int>(w, 0, LineWeight::Max) / 100.0;
    if (m_paperPixelsPerMm > 0) {
        const double px = std::min(mm * m_paperPixelsPerMm, maxPaperLineWeightPixels);
        return px >= 1.5 ? px : 0.0;
    }
    // 0.25 mm and less stay one pixel, as CAD programs show them.
    const double px = std::min(std::round(mm * modelPixelsPerMm), maxModelLineWeightPixels);
    return px >= 2 ? px : 0.0;
}

const ScreenPattern* Pass::pattern(const Shape& s, int layer, const Context& ctx) {
    if (m_doc.lineTypes.empty())
        return nullptr;
    const auto [type, scale] = lineType(s, layer, ctx);
    if (type < 0 || type >= int(m_doc.lineTypes.size()))
        return nullptr;
    const LineType& lt = m_doc.lineTypes[size_t(type)];
    const double k =
        scale * m_doc.lineTypeScale * (ctx.patternScale > 0 ? ctx.patternScale : ctx.scale);
    const double period = lt.period * k;
    if (lt.dashes.empty() || !std::isfinite(period) || period < minPatternPixels ||
        period < double(lt.dashes.size()))
        return nullptr;
    m_pattern.dashes.resize(lt.dashes.size());
    for (size_t i = 0; i < lt.dashes.size(); ++i)
        m_pattern.dashes[i] = lt.dashes[i] * k;
    m_pattern.period = period;
    m_pattern.marked.clear();
    m_patternMarks = lt.texts.empty() && lt.shapes.empty() ? nullptr : &lt;
    m_patternPixels = k;
    if (m_patternMarks) {
        m_pattern.marked.assign(lt.dashes.size(), false);
        for (const LineTypeText& t : lt.texts)
            if (t.element < lt.dashes.size())
                m_pattern.marked[t.element] = true;
        for (const LineTypeShape& t : lt.shapes)
            if (t.element < lt.dashes.size() && t.strokes)
                m_pattern.marked[t.element] = true;
    }
    return &m_pattern;
}

void Pass::dot(QPointF p, const QColor& color) {
    dot(p, color.rgba());
}

void Pass::dot(QPointF p, QRgb rgb) {
    // Off the device (or not a number): nothing to draw, and no integer to make.
    if (!(p.x() >= m_gridX && p.x() < m_gridX + m_gridW && p.y() >= m_gridY &&
          p.y() < m_gridY + m_gridH))
        return;
    const int x = pixelFloor(p.x()) - m_gridX, y = pixelFloor(p.y()) - m_gridY;
    if (x < 0 || y < 0 || x >= m_gridW || y >= m_gridH)
        return;
    if (qAlpha(rgb) == 255 && writesPixels()) {
        putPixel(x + m_gridX, y + m_gridY, rgb, 1);
        ++m_stats.dots;
        return;
    }
    if (!m_dotGrid.empty()) {
        QRgb& cell = m_dotGrid[size_t(y) * m_gridW + x];
        if (cell == rgb)
            return; // the same dot is there already
        cell = rgb;
    }
    if (m_dots.full())
        flush();
    auto& bucket = m_dots[rgb];
    bucket.emplace_back(x + m_gridX + 0.5, y + m_gridY + 0.5);
    ++m_stats.dots;
    if (bucket.size() >= batchLimit && !m_bandStable) {
        m_out.drawPoints(QColor::fromRgba(rgb), bucket.data(), bucket.size());
        bucket.clear();
    }
}

void Pass::segment(QPointF p, QPointF q, const QColor& color, double widthPx) {
    if (!m_safe.contains(p) || !m_safe.contains(q)) {
        if (!std::isfinite(p.x()) || !std::isfinite(p.y()) || !std::isfinite(q.x()) ||
            !std::isfinite(q.y()) || !clipSegment(p, q, m_safe))
            return;
    }
    if (m_lines.full())
        flush();
    auto& bucket = m_lines[lineKey(color.rgba(), widthPx)];
    bucket.emplace_back(p, q);
    if (bucket.size() >= batchLimit && !m_bandStable) {
        m_out.drawLines(color, widthPx, bucket.data(), bucket.size());
        bucket.clear();
    }
}

void Pass::flush() {
    if (m_bandStable) {
        // Reorders the buckets behind their lookup table; clear() below resets both.
        auto byKey = [](const auto& a, const auto& b) { return a.first < b.first; };
        std::sort(m_lines.all().begin(), m_lines.all().end(), byKey);
        std::sort(m_dots.all().begin(), m_dots.all().end(), byKey);
    }
    for (auto& [key, lines] : m_lines.all())
        if (!lines.empty()) {
            m_out.drawLines(QColor::fromRgba(QRgb(key)), keyWidth(key), lines.data(), lines.size());
            lines.clear();
        }
    for (auto& [rgb, dots] : m_dots.all())
        if (!dots.empty()) {
            m_out.drawPoints(QColor::fromRgba(QRgb(rgb)), dots.data(), dots.size());
            dots.clear();
        }
    m_lines.clear();
    m_dots.clear();
}

void Pass::drawDashed(const std::vector<QPointF>& pts, bool closed, double widthPx,
                      const QColor& color, const ScreenPattern& pattern, double phase) {
    m_dashed.clear();
    // Shapes of lines just outside the device may still reach into it.
    QRectF clip = m_safe;
    if (&pattern == &m_pattern && m_patternMarks && m_patternMarks->shapeReach > 0) {
        const double r = std::min(m_patternMarks->shapeReach * m_patternPixels, maxShapeReachPx);
        clip.adjust(-r, -r, r, r);
    }
    dashPath(pts.data(), pts.size(), closed, pattern, clip, m_dashed, phase);
    const bool batch = batched(widthPx);
    if (!batch)
        keepOrder();
    size_t at = 0;
    for (uint32_t n : m_dashed.dashSizes) {
        const QPointF* piece = m_dashed.points.data() + at;
        at += n;
        if (!batch) {
            m_out.drawPolyline(color, widthPx, piece, n, false);
            continue;
        }
        for (uint32_t i = 0; i + 1 < n; ++i)
            segment(piece[i], piece[i + 1], color, widthPx);
    }
    if (!m_dashed.marks.empty() && m_patternMarks) {
        if (!m_patternMarks->texts.empty())
            drawPatternTexts(color);
        if (!m_patternMarks->shapes.empty())
            drawPatternShapes(color, widthPx);
    }
    for (const QPointF& p : m_dashed.dots) {
        if (widthPx > 0 && batch) {
            segment(p, p + QPointF(0.01, 0), color, widthPx);
        } else if (widthPx > 0) {
            // A round pen end on a very short stroke: a dot of the pen's size.
            const QPointF stroke[2] = {p, p + QPointF(0.01, 0)};
            m_out.drawPolyline(color, widthPx, stroke, 2, false);
        } else {
            dot(p, color);
        }
    }
}

void Pass::drawPatternTexts(const QColor& color) {
    // Device pixels as drawing units with y up, so the texts take the usual way.
    Context pixels;
    pixels.toScreen = Affine{1, 0, 0, -1, 0, 0};
    const double k = m_patternPixels;
    for (const DashedPath::Mark& m : m_dashed.marks)
        for (const LineTypeText& lt : m_patternMarks->texts) {
            if (lt.element != m.element)
                continue;
            const Vec2 along{m.unit.x(), -m.unit.y()}, left{-along.y, along.x};
            Text t;
            t.text = lt.text;
            t.height = lt.height * k;
            t.rotation = (lt.absolute ? 0 : std::atan2(along.y, along.x)) + lt.rotation;
            t.position = {m.at.x() + (along.x * lt.dx + left.x * lt.dy) * k,
                          -m.at.y() + (along.y * lt.dx + left.y * lt.dy) * k};
            drawText(t, pixels, color);
        }
}

void Pass::drawPatternShapes(const QColor& color, double widthPx) {
    const double k = m_patternPixels;
    for (const DashedPath::Mark& m : m_dashed.marks)
        for (const LineTypeShape& shape : m_patternMarks->shapes) {
            if (shape.element != m.element || !shape.strokes)
                continue;
            // Device pixels with y up, as the shape's units are, and back.
            const Vec2 along{m.unit.x(), -m.unit.y()}, left{-along.y, along.x};
            const double angle =
                (shape.absolute ? 0 : std::atan2(along.y, along.x)) + shape.rotation;
            const double c = std::cos(angle) * shape.scale * k;
            const double s = std::sin(angle) * shape.scale * k;
            const double ox = m.at.x() + (along.x * shape.dx + left.x * shape.dy) * k;
            const double oy = -m.at.y() + (along.y * shape.dx + left.y * shape.dy) * k;
            for (const std::vector<Vec2>& stroke : shape.strokes->strokes) {
                m_shapePoints.clear();
                for (const Vec2& p : stroke)
                    m_shapePoints.emplace_back(ox + c * p.x - s * p.y, -(oy + s * p.x + c * p.y));
                drawPath(m_shapePoints, false, widthPx, color);
            }
        }
}

void Pass::drawPath(const std::vector<QPointF>& pts, bool closed, double widthPx,
                    const QColor& color, const ScreenPattern* pattern, double phase) {
    if (pts.empty())
        return;
    if (pts.size() == 1) {
        dot(pts[0], color);
        return;
    }
    // A path too short for one whole period is drawn continuous, as CAD
    // programs do, so that short lines never vanish into a gap.
    if (pattern && (phase > 0 || pathLength(pts.data(), pts.size(), closed) >= pattern->period)) {
        drawDashed(pts, closed, widthPx, color, *pattern, phase);
        return;
    }
    if (!batched(widthPx)) {
        const bool inside = std::all_of(pts.begin(), pts.end(),
                                        [this](const QPointF& p) { return m_safe.contains(p); });
        keepOrder();
        if (inside) {
            m_out.drawPolyline(color, widthPx, pts.data(), pts.size(), closed);
            return;
        }
        // Far outside the device: draw the clipped segments one by one.
        const size_t n = closed ? pts.size() : pts.size() - 1;
        for (size_t i = 0; i < n; ++i) {
            QPointF p = pts[i], q = pts[(i + 1) % pts.size()];
            if (clipSegment(p, q, m_safe)) {
                const QPointF seg[2] = {p, q};
                m_out.drawPolyline(color, widthPx, seg, 2, false);
            }
        }
        return;
    }
    for (size_t i = 0; i + 1 < pts.size(); ++i)
        segment(pts[i], pts[i + 1], color, widthPx);
    if (closed && pts.size() > 2)
        segment(pts.back(), pts.front(), color, widthPx);
}

void Pass::drawPolyline(const Block& b, const Shape& s, int layer, const Context& ctx,
                        const QColor& color) {
    const size_t end = std::min(b.points.size(), size_t(s.first) + s.count);
    m_scratch.clear();
    for (size_t i = s.first; i < end; ++i)
        m_scratch.push_back(ctx.toScreen.map(b.points[i]));
    drawPath(m_scratch, s.flags & Closed, penPixels(s, layer, ctx), color, pattern(s, layer, ctx));
}

void Pass::drawPolygon(const Block& b, const Shape& s, const Context& ctx, const QColor& color,
                       const Gradient* gradient) {
    const size_t first = s.first;
    const size_t end = std::min(b.points.size(), first + s.count);
    if (end <= first)
        return;
    // Ring starts are point indexes into the block; those inside this
    // polygon split it into rings.
    std::vector<size_t> cuts{first};
    auto it = std::upper_bound(b.ringStarts.begin(), b.ringStarts.end(), uint32_t(first));
    for (; it != b.ringStarts.end() && *it < end; ++it)
        cuts.push_back(*it);
    cuts.push_back(end);
    std::vector<QPointF> all;
    std::vector<uint32_t> sizes;
    std::vector<QPointF> ring;
    for (size_t r = 0; r + 1 < cuts.size(); ++r) {
        ring.clear();
        bool far = false;
        for (size_t i = cuts[r]; i < cuts[r + 1]; ++i) {
            ring.push_back(ctx.toScreen.map(b.points[i]));
            far = far || !m_safe.contains(ring.back());
        }
        if (far)
            clipRing(ring, m_safe);
        if (ring.size() < 3)
            continue;
        all.insert(all.end(), ring.begin(), ring.end());
        sizes.push_back(uint32_t(ring.size()));
    }
    if (sizes.empty())
        return;
    keepOrder();
    if (!gradient) {
        m_out.fillPolygon(color, all.data(), sizes.data(), sizes.size());
        return;
    }
    // Colours of the layer or block come from the shape's own.
    auto shade = [&](const Color& c) {
        if (c.kind == Color::Kind::ByLayer || c.kind == Color::Kind::ByBlock)
            return color;
        QColor q = visible(c);
        q.setAlpha(color.alpha());
        return q;
    };
    const GradientGeometry geo = gradientGeometry(*gradient, b.points.data() + first, end - first,
                                                  shade(gradient->first), shade(gradient->second));
    const QPointF from = ctx.toScreen.map(geo.from);
    if (geo.radial) {
        QRadialGradient brush(from, geo.radius * ctx.scale);
        brush.setStops(geo.stops);
        m_out.fillGradient(brush, all.data(), sizes.data(), sizes.size());
    } else {
        QLinearGradient brush(from, ctx.toScreen.map(geo.to));
        brush.setStops(geo.stops);
        m_out.fillGradient(brush, all.data(), sizes.data(), sizes.size());
    }
}

// The gradient of shape `index` in `b`, if it has one.
const Gradient* gradientOf(const Block& b, uint32_t index) {
    const auto it = std::lower_bound(b.gradients.begin(), b.gradients.end(), index,
                                     [](const Gradient& g, uint32_t i) { return g.shape < i; });
    return it != b.gradients.end() && it->shape == index ? &*it : nullptr;
}

void Pass::drawArc(const Arc& a, const Shape& s, int layer, const Context& ctx,
                   const QColor& color) {
    constexpr double twoPi = 2 * std::numbers::pi;
    constexpr int maxSegments = 2048;
    double t0 = a.startAngle, sweep = a.endAngle - a.startAngle;
    if (!std::isfinite(t0) || !std::isfinite(sweep) || sweep == 0)
        return;
    if (sweep < 0) { // the same curve, walked the other way
        t0 = a.endAngle;
        sweep = -sweep;
    }
    sweep = std::min(sweep, twoPi);
    const double radiusPx = std::max(std::abs(a.radiusX), std::abs(a.radiusY)) * ctx.scale;
    // Chord error of about a quarter pixel.
    const double step = radiusPx > 0.5 ? 2 * std::acos(1 - 0.25 / radiusPx) : 1.0;
    const double c = std::cos(a.rotation), sn = std::sin(a.rotation);
    const double widthPx = penPixels(s, layer, ctx);
    const ScreenPattern* dashes = pattern(s, layer, ctx);
    // (cos t, sin t) on the unit circle to the arc's point at parameter t.
    const Affine unitToScreen = Affine{a.radiusX * c, a.radiusX * sn, -a.radiusY * sn,
                                       a.radiusY * c, a.center.x,     a.center.y}
                                    .then(ctx.toScreen);

    auto tessellate = [&](double from, double span) {
        // Compared as a double first: a vast radius makes the step vanish.
        const double wanted = std::ceil(span / step);
        const int n = wanted < maxSegments ? std::max(4, int(wanted)) : maxSegments;
        // Step the angle by rotation rather than a sine and cosine per point.
        const double dc = std::cos(span / n), ds = std::sin(span / n);
        double ct = std::cos(from), st = std::sin(from);
        m_scratch.clear();
        for (int i = 0; i <= n; ++i) {
            m_scratch.push_back(unitToScreen.map(Vec2{ct, st}));
            const double next = ct * dc - st * ds;
            st = st * dc + ct * ds;
            ct = next;
        }
        // A part of a large curve keeps its place in the pattern (the mean
        // radius stands in for an ellipse's arc length).
        const double meanRadiusPx = (std::abs(a.radiusX) + std::abs(a.radiusY)) / 2 * ctx.scale;
        drawPath(m_scratch, false, widthPx, color, dashes, (from - t0) * meanRadiusPx);
    };

    Affine toUnit;
    if (sweep / step > maxSegments && unitToScreen.inverted(toUnit)) {
        // Zoomed far into a large curve: evenly spaced chords would stray
        // from it by many pixels, so draw only the part that can show, finely.
        const QPointF corners[4] = {m_safe.topLeft(), m_safe.topRight(), m_safe.bottomRight(),
                                    m_safe.bottomLeft()};
        Vec2 q[4];
        for (int i = 0; i < 4; ++i)
            q[i] = toUnit.mapVec({corners[i].x(), corners[i].y()});
        int positive = 0;
        for (int i = 0; i < 4; ++i) {
            const Vec2 p = q[i], r = q[(i + 1) % 4];
            positive += (r.x - p.x) * (-p.y) - (r.y - p.y) * (-p.x) > 0;
        }
        const bool centreInView = positive == 0 || positive == 4;
        if (!centreInView) {
            // Seen from the centre the view spans less than half a turn.
            const double ref = std::atan2(q[0].y, q[0].x);
            double lo = 0, hi = 0;
            for (const Vec2& p : q) {
                const double d = std::remainder(std::atan2(p.y, p.x) - ref, twoPi);
                lo = std::min(lo, d);
                hi = std::max(hi, d);
            }
            double wlo = ref + lo, whi = ref + hi;
            const double k = std::ceil((t0 - whi) / twoPi);
            wlo += k * twoPi;
            whi += k * twoPi;
            for (int piece = 0; piece < 2; ++piece, wlo += twoPi, whi += twoPi) {
                const double from = std::max(t0, wlo), to = std::min(t0 + sweep, whi);
                if (to > from)
                    tessellate(from, to - from);
            }
            return;
        }
    }
    tessellate(t0, sweep);
}

FontInfo& Pass::font(const QString& family) {
    auto it = m_fonts.find(family);
    if (it != m_fonts.end())
        return it->second;
    FontInfo& info = m_fonts[family];
    info.font = drawingFont(family);
    info.metrics = std::make_unique<QFontMetricsF>(info.font);
    info.capHeight = info.metrics->capHeight() > 0 ? info.metrics->capHeight() : 70;
    info.descent = info.metrics->descent();
    return info;
}

void Pass::drawText(const Text& t, const Context& ctx, const QColor& color) {
    if (t.text.isEmpty() || !std::isfinite(t.height) || t.height == 0)
        return;
    const double heightPx = std::abs(t.height) * ctx.scale;
    if (heightPx < 1) {
        ++m_stats.skipped;
        return;
    }
    FontInfo& f = font(t.fontFamily);
    // Signed: a negative height mirrors the glyphs about the baseline, a
    // negative width factor runs them backwards.
    const double k = t.height / f.capHeight; // drawing units per font pixel
    const double wf = std::isfinite(t.widthFactor) && t.widthFactor != 0 ? t.widthFactor : 1.0;
    const double width = f.metrics->horizontalAdvance(t.text) * std::abs(k) * wf;
    const double ox = alignedStart(t, width);
    double oy = 0;
    switch (t.vAlign) {
    case Text::Baseline:
        oy = 0;
        break;
    case Text::Bottom:
        oy = f.descent * k;
        break;
    case Text::Middle:
        oy = -t.height / 2;
        break;
    case Text::Top:
        oy = -t.height;
        break;
    }
    const double cs = std::cos(t.rotation), sn = std::sin(t.rotation);
    const Affine toBlock{cs, sn, -sn, cs, t.position.x, t.position.y};
    const Affine toScreen = toBlock.then(ctx.toScreen);
    if (heightPx < 4) {
        // Too small to read: a stroke where the text would be.
        segment(toScreen.map(Vec2{ox, oy + t.height / 2}),
                toScreen.map(Vec2{ox + width, oy + t.height / 2}), color);
        return;
    }
    const double shear = std::isfinite(t.oblique) ? std::tan(t.oblique) : 0.0;
    const Affine glyphToLocal{std::abs(k) * wf, 0, -shear * std::abs(k), -k, ox, oy};
    const Affine glyphToScreen = glyphToLocal.then(toScreen);
    TextRun run;
    run.text = t.text;
    run.font = f.font;
    run.transform = glyphToScreen.toQTransform();
    keepOrder();
    m_out.drawText(color, run);
    drawDecorations(t, f, glyphToScreen, heightPx, color);
}

void Pass::drawDecorations(const Text& t, const FontInfo& f, const Affine& glyphToScreen,
                           double heightPx, const QColor& color) {
    const double thickness = kDecorationThickness * heightPx;
    const double widthPx = thickness < 1.5 ? 0 : thickness;
    const qsizetype n = t.text.size();
    for (const Text::Decoration& d : t.decorations) {
        const qsizetype from = std::clamp<qsizetype>(d.from, 0, n);
        const qsizetype to = std::clamp<qsizetype>(d.to, from, n);
        if (to == from)
            continue;
        // Glyph pixels, y down from the baseline, as the glyphs are laid out.
        const double x0 = f.metrics->horizontalAdvance(t.text.left(from));
        const double x1 = x0 + f.metrics->horizontalAdvance(t.text.mid(from, to - from));
        const double y = -decorationLevel(d.line) * f.capHeight;
        segment(glyphToScreen.map(Vec2{x0, y}), glyphToScreen.map(Vec2{x1, y}), color, widthPx);
    }
}

void Pass::drawPoint(QPointF p, const Context& ctx, const QColor& color) {
    const int mode = m_doc.pointMode;
    const int figure = mode & 7;
    const bool circle = mode & 32, box = mode & 64;
    const double size = m_doc.pointSize;
    double px = size > 0 ? size * ctx.scale
                         : m_picture.height() * (size < 0 ? std::min(-size, 100.0) / 100 : 0.05);
    px = std::min(px, 4 * std::max(m_picture.width(), m_picture.height()));
    if (!(px >= 3)) {
        if (figure != 1 || circle || box)
            dot(p, color);
        return;
    }
    const double h = px / 2;
    switch (figure) {
    case 0:
        dot(p, color);
        break;
    case 2:
        segment({p.x() - h, p.y()}, {p.x() + h, p.y()}, color);
        segment({p.x(), p.y() - h}, {p.x(), p.y() + h}, color);
        break;
    case 3:
        segment({p.x() - h, p.y() - h}, {p.x() + h, p.y() + h}, color);
        segment({p.x() - h, p.y() + h}, {p.x() + h, p.y() - h}, color);
        break;
    case 4:
        segment(p, {p.x(), p.y() - h}, color);
        break;
    default:
        break;
    }
    if (circle) {
        constexpr int steps = 32;
        QPointF last{p.x() + h, p.y()};
        for (int i = 1; i <= steps; ++i) {
            const double a = 2 * std::numbers::pi * i / steps;
            const QPointF next{p.x() + h * std::cos(a), p.y() + h * std::sin(a)};
            segment(last, next, color);
            last = next;
        }
    }
    if (box) {
        const QPointF c[4] = {{p.x() - h, p.y() - h},
                              {p.x() + h, p.y() - h},
                              {p.x() + h, p.y() + h},
                              {p.x() - h, p.y() + h}};
        for (int i = 0; i < 4; ++i)
            segment(c[i], c[(i + 1) % 4], color);
    }
}

void Pass::drawImage(const Image& image, const Context& ctx) {
    if (!image.image || image.image->isNull())
        return;
    const QTransform local(image.u.x, image.u.y, image.v.x, image.v.y, image.origin.x,
                           image.origin.y);
    const QTransform toDevice = local * ctx.toScreen.toQTransform();
    if (!toDevice.isInvertible())
        return;
    QPolygonF clip;
    if (image.clip.size() >= 3)
        for (Vec2 p : image.clip)
            clip << ctx.toScreen.map(p);
    flush(); // an image hides what was drawn before it
    // Magnified pixels stay crisp; reduced ones are smoothed.
    const bool smooth = std::hypot(toDevice.m11(), toDevice.m12()) < 1.0;
    m_out.drawPlacedImage(toDevice, *image.image, clip, smooth);
}

void Pass::drawPicture(const Picture& picture, const Context& ctx) {
    if (!picture.picture)
        return;
    const QTransform local(picture.u.x, picture.u.y, picture.v.x, picture.v.y, picture.origin.x,
                           picture.origin.y);
    const QTransform toDevice = local * ctx.toScreen.toQTransform();
    if (!toDevice.isInvertible())
        return;
    flush();
    m_out.drawPicture(toDevice, *picture.picture);
}

void Pass::drawViewport(const Viewport& vp, const Context& ctx, const QColor& color, bool border) {
    const double hw = vp.width / 2, hh = vp.height / 2;
    if (!(hw > 0) || !(hh > 0) || !std::isfinite(hw) || !std::isfinite(hh))
        return;
    std::vector<QPointF> outline;
    for (Vec2 p :
         {Vec2{vp.center.x - hw, vp.center.y - hh}, Vec2{vp.center.x + hw, vp.center.y - hh},
          Vec2{vp.center.x + hw, vp.center.y + hh}, Vec2{vp.center.x - hw, vp.center.y + hh}})
        outline.push_back(ctx.toScreen.map(p));
    QPolygonF window;
    if (vp.clip.size() >= 3)
        for (Vec2 p : vp.clip)
            window << ctx.toScreen.map(p);
    else
        window = QPolygonF(QList<QPointF>(outline.begin(), outline.end()));

    // A viewport shows the model, never paper space: none inside another
    // viewport, and none that would show a block being drawn.
    const bool content = !m_frozenHere && vp.block >= 0 && vp.block < int(m_doc.blocks.size()) &&
                         std::find(m_path.begin(), m_path.end(), vp.block) == m_path.end() &&
                         vp.viewHeight > 0 && std::isfinite(vp.viewHeight) &&
                         std::isfinite(vp.twist);
    const QRectF shown = window.boundingRect().intersected(m_clip);
    if (content && !shown.isEmpty()) {
        const double k = vp.height / vp.viewHeight;
        const double c = std::cos(vp.twist), s = std::sin(vp.twist);
        // p -> center + k * (R(twist) * (p - target) - viewCenter)
        const Affine modelToPaper{
            k * c,
            k * s,
            -k * s,
            k * c,
            vp.center.x - k * (vp.viewCenter.x + c * vp.target.x - s * vp.target.y),
            vp.center.y - k * (vp.viewCenter.y + s * vp.target.x + c * vp.target.y)};
        Context model;
        model.toScreen = modelToPaper.then(ctx.toScreen);
        model.scale = model.toScreen.scale();
        // With $PSLTSCALE a dash keeps its length on paper whatever the view's scale.
        if (m_doc.paperLineTypeScale)
            model.patternScale = ctx.patternScale > 0 ? ctx.patternScale : ctx.scale;
        flush();
        m_out.pushClip(window);
        // Culling looks only at what the window shows.
        const Box savedBox = m_clipBox;
        Box box;
        box.add(shown.left() - 1, shown.top() - 1);
        box.add(shown.right() + 1, shown.bottom() + 1);
        m_clipBox = box;
        m_frozenHere = &vp.frozenLayers;
        drawBlock(vp.block, model);
        flush();
        m_frozenHere = nullptr;
        m_clipBox = savedBox;
        m_out.popClip();
    }
    // A clipped window's outline is an entity of the layout, drawn as such.
    if (border && vp.clip.size() < 3)
        drawPath(outline, true, 0, color);
}

void Pass::drawInsert(const Insert& ins, const Shape& shape, const Context& ctx, int layer,
                      const Color& color) {
    if (ins.block < 0 || ins.block >= int(m_doc.blocks.size()))
        return;
    if (ctx.depth + 1 > Renderer::maxInsertDepth ||
        std::find(m_path.begin(), m_path.end(), ins.block) != m_path.end()) {
        ++m_stats.skipped; // a cycle, or nesting deeper than any real drawing
        return;
    }
    const SpatialIndex& index = m_scene.index(ins.block);
    const Box inner = index.total();
    if (!inner.isValid())
        return;
    const Vec2 base = m_doc.blocks[ins.block].basePoint;
    const int cols = std::max(1, ins.columns), rows = std::max(1, ins.rows);

    Context child;
    child.layer = layer;
    child.blockColor = color;
    child.depth = ctx.depth + 1;
    std::tie(child.blockLineType, child.blockLineTypeScale) = lineType(shape, layer, ctx);
    child.blockLineWeight = lineWeight(shape, layer, ctx);
    child.blockAlpha = alpha(shape, layer, ctx);

    auto drawCell = [&](int col, int row) {
        child.toScreen = insertCell(ins, base, col, row).then(ctx.toScreen);
        child.scale = child.toScreen.scale();
        child.patternScale = ctx.patternScale > 0 ? ctx.patternScale * child.scale / ctx.scale : 0;
        const Box screen = child.toScreen.mapBox(inner);
        if (!screen.intersects(m_clipBox))
            return;
        if (std::max(screen.width(), screen.height()) < 1) {
            dot({(screen.minX + screen.maxX) / 2, (screen.minY + screen.maxY) / 2},
                visibleRgb(color));
            return;
        }
        if (m_bits && std::max(screen.width(), screen.height()) < tinyPixels &&
            ins.clip.size() < 3 && drawFootprint(index.footprint(), child, color))
            return;
        if (ins.clip.size() < 3) {
            drawBlock(ins.block, child);
            return;
        }
        QPolygonF clip;
        for (Vec2 p : ins.clip)
            clip << child.toScreen.map(p);
        flush();
        if (ins.clipInverted)
            m_out.pushClipOutside(clip);
        else
            m_out.pushClip(clip);
        drawBlock(ins.block, child);
        flush();
        m_out.popClip();
    };
    if (cols == 1 && rows == 1) {
        drawCell(0, 0);
        return;
    }
    // Only the cells that can meet the view, and no more than one per pixel
    // of spacing: a huge array costs what the screen shows, not its count.
    // The view and one cell, in the insert's rotated (unscaled) frame:
    Affine parentToScreenInv;
    if (!ctx.toScreen.inverted(parentToScreenInv))
        return;
    const Box viewInParent = parentToScreenInv.mapBox(m_clipBox);
    const double cs = std::cos(ins.rotation), sn = std::sin(ins.rotation);
    const Affine toFrame{cs,
                         -sn,
                         sn,
                         cs,
                         -(cs * ins.position.x + sn * ins.position.y),
                         sn * ins.position.x - cs * ins.position.y};
    // Columns and rows run along the frame's axes once its lean is undone.
    const Box view = toFrame.then(Affine{1, 0, -ins.shear, 1, 0, 0}).mapBox(viewInParent);
    const Box cell =
        Affine{ins.scaleX, 0, 0, ins.scaleY, -ins.scaleX * base.x, -ins.scaleY * base.y}.mapBox(
            inner);
    auto range = [&](double spacing, int count, double cellPx, double viewMin, double viewMax,
                     double cellMin, double cellMax, int& from, int& to, int& step) {
        from = 0, to = count - 1, step = 1;
        if (spacing == 0) {
            to = 0; // every cell lies on the first
            return;
        }
        // index * spacing must fall in [a, b] for the cell to meet the view
        const double a = viewMin - cellMax, b = viewMax - cellMin;
        const double lo = spacing > 0 ? a / spacing : b / spacing;
        const double hi = spacing > 0 ? b / spacing : a / spacing;
        from = int(std::clamp(std::ceil(lo), 0.0, double(count)));
        to = int(std::clamp(std::floor(hi), -1.0, double(count - 1)));
        const double spacingPx = std::abs(spacing) * ctx.scale;
        if (spacingPx < 1 && cellPx < 1)
            step = int(std::min(1e9, std::ceil(1 / std::max(spacingPx, 1e-9))));
        step = std::clamp(step, 1, count);
    };
    const double cellPx =
        std::max(inner.width() * std::abs(ins.scaleX), inner.height() * std::abs(ins.scaleY)) *
        ctx.scale;
    int c0, c1, cstep, r0, r1, rstep;
    range(ins.columnSpacing, cols, cellPx, view.minX, view.maxX, cell.minX, cell.maxX, c0, c1,
          cstep);
    range(ins.rowSpacing, rows, cellPx, view.minY, view.maxY, cell.minY, cell.maxY, r0, r1, rstep);
    for (int r = r0; r <= r1; r += rstep)
        for (int c = c0; c <= c1; c += cstep) {
            if (m_cellBudget == 0 || m_stopped)
                return;
            --m_cellBudget;
            drawCell(c, r);
        }
}

bool Pass::tinyLine(QPointF a, QPointF b, QRgb rgb, int side) {
    const double dx = b.x() - a.x(), dy = b.y() - a.y();
    const double span = std::max(std::abs(dx), std::abs(dy));
    if (!(span <= 64)) // not a number, or not tiny after all
        return false;
    // The ceiling of a small non-negative span, without the emulated ceil.
    const int whole = int(span);
    const int steps = std::max(1, whole + int(span > whole));
    const double sx = dx / steps, sy = dy / steps;
    double x = a.x(), y = a.y();
    for (int k = 0; k < steps; ++k, x += sx, y += sy)
        putPixel(pixelFloor(x), pixelFloor(y), rgb, side);
    putPixel(pixelFloor(b.x()), pixelFloor(b.y()), rgb, side); // exactly where it ends
    return true;
}

bool Pass::drawTiny(const Block& b, uint32_t index, const Shape& s, int layer, const Context& ctx,
                    const Color& color) {
    if (!writesPixels() || alpha(s, layer, ctx) < Alpha::Opaque)
        return false;
    const double pen = penPixels(s, layer, ctx);
    if (pen > maxTinyPen)
        return false;
    const int side = pen >= 2 ? int(std::lround(pen)) : 1;
    switch (s.kind) {
    case ShapeKind::Polyline: {
        const size_t end = std::min(b.points.size(), size_t(s.first) + s.count);
        if (end <= s.first || pattern(s, layer, ctx))
            return false;
        const QRgb rgb = visibleRgb(color);
        QPointF prev = ctx.toScreen.map(b.points[s.first]);
        const QPointF start = prev;
        if (end == size_t(s.first) + 1)
            tinyLine(prev, prev, rgb, side);
        // Curves come as many short chords: one that stays in the pixel the
        // last one ended in writes nothing new.
        bool ended = false;
        for (size_t k = size_t(s.first) + 1; k < end; ++k) {
            const QPointF p = ctx.toScreen.map(b.points[k]);
            if (!(ended && pixelFloor(p.x()) == pixelFloor(prev.x()) &&
                  pixelFloor(p.y()) == pixelFloor(prev.y())))
                ended = tinyLine(prev, p, rgb, side);
            prev = p;
        }
        if (s.flags & Closed)
            tinyLine(prev, start, rgb, side);
        break;
    }
    case ShapeKind::Arc: {
        if (s.first >= b.arcs.size() || pattern(s, layer, ctx))
            return false;
        const Arc& a = b.arcs[s.first];
        double sweep = std::abs(a.endAngle - a.startAngle);
        if (!std::isfinite(sweep) || sweep == 0)
            return true; // nothing to draw, as in the full drawing
        sweep = std::min(sweep, 2 * std::numbers::pi);
        const double t0 = std::min(a.startAngle, a.endAngle);
        // Eight chords to a full turn: none is longer than a pixel or two.
        // A whole turn starts anywhere: no sine or cosine to take.
        const bool whole = sweep >= 2 * std::numbers::pi;
        const int n = whole ? 8 : std::max(2, int(std::ceil(sweep / (std::numbers::pi / 4))));
        const double c = a.rotation == 0 ? 1 : std::cos(a.rotation);
        const double sn = a.rotation == 0 ? 0 : std::sin(a.rotation);
        const Affine unitToScreen = Affine{a.radiusX * c, a.radiusX * sn, -a.radiusY * sn,
                                           a.radiusY * c, a.center.x,     a.center.y}
                                        .then(ctx.toScreen);
        const double dc = whole ? std::numbers::sqrt2 / 2 : std::cos(sweep / n);
        const double ds = whole ? std::numbers::sqrt2 / 2 : std::sin(sweep / n);
        double ct = whole ? 1 : std::cos(t0), st = whole ? 0 : std::sin(t0);
        const QRgb rgb = visibleRgb(color);
        QPointF prev = unitToScreen.map(Vec2{ct, st});
        for (int k = 1; k <= n; ++k) {
            const double next = ct * dc - st * ds;
            st = st * dc + ct * ds;
            ct = next;
            const QPointF p = unitToScreen.map(Vec2{ct, st});
            tinyLine(prev, p, rgb, side);
            prev = p;
        }
        break;
    }
    case ShapeKind::Polygon: {
        constexpr uint32_t maxTinyPoints = 64;
        const size_t first = s.first, end = std::min(b.points.size(), first + s.count);
        if (end <= first + 2 || s.count > maxTinyPoints || (s.flags & Mask) || gradientOf(b, index))
            return false;
        QPointF pts[maxTinyPoints];
        bool ringStart[maxTinyPoints] = {};
        auto it = std::upper_bound(b.ringStarts.begin(), b.ringStarts.end(), uint32_t(first));
        for (; it != b.ringStarts.end() && *it < end; ++it)
            ringStart[*it - first] = true;
        ringStart[0] = true;
        const size_t n = end - first;
        double minX = 1e300, minY = 1e300, maxX = -1e300, maxY = -1e300;
        for (size_t k = 0; k < n; ++k) {
            pts[k] = ctx.toScreen.map(b.points[first + k]);
            minX = std::min(minX, pts[k].x()), maxX = std::max(maxX, pts[k].x());
            minY = std::min(minY, pts[k].y()), maxY = std::max(maxY, pts[k].y());
        }
        if (!(maxX - minX <= 64 && maxY - minY <= 64))
            return false;
        const QRgb rgb = visibleRgb(color);
        // Pixels whose centres lie inside, odd-even over the rings, as an
        // unsmoothed fill takes them.
        for (int y = int(std::ceil(minY - 0.5)); y + 0.5 < maxY; ++y)
            for (int x = int(std::ceil(minX - 0.5)); x + 0.5 < maxX; ++x) {
                const double px = x + 0.5, py = y + 0.5;
                bool inside = false;
                size_t ring = 0;
                for (size_t k = 0; k < n; ++k) {
                    if (ringStart[k])
                        ring = k;
                    const bool last = k + 1 == n || ringStart[k + 1];
                    const QPointF& p = pts[k];
                    const QPointF& q = last ? pts[ring] : pts[k + 1];
                    if ((p.y() > py) != (q.y() > py) &&
                        px < p.x() + (py - p.y()) * (q.x() - p.x()) / (q.y() - p.y()))
                        inside = !inside;
                }
                if (inside)
                    putPixel(x, y, rgb, 1);
            }
        break;
    }
    default:
        return false;
    }
    ++m_stats.shapes;
    return true;
}

bool Pass::drawFootprint(const BlockFootprint& f, const Context& child, const Color& color) {
    using Source = BlockFootprint::Source;
    if (f.color() == Source::None || !writesPixels())
        return false;
    const int layer = child.layer;
    const Layer* l =
        layer >= 0 && layer < int(m_doc.layers.size()) ? &m_doc.layers[size_t(layer)] : nullptr;
    // The block's shapes are all on layer "0", so they show with the insert's layer.
    if ((l && !l->isVisible()) || frozenHere(layer))
        return true;
    if ((l && l->alpha < Alpha::Opaque) || child.blockAlpha < Alpha::Opaque)
        return false;
    Color c = f.color() == Source::InsertItself ? color : l ? l->color : Color::foreground();
    if (c.kind != Color::Kind::Rgb && c.kind != Color::Kind::Background)
        c = Color::foreground();
    int pen = 1;
    if (m_doc.showLineWeights) {
        const int16_t w = f.lineWeight() == Source::InsertItself ? child.blockLineWeight
                          : l                                    ? l->lineWeight
                                                                 : LineWeight::Default;
        const double penPx = lineWeightPixels(w);
        if (penPx > maxTinyPen)
            return false;
        pen = penPx >= 2 ? int(std::lround(penPx)) : 1;
    }
    const QRgb rgb = visibleRgb(c);
    // The coarsest grid whose cells are still no more than half a pixel.
    const Box& box = f.bounds();
    const double px =
        std::max(box.width(), box.height()) * child.scale; // the block across, in pixels
    const int halvings = px < 1 ? 2 : px < 2 ? 2 : px < 4 ? 1 : 0;
    const int side = BlockFootprint::cells >> (halvings + 1);
    // Cell centres step by fixed screen vectors from the first.
    const QPointF origin = child.toScreen.map(
        Vec2{box.minX + box.width() / side / 2, box.minY + box.height() / side / 2});
    const QPointF ex = child.toScreen.map(Vec2{box.minX + box.width() / side, box.minY}) -
                       child.toScreen.map(Vec2{box.minX, box.minY});
    const QPointF ey = child.toScreen.map(Vec2{box.minX, box.minY + box.height() / side}) -
                       child.toScreen.map(Vec2{box.minX, box.minY});
    for (uint64_t bits = f.coarse(halvings); bits; bits &= bits - 1) {
        const int k = std::countr_zero(bits);
        const int x = k % side, y = k / side;
        const QPointF p = origin + x * ex + y * ey;
        putPixel(pixelFloor(p.x()), pixelFloor(p.y()), rgb, pen);
    }
    ++m_stats.shapes;
    return true;
}

void Pass::drawBlock(int block, const Context& ctx) {
    if (block < 0 || block >= int(m_doc.blocks.size()) || m_stopped)
        return;
    Affine inverse;
    if (!ctx.toScreen.inverted(inverse))
        return;
    const Block& b = m_doc.blocks[block];
    const SpatialIndex& index = m_scene.index(block);
    const Box area = inverse.mapBox(m_clipBox);

    std::vector<uint32_t> hits;
    const Box& total = index.total();
    const bool whole = total.isValid() && area.minX <= total.minX && area.minY <= total.minY &&
                       area.maxX >= total.maxX && area.maxY >= total.maxY;
    if (!whole) {
        // A view of much of the block (a band of a fit, say) is cheaper to
        // find by one pass over the bounds, already in the file's order,
        // than by asking the tree and sorting what it gives.
        const double overlapX = std::min(area.maxX, total.maxX) - std::max(area.minX, total.minX);
        const double overlapY = std::min(area.maxY, total.maxY) - std::max(area.minY, total.minY);
        const double totalArea = total.width() * total.height();
        if (totalArea > 0 && overlapX > 0 && overlapY > 0 && overlapX * overlapY >= totalArea / 4 &&
            b.shapes.size() >= 4096) {
            for (uint32_t i = 0; i < b.shapes.size(); ++i)
                if (index.bounds(i).intersects(area))
                    hits.push_back(i);
        } else {
            index.query(area, hits);
            std::sort(hits.begin(), hits.end()); // keep the file's drawing order
        }
    }
    const size_t n = whole ? b.shapes.size() : hits.size();

    m_path.push_back(block);
    uint32_t chunk = 0;
    for (size_t k = 0; k < n; ++k) {
        if ((k & 1023) == 1023 && cancelled())
            break;
        const uint32_t i = whole ? uint32_t(k) : hits[k];
        if (m_bandStable && ctx.depth == 0 && i / stableChunk != chunk) {
            chunk = i / stableChunk;
            flush();
        }
        const Box& bounds = index.bounds(i);
        if (!bounds.isValid())
            continue;
        const Shape& s = b.shapes[i];
        int layer = s.layer;
        if (ctx.depth > 0 && s.layer == m_layerZero && ctx.layer >= 0)
            layer = ctx.layer; // layer "0" inside a block takes the insert's layer
        const Layer* l =
            layer >= 0 && layer < int(m_doc.layers.size()) ? &m_doc.layers[layer] : nullptr;
        const bool container = s.kind == ShapeKind::Insert || s.kind == ShapeKind::Viewport;
        if (l && (container ? l->frozen : !l->isVisible()))
            continue; // an insert on a layer that is only off still shows its other layers
        if (m_frozenHere && frozenHere(layer))
            continue;
        const Color color = resolve(s, layer, ctx);
        const double sizePx = std::max(bounds.width(), bounds.height()) * ctx.scale;
        if (s.kind == ShapeKind::Viewport) {
            // On a layer that is off the border hides; the model still shows.
            if (s.first < b.viewports.size() && sizePx >= 1)
                drawViewport(b.viewports[s.first], ctx, visible(color), !l || l->isVisible());
            continue;
        }
        if (s.kind == ShapeKind::Insert) {
            if (s.first < b.inserts.size()) {
                if (sizePx < 1) {
                    if (!l || l->isVisible())
                        dot(ctx.toScreen.map(Vec2{(bounds.minX + bounds.maxX) / 2,
                                                  (bounds.minY + bounds.maxY) / 2}),
                            visibleRgb(color));
                } else {
                    drawInsert(b.inserts[s.first], s, ctx, layer, color);
                }
            }
            continue;
        }
        if (m_bits && sizePx < tinyPixels && s.kind != ShapeKind::Text &&
            s.kind != ShapeKind::Point) {
            if (sizePx >= 1) {
                if (drawTiny(b, i, s, layer, ctx, color))
                    continue;
            } else if (alpha(s, layer, ctx) == Alpha::Opaque) {
                dot(ctx.toScreen.map(
                        Vec2{(bounds.minX + bounds.maxX) / 2, (bounds.minY + bounds.maxY) / 2}),
                    visibleRgb(color));
                continue;
            }
        }
        QColor qc = visible(color);
        if (const int16_t a = alpha(s, layer, ctx); a < Alpha::Opaque)
            qc.setAlpha(a);
        if (s.kind == ShapeKind::Point) {
            if (s.first < b.points.size())
                drawPoint(ctx.toScreen.map(b.points[s.first]), ctx, qc);
            continue;
        }
        if (sizePx < 1 && s.kind != ShapeKind::Text) {
            dot(ctx.toScreen.map(
                    Vec2{(bounds.minX + bounds.maxX) / 2, (bounds.minY + bounds.maxY) / 2}),
                qc);
            continue;
        }
        ++m_stats.shapes;
        switch (s.kind) {
        case ShapeKind::Polyline:
            drawPolyline(b, s, layer, ctx, qc);
            break;
        case ShapeKind::Polygon:
            // Lines wait in batches; a mask must come after those it hides.
            if (s.flags & Mask)
                flush();
            drawPolygon(b, s, ctx, qc, gradientOf(b, i));
            break;
        case ShapeKind::Arc:
            if (s.first < b.arcs.size())
                drawArc(b.arcs[s.first], s, layer, ctx, qc);
            break;
        case ShapeKind::Text:
            if (s.first < b.texts.size()) {
                drawText(b.texts[s.first], ctx, qc);
                clearUpperVectorState();
            }
            break;
        case ShapeKind::Image:
            if (s.first < b.images.size())
                drawImage(b.images[s.first], ctx);
            break;
        case ShapeKind::Picture:
            if (s.first < b.pictures.size())
                drawPicture(b.pictures[s.first], ctx);
            break;
        default:
            break;
        }
    }
    m_path.pop_back();
}

} // namespace

QColor Renderer::defaultBackground(const Document& doc, int layout) {
    if (doc.kind == Document::Kind::Raster)
        return QColor(128, 128, 128);
    if (layout >= 0 && layout < int(doc.layouts.size()) && doc.layouts[layout].paperSpace)
        return QColor(Qt::white);
    return QColor(Qt::black);
}

Box Renderer::contentExtents(const Document& doc, int layout) {
    Box box;
    if (doc.kind == Document::Kind::Raster) {
        if (!doc.raster.isNull()) {
            box.add(0, 0);
            box.add(doc.raster.width(), doc.raster.height());
        }
        return box;
    }
    if (layout >= 0 && layout < int(doc.layouts.size())) {
        const Layout& l = doc.layouts[layout];
        box = l.extents.isValid() ? l.extents : doc.blockExtents(l.block);
    }
    return box;
}

namespace {

void drawRaster(const Document& doc, PaintBackend& out, const ViewTransform& view) {
    const QImage& full = doc.raster;
    if (full.isNull())
        return;
    const double w = full.width(), h = full.height();
    const QRectF placed(view.mapFromDrawing({0, h}), view.mapFromDrawing({w, 0}));
    const QRectF shown = placed.intersected(out.bounds());
    if (shown.isEmpty())
        return;
    // The smallest level that still has a pixel for every screen pixel.
    const QImage* level = &full;
    for (const QImage& smaller : doc.rasterPyramid)
        if (!smaller.isNull() && smaller.width() >= placed.width() &&
            smaller.width() < level->width())
            level = &smaller;
    const double fx = level->width() / placed.width(), fy = level->height() / placed.height();
    QRectF source((shown.left() - placed.left()) * fx, (shown.top() - placed.top()) * fy,
                  shown.width() * fx, shown.height() * fy);
    // Whole source pixels, so the picture does not swim as it pans.
    const QRect whole = source.toAlignedRect().intersected(level->rect());
    if (whole.isEmpty())
        return;
    const QRectF target(placed.left() + whole.left() / fx, placed.top() + whole.top() / fy,
                        whole.width() / fx, whole.height() / fy);
    out.drawImage(target, *level, QRectF(whole), fx > 1.0001);
}

} // namespace

RenderStats Renderer::render(PaintBackend& out, const ViewTransform& view, int layout,
                             const RenderOptions& options) const {
    RenderStats stats;
    const Document& doc = m_scene.document();
    const QColor background =
        options.background.isValid() ? options.background : defaultBackground(doc, layout);
    out.clear(background);
    if (doc.kind == Document::Kind::Raster) {
        drawRaster(doc, out, view);
        return stats;
    }
    if (layout < 0 || layout >= int(doc.layouts.size()))
        return stats;
    const ColorScheme colors(background);
    Pass pass(m_scene, out, colors, stats, options);
    Context ctx;
    const QTransform q = view.toQTransform();
    ctx.toScreen = Affine{q.m11(), q.m12(), q.m21(), q.m22(), q.dx(), q.dy()};
    ctx.scale = ctx.toScreen.scale();
    // On paper a lineweight is a width on the sheet, so it follows the zoom.
    if (doc.layouts[layout].paperSpace)
        pass.setPaperScale(ctx.scale / millimetresPerUnit(doc.header));
    clearUpperVectorState(); // the painter and the font caches use QHash
    pass.drawBlock(doc.layouts[layout].block, ctx);
    pass.flush();
    stats.cancelled = pass.stopped();
    if (options.frame) {
        const Box e = contentExtents(doc, layout);
        if (e.isValid())
            out.drawFrame(QColor(128, 128, 128), QRectF(view.mapFromDrawing({e.minX, e.maxY}),
                                                        view.mapFromDrawing({e.maxX, e.minY})));
    }
    return stats;
}

RenderStats renderInBands(const RenderScene& scene, QImage& image, const ViewTransform& view,
                          int layout, const RenderOptions& options, int bands) {
    const int width = image.width(), height = image.height();
    bands = std::clamp(bands, 1, std::max(1, height / 16));
    RenderOptions banded = options;
    banded.picture = QRectF(image.rect());
    banded.bandStable = true;
    // Each pass paints its band and a margin around it, in the whole
    // picture's coordinates: no coordinate is shifted, and lines that the
    // rasteriser cuts at the clip are cut in the margin, not where the
    // bands meet. The first band paints the picture itself; the others
    // paint images of their own (untouched rows cost no memory), copied in
    // once all are done.
    constexpr int margin = 32;
    std::vector<RenderStats> stats(static_cast<size_t>(bands));
    std::vector<QImage> own(static_cast<size_t>(bands));
    auto top = [&](int k) { return height * k / bands; };
    auto drawBand = [&](int k) {
        const int from = std::max(0, top(k) - margin);
        const int to = std::min(height, top(k + 1) + margin);
        QImage& target = k == 0 ? image : own[size_t(k)];
        QPainter painter(&target);
        QPainterBackend backend(painter, QRectF(0, from, width, to - from));
        stats[size_t(k)] = Renderer(scene).render(backend, view, layout, banded);
    };
    for (int k = 1; k < bands; ++k)
        own[size_t(k)] = QImage(width, std::min(height, top(k + 1) + margin), image.format());
    image.detach();
    scene.buildAll(); // once, rather than each band waiting on the others' builds
    std::vector<std::thread> workers;
    for (int k = 1; k < bands; ++k)
        workers.emplace_back(drawBand, k);
    drawBand(0);
    for (std::thread& w : workers)
        w.join();
    const size_t rowBytes = size_t(width) * size_t(image.depth() / 8);
    for (int k = 1; k < bands; ++k)
        for (int y = top(k); y < top(k + 1); ++y)
            std::memcpy(image.scanLine(y), own[size_t(k)].constScanLine(y), rowBytes);
    RenderStats total;
    for (const RenderStats& s : stats)
        total += s;
    return total;
}

QImage renderFitted(const RenderScene& scene, int layout, QSize size, bool withoutBorder) {
    QImage image(size, QImage::Format_RGB32);
    ViewTransform view;
    view.zoomToFit(Renderer::contentExtents(scene.document(), layout),
                   QRectF(QPointF(0, 0), QSizeF(size)),
                   withoutBorder ? 0.0 : Renderer::borderMargin);
    QPainter painter(&image);
    QPainterBackend backend(painter, QRectF(image.rect()));
    RenderOptions options;
    options.frame = !withoutBorder && scene.document().kind == Document::Kind::Drawing;
    Renderer(scene).render(backend, view, layout, options);
    return image;
}

} // namespace dv
