#include "DxfLineTypes.h"

#include "model/Document.h"

#include <algorithm>
#include <cmath>

namespace dv::dxf {

namespace {

// CAD programs allow 12 elements; more only costs work on every line drawn.
constexpr size_t kMaxElements = 64;
constexpr int kTextElement = 2;
constexpr int kAbsoluteRotation = 1;
constexpr double kDeg = 3.14159265358979323846 / 180;

} // namespace

LineTypeRecord readLineType(Cursor& c) {
    LineTypeRecord r;
    bool drawable = false, valid = true;
    // The element the groups after a 49 describe, while it is a text one.
    LineTypeRecord::Text* text = nullptr;
    auto number = [](const Group& g) {
        const double v = toDouble(g);
        return std::isfinite(v) && std::abs(v) < 1e100 ? v : 0.0;
    };
    while (c.advance() && c.group().code != 0) {
        const Group& g = c.group();
        if (g.code == 2) {
            r.name = g.value;
        } else if (g.code == 49) {
            text = nullptr;
            if (r.dashes.size() >= kMaxElements)
                continue;
            // The count (73) and total (40) are not trusted: the elements are.
            const double d = toDouble(g);
            valid = valid && std::isfinite(d) && std::abs(d) < 1e100;
            drawable = drawable || d >= 0;
            r.dashes.push_back(d);
        } else if (g.code == 74 && !r.dashes.empty()) {
            const int flags = toInt(g);
            text = nullptr;
            if (flags & kTextElement) {
                r.texts.push_back({uint32_t(r.dashes.size() - 1),
                                   {},
                                   1,
                                   0,
                                   0,
                                   0,
                                   (flags & kAbsoluteRotation) != 0});
                text = &r.texts.back();
            }
        } else if (text) {
            switch (g.code) {
            case 9:
                text->text = g.value;
                break;
            case 46:
                text->height = number(g);
                break;
            case 50:
                text->rotation = number(g) * kDeg;
                break;
            case 44:
                text->dx = number(g);
                break;
            case 45:
                text->dy = number(g);
                break;
            default:
                break;
            }
        }
    }
    double period = 0;
    for (double d : r.dashes)
        period += std::abs(d);
    // Only gaps would hide the line; a zero period would never advance.
    if (!valid || !drawable || !(period > 0) || !std::isfinite(period)) {
        r.dashes.clear();
        r.texts.clear();
    }
    return r;
}

int16_t lineWeightCode(int raw, int16_t fallback) {
    if (raw >= LineWeight::Default && raw <= LineWeight::Max)
        return int16_t(raw);
    if (raw > LineWeight::Max) // heavier than any pen: the heaviest
        return LineWeight::Max;
    return fallback;
}

int16_t alphaCode(int raw, int16_t fallback) {
    constexpr int byBlock = 0x01000000, byValue = 0x02000000;
    if (raw == byBlock)
        return Alpha::ByBlock;
    if ((raw & 0xFF000000) == byValue)
        return int16_t(raw & 0xFF);
    return fallback;
}

} // namespace dv::dxf
