#include "WmfDc.h"

#include <algorithm>
#include <cmath>

namespace dv::wmf {

namespace {

// Enough for any sane nesting; deeper SaveDC calls are ignored.
constexpr size_t kMaxSavedStates = 1024;

// Millimetres per logical unit of the fixed map modes.
double fixedUnitMm(uint16_t mode) {
    switch (mode) {
    case MmLoMetric:
        return 0.1;
    case MmHiMetric:
        return 0.01;
    case MmLoEnglish:
        return 0.254;
    case MmHiEnglish:
        return 0.0254;
    case MmTwips:
        return 25.4 / 1440.0;
    default:
        return 0;
    }
}

} // namespace

Dc::Dc(double deviceMm, int nObjects)
    : m_deviceMm(deviceMm), m_objects(size_t(std::max(nObjects, 0))) {}

void Dc::setFrame(double left, double top, double right, double bottom) {
    // The player's own setup: the whole picture's window fills the frame.
    m_frameLeft = left;
    m_frameBottom = bottom;
    state.mapMode = MmAnisotropic;
    state.windowOrgX = state.viewportOrgX = left;
    state.windowOrgY = state.viewportOrgY = top;
    state.windowExtX = state.viewportExtX = right - left;
    state.windowExtY = state.viewportExtY = bottom - top;
}

void Dc::scale(double& sx, double& sy) const {
    const DcState& s = state;
    if (const double unit = fixedUnitMm(s.mapMode); unit > 0) {
        sx = unit / m_deviceMm;
        sy = -sx; // logical y runs up in the metric and English modes
        return;
    }
    if (s.mapMode != MmIsotropic && s.mapMode != MmAnisotropic) {
        sx = sy = 1;
        return;
    }
    sx = s.viewportExtX / s.windowExtX;
    sy = s.viewportExtY / s.windowExtY;
    if (s.mapMode == MmIsotropic) {
        const double m = std::min(std::abs(sx), std::abs(sy));
        sx = std::copysign(m, sx);
        sy = std::copysign(m, sy);
    }
}

Vec2 Dc::map(double x, double y) const {
    double sx = 1, sy = 1;
    scale(sx, sy);
    const double dx = (x - state.windowOrgX) * sx + state.viewportOrgX;
    const double dy = (y - state.windowOrgY) * sy + state.viewportOrgY;
    return {(dx - m_frameLeft) * m_deviceMm, (m_frameBottom - dy) * m_deviceMm};
}

double Dc::lengthX(double d) const {
    double sx = 1, sy = 1;
    scale(sx, sy);
    return std::abs(d * sx) * m_deviceMm;
}

double Dc::lengthY(double d) const {
    double sx = 1, sy = 1;
    scale(sx, sy);
    return std::abs(d * sy) * m_deviceMm;
}

bool Dc::addObject(GdiObject object) {
    for (GdiObject& slot : m_objects) {
        if (slot.kind == GdiObject::Free) {
            slot = std::move(object);
            return true;
        }
    }
    return false;
}

void Dc::selectObject(int index) {
    if (index < 0 || index >= int(m_objects.size()))
        return;
    const GdiObject& o = m_objects[size_t(index)];
    switch (o.kind) {
    case GdiObject::PenObject:
        state.pen = o.pen;
        break;
    case GdiObject::BrushObject:
        state.brush = o.brush;
        break;
    case GdiObject::FontObject:
        state.font = o.font;
        break;
    case GdiObject::PaletteObject:
        state.palette = o.palette;
        break;
    default:
        break;
    }
}

void Dc::deleteObject(int index) {
    if (index >= 0 && index < int(m_objects.size()))
        m_objects[size_t(index)] = GdiObject{};
}

void Dc::save() {
    if (m_saved.size() < kMaxSavedStates)
        m_saved.push_back(state);
}

bool Dc::restore(int n) {
    const int count = int(m_saved.size());
    const int target = n < 0 ? count + n : n - 1;
    if (n == 0 || target < 0 || target >= count)
        return false;
    state = m_saved[size_t(target)];
    m_saved.resize(size_t(target));
    return true;
}

uint32_t Dc::rgb(uint32_t colorRef) const {
    if ((colorRef >> 24) == 1) {
        const uint32_t i = colorRef & 0xFFFF;
        return i < state.palette.size() ? state.palette[i] : 0;
    }
    return (colorRef & 0xFF) << 16 | (colorRef & 0xFF00) | (colorRef >> 16 & 0xFF);
}

} // namespace dv::wmf
