#pragma once

// The drawing document: what a reader produces and the renderer draws.
// It knows nothing of widgets or painting. Geometry is kept in drawing units;
// blocks are instanced by inserts and never copied per insert.

#include "model/HugePages.h"
#include <QImage>
#include <QPicture>

#include <QString>

#include <cmath>
#include <cstdint>
#include <limits>
#include <map>
#include <memory>
#include <string>
#include <vector>

namespace dv {

struct Vec2 {
    double x = 0;
    double y = 0;
};

struct Box {
    double minX = std::numeric_limits<double>::infinity();
    double minY = std::numeric_limits<double>::infinity();
    double maxX = -std::numeric_limits<double>::infinity();
    double maxY = -std::numeric_limits<double>::infinity();

    bool isValid() const { return minX <= maxX && minY <= maxY; }
    double width() const { return isValid() ? maxX - minX : 0.0; }
    double height() const { return isValid() ? maxY - minY : 0.0; }
    void add(double x, double y) {
        if (!std::isfinite(x) || !std::isfinite(y))
            return;
        minX = std::min(minX, x);
        minY = std::min(minY, y);
        maxX = std::max(maxX, x);
        maxY = std::max(maxY, y);
    }
    void add(Vec2 p) { add(p.x, p.y); }
    void add(const Box& b) {
        if (b.isValid()) {
            add(b.minX, b.minY);
            add(b.maxX, b.maxY);
        }
    }
    bool intersects(const Box& b) const {
        return isValid() && b.isValid() && minX <= b.maxX && b.minX <= maxX && minY <= b.maxY &&
               b.minY <= maxY;
    }
};

// An entity's colour as the file states it. Foreground is colour 7 of the
// CAD palette: black on a white background, white on a black one.
// Background is whatever the view is cleared to (masks such as wipeouts).
struct Color {
    enum class Kind : uint8_t { ByLayer, ByBlock, Rgb, Foreground, Background };
    Kind kind = Kind::ByLayer;
    uint32_t rgb = 0; // 0xRRGGBB when kind == Rgb

    static Color byLayer() { return {}; }
    static Color byBlock() { return {Kind::ByBlock, 0}; }
    static Color foreground() { return {Kind::Foreground, 0}; }
    static Color background() { return {Kind::Background, 0}; }
    static Color fromRgb(uint32_t rgb) { return {Kind::Rgb, rgb & 0xFFFFFFu}; }
    // AutoCAD colour index 1..255; 0 is ByBlock, 256 ByLayer, 7 the foreground.
    static Color fromAci(int aci);
    bool operator==(const Color&) const = default;
};

// RGB of an AutoCAD colour index (1..255); 7 gives white.
uint32_t aciToRgb(int aci);

// Text written into a linetype's pattern where one of its elements ends.
struct LineTypeText {
    uint32_t element = 0; // index into LineType::dashes
    QString text;
    double height = 1;   // drawing units at linetype scale 1
    double rotation = 0; // radians, from the line's direction or, if absolute, the x axis
    bool absolute = false;
    double dx = 0, dy = 0; // along the line and to its left
};

// A shape's pen strokes in its own units: one unit is one drawing unit at
// scale 1. The shape's origin is where it is placed.
struct ShapeStrokes {
    std::vector<std::vector<Vec2>> strokes; // each two points or more
};

// A shape from a shape file drawn into a linetype's pattern where one of its
// elements ends. Without strokes (a shape we do not know) its place stays a gap.
struct LineTypeShape {
    uint32_t element = 0; // index into LineType::dashes
    uint16_t number = 0;  // in its shape file
    QString name;         // as the shape file names it, when known
    double scale = 1;     // drawing units a shape unit at linetype scale 1
    double rotation = 0;  // radians, from the line's direction or, if absolute, the x axis
    bool absolute = false;
    double dx = 0, dy = 0; // along the line and to its left
    std::shared_ptr<const ShapeStrokes> strokes;
};

// A named dash pattern, unscaled, in drawing units.
struct LineType {
    QString name;
    std::vector<double> dashes; // > 0 dash, < 0 gap, 0 dot; empty draws continuous
    double period = 0;          // the sum of the lengths
    std::vector<LineTypeText> texts;
    std::vector<LineTypeShape> shapes;
    double shapeReach = 0; // how far the shapes reach from the line, at scale 1
};

// Opacity 0 (clear) to 255 (opaque), with the codes that defer.
namespace Alpha {
constexpr int16_t ByLayer = -1;
constexpr int16_t ByBlock = -2;
constexpr int16_t Opaque = 255;
} // namespace Alpha

// What a shape's line looks like: a pattern and the entity's own scale on it,
// and how see-through the shape is. Shapes share these through a small table.
struct LineStyle {
    static constexpr int32_t ByLayer = -1;
    static constexpr int32_t ByBlock = -2;
    static constexpr int32_t Continuous = -3;
    int32_t lineType = ByLayer; // index into Document::lineTypes, or one of the above
    double scale = 1;
    int16_t alpha = Alpha::ByLayer;
    bool operator==(const LineStyle&) const = default;
};

// Lineweights in hundredths of a millimetre, with the codes that defer.
namespace LineWeight {
constexpr int16_t ByLayer = -1;
constexpr int16_t ByBlock = -2;
constexpr int16_t Default = -3; // the drawing's default
constexpr int16_t Max = 211;
} // namespace LineWeight

struct Layer {
    QString name;
    Color color = Color::foreground();        // never ByLayer/ByBlock
    int32_t lineType = LineStyle::Continuous; // never ByLayer/ByBlock
    int16_t lineWeight = LineWeight::Default; // never ByLayer/ByBlock
    int16_t alpha = Alpha::Opaque;            // never ByLayer/ByBlock
    bool on = true;                           // switched by the user (layers dialog)
    bool frozen = false;                      // frozen layers never show
    bool isVisible() const { return on && !frozen; }
};

enum class ShapeKind : uint8_t {
    Polyline, // points[first, first+count); Closed flag joins last to first
    Polygon,  // filled area: points[first, first+count); rings split by ringStarts
    Point,    // points[first]
    Arc,      // arcs[first]: elliptical arc, tessellated when drawn
    Text,     // texts[first]
    Insert,   // inserts[first]
    Image,    // images[first]: a raster placed in the drawing
    Picture,  // pictures[first]: recorded vector painting (SVG, metafiles)
    Viewport, // viewports[first]: a window on paper onto another block
};

enum ShapeFlags : uint8_t {
    Closed = 1,
    Mask = 2,      // a filled area that hides everything drawn before it (wipeouts, text boxes)
    Unbounded = 4, // runs on without end (construction lines): drawn, but no part of the extents
};

// One drawable primitive. A file entity may give several shapes (a hatch, a
// wide polyline); `entityType` names the entity it came from.
struct Shape {
    ShapeKind kind = ShapeKind::Polyline;
    uint8_t flags = 0;
    uint16_t entityType = 0; // index into Document::entityTypeNames
    int32_t layer = 0;       // index into Document::layers
    Color color;
    float width = 0; // pen width in drawing units; 0 draws one pixel wide
    uint32_t first = 0;
    uint32_t count = 0;
    uint16_t lineStyle = 0; // index into Document::lineStyles
    int16_t lineWeight = LineWeight::ByLayer;
};

struct Arc {
    Vec2 center;
    double radiusX = 0; // along the rotated x axis
    double radiusY = 0;
    double rotation = 0;   // radians, of the x axis
    double startAngle = 0; // radians, parametric, counter-clockwise
    double endAngle = 0;   // equal to start + 2*pi for a full ellipse
};

struct Text {
    enum HAlign : uint8_t { Left, Center, Right };
    enum VAlign : uint8_t { Baseline, Bottom, Middle, Top };
    QString text;
    Vec2 position;          // the alignment point
    double height = 1;      // negative: upside down, mirrored about the baseline
    double rotation = 0;    // radians
    double widthFactor = 1; // negative: backwards, mirrored about the alignment point
    double oblique = 0;     // radians
    HAlign hAlign = Left;
    VAlign vAlign = Baseline;
    QString fontFamily; // empty: the default drawing font
    // Lines drawn with the glyphs, in the text's colour and turned with it.
    enum Line : uint8_t { Underline, Overline, StrikeThrough };
    struct Decoration {
        Line line = Underline;
        int32_t from = 0; // characters [from, to) of `text`
        int32_t to = 0;
        bool operator==(const Decoration&) const = default;
    };
    std::vector<Decoration> decorations;
};

struct Insert {
    int32_t block = -1; // index into Document::blocks
    Vec2 position;
    double scaleX = 1;
    double scaleY = 1;
    double rotation = 0; // radians
    // Leans the block's y axis (and the rows) towards x before the rotation:
    // (x, y) becomes (x + shear * y, y). Blocks placed in a tilted frame.
    double shear = 0;
    int32_t columns = 1;
    int32_t rows = 1;
    double columnSpacing = 0;
    double rowSpacing = 0;
    // Drawn only inside this polygon (outside it when inverted), in the
    // block's coordinates; empty: unclipped.
    std::vector<Vec2> clip;
    bool clipInverted = false;
};

// A raster placed by its pixel grid: the top-left corner of pixel (i, j)
// lies at origin + i*u + j*v (rows run down the image).
struct Image {
    std::shared_ptr<const QImage> image;
    Vec2 origin;
    Vec2 u{1, 0};
    Vec2 v{0, -1};
    std::vector<Vec2> clip; // optional clip polygon in drawing units
};

// Painting recorded once (QPicture coordinates, y down) and replayed at any
// zoom, so vector formats read through Qt stay sharp. Picture point (x, y)
// lies at origin + x*u + y*v; `bounds` is the recorded area.
struct Picture {
    std::shared_ptr<const QPicture> picture;
    QRectF bounds;
    Vec2 origin;
    Vec2 u{1, 0};
    Vec2 v{0, -1};
};

// A paper-space window onto the model. Model point p shows on paper at
// center + scale * (R(twist) * (p - target) - viewCenter), scale being
// height / viewHeight, and only within the paper rectangle (and `clip`).
struct Viewport {
    Vec2 center; // of the window, on paper
    double width = 0;
    double height = 0;
    Vec2 target;     // model point the view turns about
    Vec2 viewCenter; // in the turned frame around `target`
    double viewHeight = 1;
    double twist = 0;                  // radians, counter-clockwise
    int32_t block = -1;                // what it shows (the model space block)
    std::vector<int32_t> frozenLayers; // sorted layer indexes hidden in this window
    std::vector<Vec2> clip;            // optional clip polygon on paper
};

// A colour blend across a filled Polygon shape, in place of its flat colour.
struct Gradient {
    enum class Kind : uint8_t {
        Linear,
        Cylinder,
        InvCylinder,
        Spherical,
        InvSpherical,
        Hemispherical,
        InvHemispherical,
        Curved,
        InvCurved
    };
    uint32_t shape = 0; // index into Block::shapes
    Kind kind = Kind::Linear;
    Color first, second;
    double angle = 0; // radians
    double shift = 0; // 0 centred, 1 moved fully towards the first colour's side
};

// A block's points and shapes: millions in a large drawing, filled as it is
// read.
using PointVector = std::vector<Vec2, HugePageAllocator<Vec2>>;
using ShapeVector = std::vector<Shape, HugePageAllocator<Shape>>;

struct Block {
    QString name;
    Vec2 basePoint;
    ShapeVector shapes;
    PointVector points;
    // Sorted indexes into `points` where a further ring of a Polygon shape
    // begins (its first ring starts at the shape's `first`); rings fill odd-even.
    std::vector<uint32_t> ringStarts;
    std::vector<Arc> arcs;
    std::vector<Text> texts;
    std::vector<Insert> inserts;
    std::vector<Image> images;
    std::vector<Picture> pictures;
    std::vector<Viewport> viewports;
    std::vector<Gradient> gradients; // in the order of their shapes
    // entity type name -> count of the entities read into this block
    std::map<QString, int> entityCounts;

    // Appenders used by readers; they return the shape for further settings.
    Shape& addPolyline(const std::vector<Vec2>& pts, bool closed);
    Shape& addPolygon(const std::vector<Vec2>& pts);
    Shape& addPoint(Vec2 p);
    Shape& addArc(const Arc& a);
    Shape& addText(const Text& t);
    Shape& addInsert(const Insert& ins);
    Shape& addImage(const Image& image);
    Shape& addPicture(const Picture& picture);
    Shape& addViewport(const Viewport& viewport);
};

struct Layout {
    QString name;
    int tabOrder = 0;
    int32_t block = -1; // the block that holds this layout's entities
    bool paperSpace = false;
    Box extents; // of what the layout shows; filled by Document::finish()
};

class Document {
public:
    enum class Kind { Drawing, Raster };

    Kind kind = Kind::Drawing;
    QString fileName;
    QString format; // "DXF", "PNG", ...
    // Plots and metafiles: colours are drawn as given (a white fill stays
    // white on the white page) and strictly in file order, fills included.
    bool exactColors = false;

    std::vector<Layer> layers;
    std::vector<Block> blocks;
    std::vector<Layout> layouts; // in tab order
    int activeLayout = 0;
    std::vector<QString> entityTypeNames;
    std::map<QString, int> skippedEntities; // types the reader did not draw
    std::map<QString, QString> header;      // selected header variables as text
    // Damage that did not stop the file from opening (a bad checksum, say).
    std::vector<QString> problems;
    // How Point shapes show: 0 a dot, 1 nothing, 2 a plus, 3 a cross, 4 a tick;
    // adding 32 circles it, 64 boxes it. `pointSize` > 0 is in drawing units,
    // 0 is 5% of the view's height and < 0 that percentage of it.
    int pointMode = 0;
    double pointSize = 0;

    std::vector<LineType> lineTypes;
    // Shapes refer to these by a 16-bit index; the first is ByLayer at scale 1.
    std::vector<LineStyle> lineStyles{LineStyle{}};
    double lineTypeScale = 1;       // $LTSCALE: on every pattern
    bool paperLineTypeScale = true; // $PSLTSCALE: patterns in viewports at paper size
    bool showLineWeights = false;   // $LWDISPLAY
    int16_t defaultLineWeight = 25; // $LWDEFAULT, for LineWeight::Default

    QImage raster; // for Kind::Raster, full size
    // Halvings of `raster` (level 1 is half size, and so on down to a few
    // hundred pixels), so that a zoomed-out view never scales the full image.
    std::vector<QImage> rasterPyramid;

    int layerIndex(const QString& name);       // finds or adds (case-insensitive)
    int blockIndex(const QString& name) const; // -1 when absent (case-insensitive)
    uint16_t entityTypeId(const QString& name);

    // Computes every layout's extents and cuts insert cycles. Readers call it
    // once when the document is whole.
    void finish();

    // Bounds of a block's own geometry and its inserts, in block coordinates:
    // everything it may draw, for culling. Measured on first use.
    Box blockExtents(int block) const;
    void forgetBlockExtents() { m_blockExtents.clear(); }

    // How far the shapes of a line's pattern reach from it, in drawing
    // units; 0 without shapes or where the pattern comes from an insert.
    double patternShapeReach(const Shape& s) const;

private:
    void cutInsertCycles();
    Box computeBlockExtents(int block, std::vector<int8_t>& state) const;
    mutable std::vector<Box> m_blockExtents;
};

} // namespace dv
