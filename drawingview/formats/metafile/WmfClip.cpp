#include "WmfClip.h"

#include "model/Clipping.h"

#include <algorithm>

namespace dv::wmf {

namespace {

bool clipSegment(Vec2 a, Vec2 b, const Box& box, double& t0, double& t1) {
    return clipParameters(a.x, a.y, b.x, b.y, box.minX, box.minY, box.maxX, box.maxY, t0, t1);
}

Vec2 along(Vec2 a, Vec2 b, double t) {
    return {a.x + (b.x - a.x) * t, a.y + (b.y - a.y) * t};
}

} // namespace

std::vector<std::vector<Vec2>> clipPath(const std::vector<Vec2>& pts, bool closed, const Box& box) {
    std::vector<std::vector<Vec2>> pieces;
    std::vector<Vec2> piece;
    const size_t segments = pts.size() < 2 ? 0 : closed ? pts.size() : pts.size() - 1;
    for (size_t i = 0; i < segments; ++i) {
        const Vec2 a = pts[i], b = pts[(i + 1) % pts.size()];
        double t0, t1;
        if (!clipSegment(a, b, box, t0, t1)) {
            if (piece.size() >= 2)
                pieces.push_back(std::move(piece));
            piece.clear();
            continue;
        }
        if (piece.empty() || t0 > 0) {
            if (piece.size() >= 2)
                pieces.push_back(std::move(piece));
            piece = {along(a, b, t0)};
        }
        piece.push_back(along(a, b, t1));
        if (t1 < 1) {
            pieces.push_back(std::move(piece));
            piece.clear();
        }
    }
    if (piece.size() >= 2)
        pieces.push_back(std::move(piece));
    return pieces;
}

std::vector<Vec2> clipRing(const std::vector<Vec2>& ring, const Box& box) {
    // Sutherland-Hodgman, one edge of the box at a time.
    std::vector<Vec2> out = ring, in;
    auto edge = [&](auto inside, auto cross) {
        in.swap(out);
        out.clear();
        for (size_t i = 0; i < in.size(); ++i) {
            const Vec2 a = in[i], b = in[(i + 1) % in.size()];
            const bool ia = inside(a), ib = inside(b);
            if (ia)
                out.push_back(a);
            if (ia != ib)
                out.push_back(cross(a, b));
        }
    };
    auto atX = [](double x) {
        return [x](Vec2 a, Vec2 b) { return along(a, b, (x - a.x) / (b.x - a.x)); };
    };
    auto atY = [](double y) {
        return [y](Vec2 a, Vec2 b) { return along(a, b, (y - a.y) / (b.y - a.y)); };
    };
    edge([&](Vec2 p) { return p.x >= box.minX; }, atX(box.minX));
    edge([&](Vec2 p) { return p.x <= box.maxX; }, atX(box.maxX));
    edge([&](Vec2 p) { return p.y >= box.minY; }, atY(box.minY));
    edge([&](Vec2 p) { return p.y <= box.maxY; }, atY(box.maxY));
    return out;
}

} // namespace dv::wmf
