#pragma once

// Plays metafile records into one block of the document: state records
// change the device context, drawing records add shapes in file order
// (fill first, then outline, as GDI paints them).

#include "WmfDc.h"
#include "WmfRecords.h"
#include "model/Document.h"

#include <QString>

#include <vector>

namespace dv::wmf {

class Player {
public:
    Player(Document& doc, int block, Dc& dc);

    // Returns false when the record's parameters are too short or broken;
    // the record is then counted as damaged and skipped.
    bool play(const Record& r);

    bool drewSomething() const { return m_drew; }
    void skip(const QString& what) { ++m_doc.skippedEntities[what]; }

private:
    // State and object records (WmfPlayer.cpp).
    bool playState(const Record& r, bool& handled);
    bool createObject(const Record& r);

    // Lines and areas (WmfShapes.cpp).
    bool playShape(const Record& r, bool& handled);
    bool polyPolygon(const Record& r);
    void ellipticShape(const Record& r, int kind);
    // Fills `rings` (odd-even) with the brush, then outlines each ring.
    void fillAndStroke(const std::vector<std::vector<Vec2>>& rings, bool stroke, const char* type);
    void fillRings(const std::vector<std::vector<Vec2>>& rings, const Brush& brush,
                   const char* type);
    void hatch(const std::vector<std::vector<Vec2>>& rings, uint16_t style, uint32_t rgb,
               const char* type);
    void stroke(const std::vector<Vec2>& pts, bool closed, const char* type);
    void fillRect(double left, double top, double right, double bottom, uint32_t rgb,
                  const char* type);
    // The pen's or brush's colour after the binary raster operation; false
    // when it draws nothing visible.
    bool rop2Color(uint32_t rgb, uint32_t& out) const;

    // Text (WmfText.cpp).
    bool textOut(const Record& r);
    bool extTextOut(const Record& r);
    void drawText(double x, double y, const QByteArray& bytes, const char* type);

    // Bitmaps (WmfBitmaps.cpp).
    bool playBitmap(const Record& r, bool& handled);
    bool patBlt(uint32_t rop, double x, double y, double w, double h, const char* type);
    bool placeDib(const Record& r, size_t dibWord, uint32_t rop, double dx, double dy, double dw,
                  double dh, double sx, double sy, double sw, double sh, bool bottomUpSource,
                  bool paletteColors, const char* type);

    Shape& styled(Shape& s, uint32_t rgb, double width, const char* type);
    // A line, cut to the clip rectangle when one is set.
    void line(const std::vector<Vec2>& pts, bool closed, uint32_t rgb, double width,
              const char* type);
    // Rings cut to the clip rectangle; those with nothing left are dropped.
    std::vector<std::vector<Vec2>> clipped(const std::vector<std::vector<Vec2>>& rings) const;
    bool clippedAway(Vec2 p) const {
        const auto& c = m_dc.state.clip;
        return c && !(p.x >= c->minX && p.x <= c->maxX && p.y >= c->minY && p.y <= c->maxY);
    }
    void count(const char* type);

    Document& m_doc;
    Block& m_block;
    Dc& m_dc;
    int m_layer;
    bool m_drew = false;
    // Hatch lines left for the rest of the file.
    size_t m_hatchBudget = 200000;
    // Dashes of styled pens left; beyond it lines are drawn solid.
    size_t m_dashBudget = 500000;
};

} // namespace dv::wmf
