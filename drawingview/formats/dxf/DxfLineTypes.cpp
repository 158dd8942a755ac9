#include "DxfLineTypes.h"

#include "formats/shx/ShapeFiles.h"
#include "model/Document.h"

#include <algorithm>
#include <cmath>
#include <map>
#include <memory>

namespace dv::dxf {

namespace {

// CAD programs allow 12 elements; more only costs work on every line drawn.
constexpr size_t kMaxElements = 64;
constexpr int kTextElement = 2;
constexpr int kShapeElement = 4;
constexpr int kAbsoluteRotation = 1;
constexpr double kDeg = 3.14159265358979323846 / 180;

} // namespace

LineTypeRecord readLineType(Cursor& c) {
    LineTypeRecord r;
    bool drawable = false, valid = true;
    // The element the groups after a 49 describe, while it has a text or shape.
    LineTypeRecord::Placement* placed = nullptr;
    LineTypeRecord::Text* text = nullptr;
    LineTypeRecord::Shape* shape = nullptr;
    auto number = [](const Group& g) {
        const double v = toDouble(g);
        return std::isfinite(v) && std::abs(v) < 1e100 ? v : 0.0;
    };
    while (c.advance() && c.group().code != 0) {
        const Group& g = c.group();
        if (g.code == 2) {
            r.name = g.value;
        } else if (g.code == 49) {
            placed = nullptr;
            text = nullptr;
            shape = nullptr;
            if (r.dashes.size() >= kMaxElements)
                continue;
            // The count (73) and total (40) are not trusted: the elements are.
            const double d = toDouble(g);
            valid = valid && std::isfinite(d) && std::abs(d) < 1e100;
            drawable = drawable || d >= 0;
            r.dashes.push_back(d);
        } else if (g.code == 74 && !r.dashes.empty()) {
            const int flags = toInt(g);
            placed = nullptr;
            text = nullptr;
            shape = nullptr;
            LineTypeRecord::Placement at;
            at.element = uint32_t(r.dashes.size() - 1);
            at.absolute = (flags & kAbsoluteRotation) != 0;
            if (flags & kTextElement) {
                r.texts.push_back({at, {}});
                placed = text = &r.texts.back();
            } else if (flags & kShapeElement) {
                r.shapes.push_back({at, 0, 0});
                placed = shape = &r.shapes.back();
            }
        } else if (placed) {
            switch (g.code) {
            case 9:
                if (text)
                    text->text = g.value;
                break;
            case 75:
                if (shape)
                    shape->number = toInt(g);
                break;
            case 340:
                if (shape)
                    shape->style = toHandle(g);
                break;
            case 46:
                placed->size = number(g);
                break;
            case 50:
                placed->rotation = number(g) * kDeg;
                break;
            case 44:
                placed->dx = number(g);
                break;
            case 45:
                placed->dy = number(g);
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
        r.shapes.clear();
    }
    return r;
}

void placeLineTypeShapes(Document& doc, const std::vector<PendingShapes>& pending,
                         const std::unordered_map<uint64_t, QString>& styleFiles) {
    if (pending.empty())
        return;
    shx::ShapeFiles files(doc.fileName);
    // Each shape is drawn once however many linetypes use it.
    std::map<std::pair<const shx::ShapeFile*, uint16_t>, std::shared_ptr<const ShapeStrokes>> drawn;
    for (const PendingShapes& p : pending) {
        if (p.lineType < 0 || size_t(p.lineType) >= doc.lineTypes.size())
            continue;
        LineType& type = doc.lineTypes[size_t(p.lineType)];
        type.shapes.clear();
        type.shapeReach = 0;
        for (const LineTypeRecord::Shape& s : p.shapes) {
            if (s.number <= 0 || s.number > 0xFFFF || !(s.size > 0) ||
                s.element >= type.dashes.size())
                continue;
            LineTypeShape shape;
            shape.element = s.element;
            shape.number = uint16_t(s.number);
            shape.scale = s.size;
            shape.rotation = s.rotation;
            shape.absolute = s.absolute;
            shape.dx = s.dx;
            shape.dy = s.dy;
            const auto style = styleFiles.find(s.style);
            const shx::ShapeFile* file =
                style == styleFiles.end() ? nullptr : files.find(style->second, doc.problems);
            if (const shx::ShapeCodes* codes = file ? file->find(shape.number) : nullptr) {
                shape.name = QString::fromLatin1(codes->name.data(), qsizetype(codes->name.size()));
                auto [it, added] = drawn.try_emplace({file, shape.number});
                if (added) {
                    auto strokes = std::make_shared<ShapeStrokes>(file->strokes(shape.number));
                    if (!strokes->strokes.empty())
                        it->second = std::move(strokes);
                }
                shape.strokes = it->second;
            }
            if (shape.strokes)
                for (const auto& stroke : shape.strokes->strokes)
                    for (Vec2 q : stroke)
                        type.shapeReach =
                            std::max(type.shapeReach, std::hypot(q.x, q.y) * shape.scale +
                                                          std::hypot(shape.dx, shape.dy));
            type.shapes.push_back(std::move(shape));
        }
    }
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
