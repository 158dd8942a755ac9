#pragma once

// Turns CGM elements into the drawing model: descriptors and attributes
// change the state, primitives become shapes in the current picture's block.

#include "CgmBinary.h"
#include "CgmState.h"

#include "model/Document.h"

#include <QStringList>

#include <vector>

namespace dv::cgm {

class Interpreter {
public:
    explicit Interpreter(Document& doc);

    void apply(const Element& e);
    // For encodings whose precisions are fixed rather than stated.
    void setPrecisions(const Precisions& p);
    // Closes an open picture (a file cut off before END PICTURE).
    void finishOpenPicture();

    int picturesDone() const { return m_picturesDone; }
    bool inPicture() const { return m_block >= 0; }
    bool ended() const { return m_ended; }
    bool anyMetric() const { return m_anyMetric; }

private:
    // Descriptors, control and attribute elements (CgmInterpreter.cpp).
    void delimiter(const Element& e);
    void metafileDescriptor(const Element& e, ParamReader& r);
    void pictureDescriptor(const Element& e, ParamReader& r);
    void control(const Element& e, ParamReader& r);
    void attribute(const Element& e, ParamReader& r);
    void defaultsReplacement(const Element& e);
    void readColour(ParamReader& r, uint32_t& value, bool& indexed);
    double readSize(ParamReader& r, SizeMode mode);
    void skipped(const Element& e);

    // Primitives (CgmPrimitives.cpp).
    void primitive(const Element& e, ParamReader& r);
    std::vector<Vec2> readPoints(ParamReader& r, size_t max = SIZE_MAX);
    Vec2 readPoint(ParamReader& r);
    void polyline(const std::vector<Vec2>& vdc, bool closed, const LineStyle& style);
    void area(const std::vector<std::vector<Vec2>>& rings, bool edges);
    void polygonSet(ParamReader& r);
    void marker(Vec2 p);
    void circularArc(Vec2 c, double radius, double a0, double a1, int close);
    void arc3(Vec2 p1, Vec2 p2, Vec2 p3, int close);
    void ellipse(Vec2 c, Vec2 d1, Vec2 d2, const double* startEnd, int close);
    void polybezier(ParamReader& r);
    // Inside a figure, an open primitive's points join its boundary instead
    // of being drawn; false outside one.
    bool collect(const std::vector<Vec2>& vdc);
    void endFigure();
    void backgroundRect();

    // Text and cell arrays (CgmText.cpp, CgmCellArray.cpp).
    void text(Vec2 at, const QString& s, bool final, double restrictHeight);
    void appendText(const QString& s, bool final);
    void flushText();
    void cellArray(ParamReader& r);

    // VDC to drawing units: unit scale and flips so that y runs up.
    Vec2 map(Vec2 p) const;
    double mapLength(double vdc) const;
    bool mirrored() const;
    double lineWidth(const LineStyle& s) const;
    double extentSize() const;
    uint32_t rgb(uint32_t value, bool indexed) const;
    Shape& styled(Shape& s, uint32_t rgb, double width, const QString& entity);

    Document& m_doc;
    State m_defaults;
    State m_state;
    QStringList m_fonts;
    int m_layer = 0;
    int m_block = -1;
    int m_pictureCount = 0;
    int m_picturesDone = 0;
    bool m_ended = false;
    bool m_anyMetric = false;
    int m_defaultsDepth = 0;
    size_t m_cellBudget = size_t(1) << 26; // cells left for the whole file
    static constexpr size_t kMaxPoints = size_t(1) << 25;
    size_t m_pointBudget = kMaxPoints;

    // Between BEGIN and END FIGURE: the boundary so far, one ring per region.
    struct Figure {
        bool open = false;
        std::vector<std::vector<Vec2>> rings;
    } m_figure;

    struct PendingText {
        bool open = false;
        Vec2 at;
        QString text;
        double restrictHeight = 0;
    } m_text;
};

} // namespace dv::cgm
