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

#include <atomic>

namespace dv {

struct RenderOptions {
    bool frame = false; // a thin frame around the extents (the sheet on paper layouts)
    QColor background;  // invalid: the layout's usual background
    // Polled while drawing; once it reads true the pass stops early and the
    // picture is incomplete.
    const std::atomic<bool>* cancel = nullptr;
    // The whole picture in device pixels when the back end covers only a
    // band of it; empty when the back end's bounds are the whole picture.
    QRectF picture;
    // Batches drawn at fixed points of the file's order and by colour, so a
    // pixel's result does not depend on what else the pass draws: passes
    // on different bands of one picture then agree where they meet.
    bool bandStable = false;
    // Shapes a few pixels across are written straight into the image as the
    // pixels they cover, not stroked one by one: the screen's choice, as
    // the picture differs from the plain one by a pixel here and there.
    bool levelOfDetail = false;
};

struct RenderStats {
    size_t shapes = 0; // drawn in full
    size_t dots = 0;   // drawn as a dot
    size_t skipped = 0;
    bool cancelled = false;

    RenderStats& operator+=(const RenderStats& o) {
        shapes += o.shapes, dots += o.dots, skipped += o.skipped;
        cancelled = cancelled || o.cancelled;
        return *this;
    }
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

// Draws the view into `image` with one pass per horizontal band, each on a
// thread of its own, in the band-stable order: the picture is the same for
// any number of bands. It differs from a plain pass only in which of two
// overlapping colours lies on top.
RenderStats renderInBands(const RenderScene& scene, QImage& image, const ViewTransform& view,
                          int layout, const RenderOptions& options, int bands);

// The layout fitted into an image of `size`, as the control shows it.
QImage renderFitted(const RenderScene& scene, int layout, QSize size, bool withoutBorder);

} // namespace dv
