#pragma once

// Builders for drawing entities: each reads one entity's groups from the
// cursor and appends its shapes to a block of the document.

#include "DxfContext.h"
#include "DxfTokenizer.h"
#include "formats/common/ObjectFrame.h"

#include <QString>

#include <array>
#include <map>
#include <string_view>
#include <unordered_map>
#include <vector>

namespace dv::dxf {

struct MTextParams;

// Where the entities of a section go. In the ENTITIES section an entity
// flagged 67=1 belongs to the active paper space instead of `block`.
struct Target {
    int block = 0;
    bool paperFlag = false;
};

class EntityReader {
public:
    explicit EntityReader(DxfContext& ctx) : m_ctx(ctx) {}

    // Starts at "0 TYPE" and leaves the cursor at the next entity's "0"
    // (followers such as VERTEX, ATTRIB and SEQEND are read with their owner).
    void read(Cursor& c, const Target& target);
    // Gives XLINE and RAY entities their ends once every entity is read.
    void finishInfiniteLines();
    // Ties viewports to the layers they freeze, named by handle.
    void finishViewports();
    void finishMLines();
    // Decodes the files that IMAGE entities show, once the IMAGEDEF
    // objects are known; a file that cannot be read leaves a named frame.
    void finishImages();

private:
    struct Common {
        std::string_view layer;
        std::string_view lineType; // empty: ByLayer
        double lineTypeScale = 1;
        int16_t lineWeight = LineWeight::ByLayer;
        int16_t alpha = Alpha::ByLayer;
        Color color;
        bool trueColor = false;
        bool invisible = false;
        bool paper = false;
        Vec3 extrusion{0, 0, 1};
        std::string_view handle;
        ObjectFrame frame() const { return ObjectFrame(extrusion); }
    };

    bool common(const Group& g, Common& cm);
    // The block to add to, with the entity counted; -1 when nothing is drawn.
    int place(const Common& cm, const Target& t, std::string_view type, uint16_t& typeId);
    void style(Shape& s, const Common& cm, uint16_t typeId);

    void readLine(Cursor& c, const Target& t);
    void readPoint(Cursor& c, const Target& t);
    void readCircle(Cursor& c, const Target& t, bool arc);
    void readEllipse(Cursor& c, const Target& t);
    void readSolid(Cursor& c, const Target& t, std::string_view type);
    void readLwPolyline(Cursor& c, const Target& t);
    // Takes the groups MTEXT and a multi-line attribute's embedded text
    // share; false for any other.
    // The font, width factor, slant and height (`height`, else the style's)
    // its style gives a multi-line text.
    void styleMText(MTextParams& p, std::string_view styleName, double height) const;
    static bool takeMTextGroup(const Group& g, MTextParams& p, std::string& text,
                               std::string_view& last, double& height, Vec2& dir);
    void readPolyline(Cursor& c, const Target& t);
    void readText(Cursor& c, const Target& t, bool attrib, bool attdef = false);
    void readInsert(Cursor& c, const Target& t);
    void readTable(Cursor& c, const Target& t);
    // Anything else: drawn from its stored graphics if it has them.
    void readProxy(Cursor& c, const Target& t, std::string_view type);
    // An insert of the named block, resolved once every block is known.
    void addBlockReference(int block, Insert ins, std::string_view name, const Common& cm,
                           uint16_t type);
    void readMText(Cursor& c, const Target& t);
    void readHatch(Cursor& c, const Target& t);
    void readSpline(Cursor& c, const Target& t);
    void readDimension(Cursor& c, const Target& t, std::string_view type);
    void readLeader(Cursor& c, const Target& t);
    void readMLeader(Cursor& c, const Target& t);
    void read3dFace(Cursor& c, const Target& t);
    void readInfiniteLine(Cursor& c, const Target& t, bool ray);
    void readWipeout(Cursor& c, const Target& t);
    void readMLine(Cursor& c, const Target& t);
    void readViewport(Cursor& c, const Target& t);
    void readImage(Cursor& c, const Target& t);

    // The groups of one entity, for those whose codes repeat in nested
    // structures. Numbers are read as they are collected.
    struct Item {
        int code;
        double num;
        std::string_view text; // strings only: numbers from binary files have no stable text
    };
    void collect(Cursor& c, Common& cm, std::vector<Item>& items);
    // Adds a styled shape of kind Polyline (or Polygon) to `block`.
    Shape& addPath(int block, const std::vector<Vec2>& pts, bool closed, bool filled,
                   const Common& cm, uint16_t type);
    void addArrow(int block, Vec2 tip, Vec2 from, double size, const Common& cm, uint16_t type);
    // A box under the text, in its own colour or the background's.
    struct MTextMask {
        Color color;
        double scale; // of the box around the text; 1 fits it exactly
    };
    void addMText(int block, const QString& content, const MTextParams& p, const Common& cm,
                  uint16_t type, const MTextMask* mask = nullptr);

    // A dimension as its entity states it, for drawing one whose block is gone.
    struct DimensionData {
        int kind = 0;  // 70 & 7: 2 angular, 3 diameter, 4 radius, 5 3-point angular, 6 ordinate
        int flags = 0; // all of 70
        Vec2 p10, p11, p13, p14, p15, p16;
        bool has11 = false;
        double measured = -1;
        QString label; // MTEXT-formatted; "<>" is the measurement
    };
    // Angular, radial, diameter and ordinate dimensions; false for others.
    bool dimensionWithoutBlock(int block, const DimensionData& d, const Common& cm, uint16_t type);

    // Polygon meshes as grid lines, polyface meshes as face edges.
    void emitMesh(const Common& cm, const Target& t, int flags, const std::vector<Vec2>& pts,
                  const std::vector<std::array<int, 4>>& faces, int m, int n);
    // Builds the outline of vertices joined by straight or bulged segments,
    // or its bands where it has widths; vertices without their own widths
    // take the defaults. Vertices lie at `elevation` in the entity's frame.
    void emitPolyline(const Common& cm, const Target& t, std::string_view type, bool closed,
                      double elevation, double startWidth, double endWidth);

    DxfContext& m_ctx;
    std::vector<Item> m_items;
    struct Infinite {
        int block;
        uint32_t first;
        Vec2 base;
        Vec2 dir;
        bool ray;
    };
    std::vector<Infinite> m_infinite;
    std::vector<Vec2> m_vertices;
    std::vector<double> m_bulges;
    std::vector<double> m_startWidths, m_endWidths; // per vertex; NaN when not given
    std::vector<Vec2> m_points;

    struct FrozenRef {
        int block;
        uint32_t viewport;
        uint64_t layerHandle;
    };
    std::vector<FrozenRef> m_frozenRefs;
    // The last entity placed: where its shapes begin, and its handle.
    struct Placed {
        int block = -1;
        uint32_t firstShape = 0;
        std::string_view handle;
    } m_placed;
    // Paper-space outlines a viewport may name as its clip boundary, by handle.
    struct Outline {
        int block;
        uint32_t first, end; // shapes [first, end)
    };
    std::unordered_map<uint64_t, Outline> m_outlines;
    struct ClipRef {
        int block;
        uint32_t viewport;
        uint64_t outline;
    };
    std::vector<ClipRef> m_clipRefs;
    void rememberOutline();
    // Centre lines of wide closed polylines on paper, by their first band
    // (block, shape): the bands themselves outline nothing.
    std::map<std::pair<int, uint32_t>, std::vector<Vec2>> m_centreLines;
    // The first closed outline among an entity's shapes, tessellated.
    std::vector<Vec2> outlinePoints(const Outline& o) const;
    std::vector<int> m_viewportBlocks; // blocks whose first viewport has been read
    struct PendingImage {
        int block;
        uint32_t image;    // index into Block::images; ~0u when only the frame shows
        uint32_t frame;    // index into Block::shapes
        uint64_t imageDef; // handle of the IMAGEDEF
        Vec2 insertion, u, v;
        double columns, rows; // size in pixels as the entity states it
        int32_t layer;
        Color color;
        uint16_t type;
    };
    std::vector<PendingImage> m_images;
    std::vector<std::pair<int, uint32_t>> m_wipeoutFrames; // block, shape
    // Multilines wait for their style (in OBJECTS, after the entities) for
    // element colours, the fill and the end caps.
    struct PendingMLine {
        int block;
        uint32_t fill;     // shape index of the fill, hidden unless the style fills
        uint32_t elements; // shape index of the first element line
        uint32_t count;    // element lines, one per style element
        uint64_t style;    // handle; 0 when only named
        std::string styleName;
        bool startCap, endCap; // not suppressed by the entity, and the line is open
        Vec2 startHigh, startLow, startDir, endHigh, endLow, endDir;
    };
    std::vector<PendingMLine> m_mlines;
    void addMLineCap(const PendingMLine& m, Vec2 high, Vec2 low, Vec2 outward, bool round);
    struct Placement;
};

// A handle written as hexadecimal text; 0 when empty or malformed.
uint64_t handleFromText(std::string_view text);

// Appends the points strictly between a and b of the arc a bulge describes
// (bulge = tan(sweep / 4), positive counter-clockwise), one per 3 degrees.
template <typename Points> void appendBulgeArc(Points& out, Vec2 a, Vec2 b, double bulge);

} // namespace dv::dxf
