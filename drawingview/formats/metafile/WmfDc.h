#pragma once

// The device context a metafile plays into: selected pen, brush and font,
// text and fill modes, the window/viewport mapping, the object table and the
// SaveDC stack. Logical coordinates map to drawing millimetres, y up.

#include "model/Document.h"

#include <QString>

#include <cstdint>
#include <optional>
#include <vector>

namespace dv::wmf {

struct Pen {
    enum Style : uint16_t { Solid = 0, Dash, Dot, DashDot, DashDotDot, Null, InsideFrame };
    uint16_t style = Solid;
    double width = 0; // logical units; 0 is one pixel
    uint32_t rgb = 0;
    bool isNull() const { return (style & 0x0F) == Null; }
};

struct Brush {
    enum Style : uint16_t { Solid = 0, Null = 1, Hatched = 2, Pattern = 3, DibPattern = 5 };
    uint16_t style = Solid;
    uint32_t rgb = 0xFFFFFF;
    uint16_t hatch = 0;
};

struct Font {
    int height = 0; // logical; negative: character height, positive: cell height
    int width = 0;
    int escapement = 0; // tenths of a degree, counter-clockwise
    int weight = 400;
    bool italic = false;
    bool underline = false;
    bool strikeOut = false;
    uint8_t charSet = 0;
    QString face;
};

struct GdiObject {
    enum Kind : uint8_t { Free, PenObject, BrushObject, FontObject, PaletteObject, RegionObject };
    Kind kind = Free;
    Pen pen;
    Brush brush;
    Font font;
    std::vector<uint32_t> palette;
};

enum MapMode : uint16_t {
    MmText = 1,
    MmLoMetric,
    MmHiMetric,
    MmLoEnglish,
    MmHiEnglish,
    MmTwips,
    MmIsotropic,
    MmAnisotropic
};

struct DcState {
    Pen pen;
    Brush brush;
    Font font;
    uint32_t textColor = 0;
    uint32_t bkColor = 0xFFFFFF;
    uint16_t bkMode = 2; // 1 transparent, 2 opaque
    uint16_t textAlign = 0;
    uint16_t polyFillMode = 1; // 1 alternate, 2 winding
    uint16_t rop2 = 13;        // R2_COPYPEN
    uint16_t mapMode = MmText;
    double windowOrgX = 0, windowOrgY = 0, windowExtX = 1, windowExtY = 1;
    double viewportOrgX = 0, viewportOrgY = 0, viewportExtX = 1, viewportExtY = 1;
    double curX = 0, curY = 0; // current position, logical
    std::vector<uint32_t> palette;
    // The clip rectangle in drawing units; unset draws everything. Regions
    // other than rectangles are not kept: what they would hide shows.
    std::optional<Box> clip;
};

class Dc {
public:
    // `deviceMm`: millimetres per device unit; the device rectangle
    // [left, right] x [top, bottom] is the picture frame (placeable files).
    Dc(double deviceMm, int nObjects);
    void setFrame(double left, double top, double right, double bottom);

    DcState state;

    Vec2 map(double x, double y) const;
    // A logical length along x (pen widths) and along y (font heights), in mm.
    double lengthX(double d) const;
    double lengthY(double d) const;

    // The object table: a new object takes the lowest free slot; false when
    // the table (bounded by the header's count) is full.
    bool addObject(GdiObject object);
    void selectObject(int index);
    void deleteObject(int index);

    void save();
    // `n` < 0 restores the n-th last saved state, n > 0 the n-th saved one.
    bool restore(int n);

    // COLORREF (0x00bbggrr or palette index) to 0xRRGGBB.
    uint32_t rgb(uint32_t colorRef) const;

private:
    void scale(double& sx, double& sy) const;

    double m_deviceMm;
    double m_frameLeft = 0, m_frameBottom = 0;
    std::vector<GdiObject> m_objects;
    std::vector<DcState> m_saved;
};

} // namespace dv::wmf
