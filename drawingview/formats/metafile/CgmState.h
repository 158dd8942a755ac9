#pragma once

// What elements set and later elements read: precisions, descriptors and
// attributes. BEGIN PICTURE starts from the metafile's defaults.

#include "CgmBinary.h"

#include <QString>

#include <cstdint>
#include <map>

namespace dv::cgm {

enum class SizeMode { Absolute, Scaled, Fractional, Millimetres };

struct LineStyle {
    int type = 1;     // 1 solid, 2 dash, 3 dot, 4 dash-dot, 5 dash-dot-dot
    double width = 1; // below 0: the default of the width's mode
    SizeMode mode = SizeMode::Scaled;
    // Index 1, the foreground: 0 is the background, which hides whatever
    // never sets its colour.
    uint32_t colour = 1; // index or rgb, after the selection mode
    bool indexed = true;
};

struct State {
    Precisions prec;

    bool metric = false;
    double metricFactor = 1; // millimetres per VDC unit
    double extent[4] = {0, 0, 32767, 32767};
    bool extentSet = false;
    uint32_t background = 0xFFFFFF;

    LineStyle line;
    LineStyle edge;
    int markerType = 3;
    double markerSize = 1;
    SizeMode markerMode = SizeMode::Scaled;
    uint32_t markerColour = 1;
    bool markerIndexed = true;

    int interiorStyle = 0; // hollow
    uint32_t fillColour = 1;
    bool fillIndexed = true;
    int hatchIndex = 1;
    bool edgeVisible = false;

    uint32_t textColour = 1;
    bool textIndexed = true;
    int fontIndex = 1;
    double charHeight = 0; // 0: one hundredth of the extent's height
    double expansion = 1;
    double up[2] = {0, 1};
    double base[2] = {1, 0};
    int hAlign = 0;
    int vAlign = 0;

    std::map<uint32_t, uint32_t> colourTable;

    State();
    // Colour of an index through the table; unknown indexes are black.
    uint32_t indexColour(uint32_t index) const;
};

} // namespace dv::cgm
