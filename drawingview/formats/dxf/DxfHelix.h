#pragma once

// A helix seen along its axis: a spiral from its start point around its
// base point, its radius changing evenly to the top radius over its turns.
// Drawn from these, a helix reads alike from files whose stored
// approximations (graphics, spline) differ.

#include "DxfTokenizer.h"
#include "model/Document.h"

#include <vector>

namespace dv::dxf {

class HelixOutline {
public:
    // Takes the groups of the helix's own part (after "100 AcDbHelix").
    void take(const Group& g);
    // The spiral in plan; empty when the parts are missing or the axis is
    // not the view's, so that the stored graphics draw it instead.
    std::vector<Vec2> plan() const;

private:
    bool m_inHelix = false;
    int m_seen = 0; // one bit for each of the groups that define it
    double m_base[3] = {}, m_start[3] = {}, m_axis[3] = {};
    double m_radius = 0, m_turns = 0;
    bool m_rightHanded = true;
};

} // namespace dv::dxf
