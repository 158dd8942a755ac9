#pragma once

// Draws one layout of a document, as a view shows it, through a paint
// back end. Inserts are followed with their transforms (depth-limited and
// cycle-safe), the spatial index culls what lies outside the view, and
// shapes smaller than a pixel become dots.

#include "PaintBackend.h"
#include "RenderScene.h"
#include "ViewTransform.h"

#include <QColor>
#include <QImage>
#include <QSize>

namespace dv {

struct RenderOptions {
    bool frame = false; // a thin frame around the extents (the sheet on paper layouts)
    QColor background;  // invalid: the layout's usual background
};

struct RenderStats {
    size_t shapes = 0; // drawn in full
    size_t dots = 0;   // drawn as a dot
    size_t skipped = 0;
};

class Renderer {
public:
    static constexpr int maxInsertDepth = 32;
    // Border of a fitted view, as a fraction of the viewport on each side.
    static constexpr double borderMargin = 0.05;

    explicit Renderer(const RenderScene& scene) : m_scene(scene) {}

    // Black for model space, white for paper layouts, grey behind rasters.
    static QColor defaultBackground(const Document& document, int layout);
    // What a fit shows: the layout's extents, or the image for rasters.
    static Box contentExtents(const Document& document, int layout);

    RenderStats render(PaintBackend& out, const ViewTransform& view, int layout,
                       const RenderOptions& options = {}) const;

private:
    const RenderScene& m_scene;
};

// The layout fitted into an image of `size`, as the control shows it.
QImage renderFitted(const RenderScene& scene, int layout, QSize size, bool withoutBorder);

} // namespace dv
