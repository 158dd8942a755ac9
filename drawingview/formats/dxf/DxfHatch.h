#pragma once

// Pattern fills: families of parallel dashed lines clipped to a boundary of
// rings under the even-odd rule.

#include "model/Document.h"

#include <optional>
#include <string_view>
#include <utility>
#include <vector>

namespace dv::dxf {

struct PatternLine {
    double angle = 0; // radians
    Vec2 base;
    Vec2 offset;                // from one line of the family to the next
    std::vector<double> dashes; // > 0 dash, < 0 gap, 0 dot; empty: continuous
};

struct PatternResult {
    std::vector<std::pair<Vec2, Vec2>> segments;
    std::vector<Vec2> dots;
};

// Clips the pattern to the rings. False (with `out` cleared) when it would
// take more than `maxSegments` segments, or as much work: the caller then
// draws something plainer.
bool clipPattern(const std::vector<std::vector<Vec2>>& rings,
                 const std::vector<PatternLine>& pattern, size_t maxSegments, PatternResult& out);

// The gradient groups of a HATCH (450 on), gathered as they come.
class GradientGroups {
public:
    // False for a code that is not one of them.
    bool take(int code, double num, std::string_view text);
    bool active() const { return m_on; }
    // The first colour, for outputs that fill flat.
    std::optional<Color> firstColor() const;
    Gradient gradient(uint32_t shape) const;

private:
    struct Slot {
        std::optional<Color> aci, rgb;
        std::optional<Color> color() const { return rgb ? rgb : aci; }
    };
    bool m_on = false;
    bool m_oneColor = false;
    double m_tint = 0;
    double m_angle = 0, m_shift = 0;
    Gradient::Kind m_kind = Gradient::Kind::Linear;
    std::vector<Slot> m_slots;
};

} // namespace dv::dxf
