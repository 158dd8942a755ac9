#include "Clipping.h"

#include <algorithm>

namespace dv {

bool clipParameters(double ax, double ay, double bx, double by, double minX, double minY,
                    double maxX, double maxY, double& t0, double& t1) {
    t0 = 0, t1 = 1;
    const double dx = bx - ax, dy = by - ay;
    const double p[4] = {-dx, dx, -dy, dy};
    const double q[4] = {ax - minX, maxX - ax, ay - minY, maxY - ay};
    for (int i = 0; i < 4; ++i) {
        if (p[i] == 0) {
            if (q[i] < 0)
                return false;
            continue;
        }
        const double t = q[i] / p[i];
        if (p[i] < 0)
            t0 = std::max(t0, t);
        else
            t1 = std::min(t1, t);
        if (t0 > t1)
            return false;
    }
    return true;
}

Box clippedBox(const Box& box, const std::vector<Vec2>& polygon) {
    Box clip;
    for (Vec2 p : polygon)
        clip.add(p);
    Box out;
    if (!box.isValid() || !clip.isValid() || clip.minX > box.maxX || clip.maxX < box.minX ||
        clip.minY > box.maxY || clip.maxY < box.minY)
        return out;
    out.add(std::max(box.minX, clip.minX), std::max(box.minY, clip.minY));
    out.add(std::min(box.maxX, clip.maxX), std::min(box.maxY, clip.maxY));
    return out;
}

} // namespace dv
