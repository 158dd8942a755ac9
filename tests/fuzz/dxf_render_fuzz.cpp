// Reads arbitrary bytes as DXF and draws what loads, fitted and zoomed in,
// in model space and on the first paper layout: linetypes, lineweights and
// every other shape must draw without crashing or hanging.

#include "formats/dxf/DxfReader.h"
#include "render/Renderer.h"

#include <QGuiApplication>
#include <QPainter>

#include <cstddef>
#include <cstdint>

extern "C" int LLVMFuzzerInitialize(int* argc, char*** argv) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    static QGuiApplication app(*argc, *argv);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    std::shared_ptr<const dv::Document> doc;
    try {
        doc =
            dv::readDxfBytes(reinterpret_cast<const char*>(data), size, QStringLiteral("fuzz.dxf"));
    } catch (const dv::ReadError&) {
        return 0;
    }
    dv::RenderScene scene(doc);
    QImage image(96, 64, QImage::Format_RGB32);
    for (size_t layout = 0; layout < doc->layouts.size() && layout < 2; ++layout) {
        for (double zoomIn : {1.0, 40.0}) {
            dv::ViewTransform view;
            view.zoomToFit(dv::Renderer::contentExtents(*doc, int(layout)), QRectF(image.rect()),
                           0.05);
            view.setZoom(view.zoom() * zoomIn, view.center());
            QPainter painter(&image);
            dv::QPainterBackend backend(painter, QRectF(image.rect()));
            dv::Renderer(scene).render(backend, view, int(layout));
        }
    }
    return 0;
}
