#pragma once

// Turns plotted vectors, fills and text strokes (in millimetres, device
// frame) into Document shapes: one layer per pen, dashed line types cut into
// dashes, hatched fills cut into pen strokes.

#include "formats/common/StrokeFont.h"
#include "model/Document.h"

#include <cstdint>
#include <map>
#include <vector>

namespace dv::hpgl {

// The pen width a pen has until PW sets one: HP-GL/2 draws it 0.35 mm
// wide, HP-GL the thinnest line; which applies is known only at the end.
constexpr float kDefaultWidth = -1;

struct PenStyle {
    int pen = 1;
    uint32_t rgb = 0;
    float width = kDefaultWidth; // mm
};

struct LineStyle {
    enum Kind { Solid, Dots, Dashed } kind = Solid;
    std::vector<double> dashes; // mm: drawn, gap, drawn, ...
    bool operator==(const LineStyle&) const = default;
};

struct FillStyle {
    enum Kind { Solid, Hatch, CrossHatch } kind = Solid;
    double spacing = 1; // mm between hatch lines
    double angle = 0;   // radians
    double level = 100; // percent of the pen colour over white
};

using Rings = std::vector<std::vector<Vec2>>;

class Output {
public:
    Output(Document& doc, size_t pointBudget);

    void setPen(const PenStyle& pen);
    void setLineStyle(const LineStyle& style);

    // A pen-down vector; consecutive vectors join into one polyline.
    void segment(Vec2 from, Vec2 to);
    void endPath();
    // A closed or open outline in the current line style.
    void outline(const std::vector<Vec2>& pts, bool closed, const char* entity);
    // Text strokes: always solid.
    void strokes(const strokefont::Strokes& strokes, const char* entity);
    void dot(Vec2 p);
    void fill(const Rings& rings, const FillStyle& style, bool nonZero, const char* entity);

    // Settles default pen widths; call once at the end.
    void finish(bool hpgl2);

private:
    int layerOf(int pen);
    bool roomFor(size_t points);
    Shape& styled(Shape& s, const char* entity, uint32_t rgb, float width);
    void emitStroked(const std::vector<Vec2>& pts, bool closed, const char* entity);
    void emitDashed(const std::vector<Vec2>& pts, const char* entity);
    void emitPolygon(const Rings& rings, uint32_t rgb, const char* entity);
    void emitHatch(const Rings& rings, double spacing, double angle, bool nonZero,
                   const char* entity);

    Document& m_doc;
    Block& m_block;
    size_t m_budget;
    size_t m_overflow = 0;
    PenStyle m_pen;
    LineStyle m_line;
    std::vector<Vec2> m_path;
    std::map<int, int> m_penLayers;
};

} // namespace dv::hpgl
