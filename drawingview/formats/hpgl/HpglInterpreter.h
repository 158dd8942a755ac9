#pragma once

// Executes HP-GL and HP-GL/2 commands: pen moves, scaling, arcs, the polygon
// buffer, fills, line types and labels. Coordinates are kept in plotter units
// (0.025 mm) of the current frame; RO turns that frame on the page.

#include "HpglLexer.h"
#include "HpglOutput.h"

#include "formats/Reader.h"
#include "model/Document.h"

#include <array>
#include <vector>

namespace dv::hpgl {

// Points the polygon buffer holds at most.
constexpr size_t kMaxBufferPoints = size_t(1) << 22;

class Interpreter {
public:
    Interpreter(Document& doc, const char* data, size_t size);

    // Reads every command; throws ReadError only when the data holds none.
    void run(const QString& fileName, const ProgressFn& progress);

private:
    struct PenDef {
        uint32_t rgb = 0;
        float width = kDefaultWidth;
    };

    bool execute(const Command& cmd); // false: an unknown mnemonic
    void reset(bool full);            // IN (full) or DF
    void resetPens();
    void resetFrame();

    // Units
    Vec2 toPlu(Vec2 user) const;
    Vec2 deltaToPlu(Vec2 d) const;
    Vec2 toUser(Vec2 plu) const;
    double unitScale() const; // plotter units per current unit, along x
    Vec2 toMm(Vec2 plu) const;
    double diagonal() const; // |P2 - P1| in plotter units
    void updateScaling();

    // Pen movement
    void syncStyle();
    void plotTo(Vec2 plu, bool down);
    void penUp();
    void coordinateList(bool relative, int penState); // -1: keep
    void encodedPolyline();
    void addArcPoints(Vec2 centerUser, double sweepDeg, double chordDeg, bool draw);
    std::vector<Vec2> arcPoints(Vec2 centerUser, double radius, double startDeg, double sweepDeg,
                                double chordDeg) const;

    // Figures
    void circle();
    void arc(bool relative);
    void threePointArc(bool relative);
    void bezier(bool relative);
    void rectangle(bool relative, bool filled);
    void wedge(bool filled);
    void polygonMode();
    void closeSubpolygon();
    void fillBuffer(const std::vector<std::vector<Vec2>>& ringsPlu, bool nonZero,
                    const char* entity);
    void edgeBuffer(const std::vector<std::vector<Vec2>>& ringsPlu, const char* entity);
    void fillType();
    void lineType();

    // Labels
    void label();
    void labelTerminator();
    void characterSize(bool relative);
    void direction(bool relative);
    Vec2 cellX() const; // one grid unit along the text
    Vec2 cellY() const; // one grid unit up the text
    void drawText(const QByteArray& text);

    std::vector<double> params(size_t max);
    void setPenColor(int pen, uint32_t rgb);
    PenDef& penDef(int pen);

    Document& m_doc;
    Lexer m_lex;
    Output m_out;
    bool m_hpgl2 = false;
    bool m_styleDirty = true;

    // Page and frame
    double m_pageW = 11880, m_pageH = 8400; // plotter units, unrotated
    int m_rotation = 0;
    Vec2 m_p1, m_p2;
    bool m_scaling = false;
    std::array<double, 7> m_sc{};
    double m_sx = 1, m_sy = 1, m_ox = 0, m_oy = 0;

    // Pen
    Vec2 m_pos;
    bool m_down = false;
    bool m_relative = false;
    bool m_dotPending = false;
    int m_pen = 1;
    std::vector<PenDef> m_pens;
    float m_allPensWidth = kDefaultWidth;
    bool m_relativeWidths = false;
    std::array<double, 6> m_colorRange{0, 255, 0, 255, 0, 255};
    LineStyle m_lineStyle;
    double m_chord = 5;

    // Fills and the polygon buffer
    FillStyle::Kind m_fillKind = FillStyle::Solid;
    double m_fillLevel = 100;
    double m_hatchSpacing = 0; // current units; 0: 1% of the P1-P2 diagonal
    double m_hatchAngle = 0;
    bool m_polygonMode = false;
    std::vector<std::vector<Vec2>> m_rings; // plotter units
    std::vector<Vec2> m_ring;
    size_t m_bufferPoints = 0;

    // Labels
    char m_terminator = 3;
    bool m_terminatorPrinted = false;
    bool m_relativeSize = false;
    double m_charW = 0.285, m_charH = 0.375; // cm, or % of P2-P1
    Vec2 m_dir{1, 0};
    bool m_relativeDir = false;
    int m_labelOrigin = 1;
    double m_extraSpace = 0, m_extraLine = 0;
    double m_slant = 0;
    Vec2 m_lineStart; // plotter units: where CR returns to
};

} // namespace dv::hpgl
