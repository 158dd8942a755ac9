#pragma once

// An entity's own coordinate system, fixed by its extrusion direction alone
// (the arbitrary axis rule of CAD files), and how it looks in the plan view
// we draw: world x and y, with z dropped.

#include "model/Document.h"

namespace dv {

struct Vec3 {
    double x = 0;
    double y = 0;
    double z = 0;
};

class ObjectFrame {
public:
    ObjectFrame() = default; // the world frame
    // A normal that is zero, tiny or not finite leaves the world frame.
    explicit ObjectFrame(Vec3 normal);

    bool isWorld() const { return m_world; }
    // Seen from below (or turned past its edge): the plan view shows the
    // frame's x and y axes the wrong way round.
    bool isMirrored() const;
    Vec3 axisX() const { return m_ax; }
    Vec3 axisY() const { return m_ay; }
    Vec3 normal() const { return m_n; }

    Vec3 toWorld(Vec3 p) const;
    // A point of the frame, `z` its elevation, as the plan view shows it.
    Vec2 toPlan(double x, double y, double z = 0) const;
    Vec2 toPlan(Vec2 p, double z = 0) const { return toPlan(p.x, p.y, z); }
    // A direction in the frame's xy plane, as the plan view shows it.
    Vec2 directionToPlan(Vec2 d) const;
    // The plan view's angle of the frame's direction at `angle` (radians).
    double angleToPlan(double angle) const;

private:
    Vec3 m_ax{1, 0, 0}, m_ay{0, 1, 0}, m_n{0, 0, 1};
    bool m_world = true;
};

// The arc centre + u cos t + v sin t, t running counter-clockwise from
// `start` to `end` (radians), as an Arc on its own principal axes. The
// radii are never negative; a pair (u, v) turning clockwise reverses the sweep.
Arc conjugateArc(Vec2 center, Vec2 u, Vec2 v, double start, double end);

} // namespace dv
