#pragma once

// Plane vector arithmetic for the readers that build geometry.

#include "model/Document.h"

#include <cmath>

namespace dv::dxf {

inline Vec2 operator+(Vec2 a, Vec2 b) {
    return {a.x + b.x, a.y + b.y};
}
inline Vec2 operator-(Vec2 a, Vec2 b) {
    return {a.x - b.x, a.y - b.y};
}
inline Vec2 operator*(Vec2 a, double f) {
    return {a.x * f, a.y * f};
}
inline double dot(Vec2 a, Vec2 b) {
    return a.x * b.x + a.y * b.y;
}
inline double length(Vec2 a) {
    return std::hypot(a.x, a.y);
}

} // namespace dv::dxf
