#include "DxfPatterns.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <map>
#include <numbers>
#include <string>

namespace dv::dxf {

namespace {

// One family per line: angle (degrees), origin x y, then the step from one
// line to the next along the line and across it, then the dashes (> 0 drawn,
// < 0 gap, 0 dot). Inch units unless the name starts with ACAD_ISO (mm).
// Where the pattern is a picture rather than geometry (concrete, sand,
// grass) the families only give its texture.
constexpr std::string_view kPatterns = R"(
*LINE
0, 0,0, 0,0.125
*ANSI31
45, 0,0, 0,0.125
*ANSI32
45, 0,0, 0,0.375
45, 0.176777,0, 0,0.375
*ANSI33
45, 0,0, 0,0.25
45, 0.176777,0, 0,0.25, 0.125,-0.0625
*ANSI34
45, 0,0, 0,0.75
45, 0.176777,0, 0,0.75
45, 0.353553,0, 0,0.75
45, 0.53033,0, 0,0.75
*ANSI35
45, 0,0, 0,0.25
45, 0.176777,0, 0,0.25, 0.3125,-0.0625,0,-0.0625
*ANSI36
45, 0,0, 0.21875,0.125, 0.3125,-0.0625,0,-0.0625
*ANSI37
45, 0,0, 0,0.125
135, 0,0, 0,0.125
*ANSI38
45, 0,0, 0,0.125
135, 0,0, 0.25,0.125, 0.3125,-0.1875
*ANGLE
0, 0,0, 0,0.275, 0.2,-0.075
90, 0,0, 0,0.275, 0.2,-0.075
*AR-B816
0, 0,0, 0,8
90, 0,0, 8,8, 8,-8
*AR-BRSTD
0, 0,0, 0,2.667
90, 0,0, 2.667,4, 2.667,-2.667
*AR-CONC
50, 0,0, 1.2,2.1, 0.3,-2.8
355, 0,0, -0.9,2.3, 0.25,-3.1
100, 0.7,0.2, 2.1,1.7, 0.28,-2.6
46, 0.3,0.9, 0.6,1.3, 0,-1.9
*AR-HBONE
45, 0,0, 4,4, 12,-4
135, 2.828427,2.828427, 4,-4, 12,-4
*AR-PARQ1
90, 0,0, 12,12, 12,-12
90, 2,0, 12,12, 12,-12
90, 4,0, 12,12, 12,-12
90, 6,0, 12,12, 12,-12
90, 8,0, 12,12, 12,-12
90, 10,0, 12,12, 12,-12
90, 12,0, 12,12, 12,-12
0, 0,12, 12,-12, 12,-12
0, 0,14, 12,-12, 12,-12
0, 0,16, 12,-12, 12,-12
0, 0,18, 12,-12, 12,-12
0, 0,20, 12,-12, 12,-12
0, 0,22, 12,-12, 12,-12
0, 0,24, 12,-12, 12,-12
*AR-SAND
37.5, 0,0, 1.23,0.81, 0,-1.7
7.5, 0.2,0.3, 1.1,0.93, 0,-1.3
-32.5, 0.5,0.1, 0.97,1.2, 0,-1.9
-57.5, 0.8,0.6, 1.3,0.77, 0,-1.1
*BRICK
0, 0,0, 0,0.25
90, 0,0, 0,0.5, 0.25,-0.25
90, 0.25,0, 0,0.5, -0.25,0.25
*BRSTONE
0, 0,0, 0,0.33
90, 0.9,0, 0.33,0.5, 0.33,-0.33
90, 0.8,0, 0.33,0.5, 0.33,-0.33
0, 0.9,0.055, 0.5,0.33, -0.9,0.1,-0.9,0.1
*CLAY
0, 0,0, 0,0.1875
0, 0,0.03125, 0,0.1875
0, 0,0.0625, 0,0.1875
0, 0,0.125, 0,0.1875, 0.1875,-0.125
*CORK
0, 0,0, 0,0.125
135, 0.0625,-0.0625, 0,0.353553, 0.176777,-0.176777
135, 0.09375,-0.0625, 0,0.353553, 0.176777,-0.176777
135, 0.125,-0.0625, 0,0.353553, 0.176777,-0.176777
*CROSS
0, 0,0, 0.25,0.25, 0.125,-0.375
90, 0.0625,-0.0625, 0.25,0.25, 0.125,-0.375
*DASH
0, 0,0, 0.125,0.125, 0.125,-0.125
*DOTS
0, 0,0, 0.03125,0.0625, 0,-0.0625
*EARTH
0, 0,0, 0.25,0.25, 0.25,-0.25
0, 0,0.09375, 0.25,0.25, 0.25,-0.25
0, 0,0.1875, 0.25,0.25, 0.25,-0.25
90, 0.03125,0.21875, 0.25,0.25, 0.25,-0.25
90, 0.125,0.21875, 0.25,0.25, 0.25,-0.25
90, 0.21875,0.21875, 0.25,0.25, 0.25,-0.25
*FLEX
0, 0,0, 0,0.25, 0.25,-0.25
45, 0.25,0, 0.176777,0.176777, 0.0625,-0.229,0.0625,-0.3
*GRASS
90, 0,0, 0.707107,0.707107, 0.1875,-1.226
45, 0,0, 0,1, 0.1875,-0.8125
135, 0,0, 0,1, 0.1875,-0.8125
*GRATE
0, 0,0, 0,0.03125
90, 0,0, 0,0.125
*HEX
0, 0,0, 0.1875,0.108253, 0.125,-0.25
60, 0.125,0, 0.1875,0.108253, 0.125,-0.25
120, 0.1875,0.108253, 0.1875,0.108253, 0.125,-0.25
*HONEY
0, 0,0, 0.28125,0.162380, 0.1875,-0.375
60, 0.1875,0, 0.28125,0.162380, 0.1875,-0.375
120, 0.28125,0.162380, 0.28125,0.162380, 0.1875,-0.375
*INSUL
0, 0,0, 0,0.375
0, 0,0.125, 0,0.375, 0.125,-0.125
0, 0,0.25, 0,0.375, 0.125,-0.125
*MUDST
0, 0,0, 0.5,0.25, 0.25,-0.25,0,-0.25,0,-0.25
*NET
0, 0,0, 0,0.125
90, 0,0, 0,0.125
*NET3
0, 0,0, 0,0.125
60, 0,0, 0,0.125
120, 0,0, 0,0.125
*SACNCR
45, 0,0, 0,0.09375
45, 0.066291,0, 0,0.09375, 0,-0.09375
*SQUARE
0, 0,0, 0,0.125, 0.125,-0.125
90, 0,0, 0,0.125, 0.125,-0.125
*STARS
0, 0,0, 0,0.216506, 0.125,-0.125
60, 0,0, 0,0.216506, 0.125,-0.125
120, 0.0625,0.108253, 0,0.216506, 0.125,-0.125
*STEEL
45, 0,0, 0,0.125
45, 0,0.0625, 0,0.125
*SWAMP
0, 0,0, 0.5,0.866025, 0.125,-0.875
90, 0.0625,0, 0.866025,0.5, 0.0625,-1.669
90, 0.078125,0, 0.866025,0.5, 0.05,-1.68
90, 0.046875,0, 0.866025,0.5, 0.05,-1.68
*TRANS
0, 0,0, 0,0.25
0, 0,0.125, 0,0.25, 0.125,-0.125
*TRIANG
0, 0,0, 0.1875,0.32476, 0.1875,-0.1875
60, 0,0, -0.1875,0.32476, 0.1875,-0.1875
120, 0.1875,0, 0.1875,0.32476, 0.1875,-0.1875
*ZIGZAG
0, 0,0, 0.125,0.125, 0.125,-0.125
90, 0.125,0, 0.125,-0.125, 0.125,-0.125
*ACAD_ISO02W100
0, 0,0, 0,5, 12,-3
*ACAD_ISO03W100
0, 0,0, 0,5, 12,-18
*ACAD_ISO04W100
0, 0,0, 0,5, 24,-3,0,-3
*ACAD_ISO05W100
0, 0,0, 0,5, 24,-3,0,-3,0,-3
*ACAD_ISO06W100
0, 0,0, 0,5, 24,-3,0,-3,0,-3,0,-3
*ACAD_ISO07W100
0, 0,0, 0,5, 0,-3
*ACAD_ISO08W100
0, 0,0, 0,5, 24,-3,6,-3
*ACAD_ISO09W100
0, 0,0, 0,5, 24,-3,6,-3,6,-3
*ACAD_ISO10W100
0, 0,0, 0,5, 12,-3,0,-3
*ACAD_ISO11W100
0, 0,0, 0,5, 12,-3,12,-3,0,-3
*ACAD_ISO12W100
0, 0,0, 0,5, 12,-3,0,-3,0,-3
*ACAD_ISO13W100
0, 0,0, 0,5, 12,-3,12,-3,0,-3,0,-3
*ACAD_ISO14W100
0, 0,0, 0,5, 12,-3,0,-3,0,-3,0,-3
*ACAD_ISO15W100
0, 0,0, 0,5, 12,-3,12,-3,0,-3,0,-3,0,-3
)";

struct Family {
    double angle; // degrees
    Vec2 origin;
    Vec2 step; // along, across the line
    std::vector<double> dashes;
};

std::vector<double> numbers(std::string_view line) {
    std::vector<double> out;
    size_t i = 0;
    while (i < line.size()) {
        while (i < line.size() && (line[i] == ',' || line[i] == ' '))
            ++i;
        if (i == line.size())
            break;
        double v = 0;
        const auto r = std::from_chars(line.data() + i, line.data() + line.size(), v);
        if (r.ec != std::errc())
            break;
        out.push_back(v);
        i = size_t(r.ptr - line.data());
    }
    return out;
}

const std::map<std::string, std::vector<Family>, std::less<>>& table() {
    static const auto patterns = [] {
        std::map<std::string, std::vector<Family>, std::less<>> m;
        std::vector<Family>* current = nullptr;
        size_t pos = 0;
        while (pos < kPatterns.size()) {
            size_t end = kPatterns.find('\n', pos);
            if (end == std::string_view::npos)
                end = kPatterns.size();
            const std::string_view line = kPatterns.substr(pos, end - pos);
            pos = end + 1;
            if (line.empty())
                continue;
            if (line[0] == '*') {
                current = &m[std::string(line.substr(1))];
                continue;
            }
            const std::vector<double> v = numbers(line);
            if (!current || v.size() < 5)
                continue;
            current->push_back({v[0], {v[1], v[2]}, {v[3], v[4]}, {v.begin() + 5, v.end()}});
        }
        return m;
    }();
    return patterns;
}

Vec2 rotated(Vec2 p, double a) {
    const double c = std::cos(a), s = std::sin(a);
    return {p.x * c - p.y * s, p.x * s + p.y * c};
}

} // namespace

bool standardPattern(std::string_view name, double scale, double angle, bool metric,
                     std::vector<PatternLine>& out) {
    out.clear();
    std::string key(name.substr(0, 64));
    std::transform(key.begin(), key.end(), key.begin(),
                   [](unsigned char c) { return char(std::toupper(c)); });
    while (!key.empty() && key.back() == ' ')
        key.pop_back();
    const auto& patterns = table();
    auto it = patterns.find(key);
    const bool known = it != patterns.end();
    if (!known)
        it = patterns.find("ANSI31");
    if (!(scale > 0) || !std::isfinite(scale))
        scale = 1;
    if (!std::isfinite(angle))
        angle = 0;
    // Inch patterns drawn in a millimetre drawing come in their metric size.
    if (metric && it->first.rfind("ACAD_ISO", 0) != 0)
        scale *= 25.4;
    for (const Family& f : it->second) {
        const double a = f.angle * std::numbers::pi / 180 + angle;
        PatternLine pl;
        pl.angle = a;
        pl.base = rotated({f.origin.x * scale, f.origin.y * scale}, angle);
        pl.offset = rotated({f.step.x * scale, f.step.y * scale}, a);
        for (double d : f.dashes)
            pl.dashes.push_back(d * scale);
        out.push_back(std::move(pl));
    }
    return known;
}

} // namespace dv::dxf
