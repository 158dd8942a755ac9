// Redraw speed of the renderer on large generated drawings: index build,
// then a full redraw into a 1600x1000 image at fit and at 10x zoom.
// `bench_redraw --file FILE` times one drawing's index and fit instead.
// The index is timed whole: the shapes' bounds and the trees over them.

#include "GeneratedDrawing.h"
#include "formats/Reader.h"
#include "formats/raster/RasterPyramid.h"
#include "render/Renderer.h"

#include <QElapsedTimer>
#include <QGuiApplication>
#include <QPainter>

#include <algorithm>
#include <cstdio>
#include <ctime>
#include <numbers>
#include <random>

using namespace dv;

namespace {

// CPU time of this thread: on a shared machine it says more than the wall clock.
double cpuMs() {
    timespec ts{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &ts);
    return ts.tv_sec * 1e3 + ts.tv_nsec / 1e6;
}

double medianMs(std::vector<double> v) {
    std::sort(v.begin(), v.end());
    return v[v.size() / 2];
}

struct Timing {
    double wallMs;
    double cpuMs;
};

// bands 0: one plain pass; otherwise that many bands at once, as the screen
// draws them, with level of detail.
Timing redrawMs(const RenderScene& scene, QImage& image, double zoomFactor, RenderStats& stats,
                int bands = 0) {
    ViewTransform view;
    view.zoomToFit(scene.document().layouts[0].extents, QRectF(image.rect()), 0.05);
    view.setZoom(view.zoom() * zoomFactor, view.center());
    std::vector<double> wall, cpu;
    for (int i = 0; i < 5; ++i) {
        QElapsedTimer t;
        t.start();
        const double c0 = cpuMs();
        if (bands > 0) {
            RenderOptions options;
            options.levelOfDetail = true;
            stats = renderInBands(scene, image, view, 0, options, bands);
        } else {
            QPainter painter(&image);
            QPainterBackend backend(painter, QRectF(image.rect()));
            stats = Renderer(scene).render(backend, view, 0);
        }
        cpu.push_back(cpuMs() - c0);
        wall.push_back(t.nsecsElapsed() / 1e6);
    }
    return {medianMs(wall), medianMs(cpu)};
}

// A large photo-sized raster: the pyramid keeps zoomed-out views cheap and
// only the visible part is drawn when zoomed in.
void benchRaster(QImage& target) {
    const int side = 12000;
    auto doc = std::make_shared<Document>();
    doc->kind = Document::Kind::Raster;
    doc->raster = QImage(side, side, QImage::Format_RGB32);
    for (int y = 0; y < side; ++y) {
        auto* line = reinterpret_cast<QRgb*>(doc->raster.scanLine(y));
        for (int x = 0; x < side; ++x)
            line[x] = qRgb(x & 255, y & 255, (x ^ y) & 255);
    }
    QElapsedTimer t;
    t.start();
    doc->rasterPyramid = raster::buildPyramid(doc->raster);
    const double pyramidMs = t.nsecsElapsed() / 1e6;
    RenderScene scene(doc);
    std::printf("\nraster %dx%d: pyramid %.1f ms (%zu levels)\n", side, side, pyramidMs,
                doc->rasterPyramid.size());
    for (double zoom : {0.0, 1.0, 4.0}) {
        ViewTransform view;
        view.zoomToFit(Renderer::contentExtents(*doc, 0), QRectF(target.rect()), 0);
        if (zoom > 0)
            view.setZoom(zoom, view.center());
        std::vector<double> wall, cpu;
        for (int i = 0; i < 5; ++i) {
            QElapsedTimer w;
            w.start();
            const double c0 = cpuMs();
            QPainter painter(&target);
            QPainterBackend backend(painter, QRectF(target.rect()));
            Renderer(scene).render(backend, view, 0);
            painter.end();
            cpu.push_back(cpuMs() - c0);
            wall.push_back(w.nsecsElapsed() / 1e6);
        }
        std::printf("  redraw at %-6s %8.1f ms (%7.1f cpu)\n",
                    zoom == 0   ? "fit"
                    : zoom == 1 ? "1:1"
                                : "4x",
                    medianMs(wall), medianMs(cpu));
    }
}

// The same redraws as the screen draws them: level of detail, and two bands
// drawn at once, one per core.
void printBanded(const RenderScene& scene, QImage& image, const char* label) {
    RenderStats fitStats, zoomStats;
    const Timing fit = redrawMs(scene, image, 1.0, fitStats, 2);
    const Timing zoom = redrawMs(scene, image, 10.0, zoomStats, 2);
    std::printf("%10s %12s %8s %9s %10.1f (%9.1f) %10zu %10.1f (%9.1f) %10zu\n", label, "", "", "",
                fit.wallMs, fit.cpuMs, fitStats.dots, zoom.wallMs, zoom.cpuMs, zoomStats.shapes);
}

// A drawing from a file: its first banded redraw at fit (as the screen's
// first picture after opening it), then the median of five more.
int benchFile(const QString& path) {
    std::shared_ptr<Document> doc;
    try {
        doc = ReaderRegistry::builtin().load(path);
    } catch (const std::exception& e) {
        std::fprintf(stderr, "%s\n", e.what());
        return 1;
    }
    QElapsedTimer t;
    t.start();
    RenderScene scene(doc);
    scene.buildAll(); // the bounds: all a fit needs
    const double indexMs = t.nsecsElapsed() / 1e6;
    QImage image(1600, 1000, QImage::Format_RGB32);
    ViewTransform view;
    view.zoomToFit(doc->layouts[0].extents, QRectF(image.rect()), 0.05);
    RenderOptions options;
    options.levelOfDetail = true;
    t.restart();
    renderInBands(scene, image, view, 0, options, 2);
    const double firstMs = t.nsecsElapsed() / 1e6;
    t.restart();
    scene.packTrees();
    const double treeMs = t.nsecsElapsed() / 1e6;
    RenderStats stats;
    const Timing fit = redrawMs(scene, image, 1.0, stats, 2);
    std::printf("%s: bounds %.1f ms, first fit in 2 bands %.1f ms, trees %.1f ms, "
                "then fits of %.1f ms (%.1f cpu)\n",
                qPrintable(path), indexMs, firstMs, treeMs, fit.wallMs, fit.cpuMs);
    if (qEnvironmentVariableIsSet("PROFILE_FIT"))
        for (int i = 0; i < 20; ++i)
            redrawMs(scene, image, 1.0, stats, 2);
    return 0;
}

} // namespace

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);
    if (argc == 3 && QByteArray(argv[1]) == "--file")
        return benchFile(QString::fromLocal8Bit(argv[2]));
    QImage image(1600, 1000, QImage::Format_RGB32);
    // PROFILE_FIT=zoom only redraws the million at that zoom, for a profiler;
    // PROFILE_BANDS=n as the screen does, in n bands.
    // PROFILE_INDEX=1 only indexes the million, five times.
    if (qEnvironmentVariableIsSet("PROFILE_INDEX")) {
        const std::shared_ptr<Document> doc = makeDrawing(1'000'000, 42);
        for (int i = 0; i < 5; ++i)
            RenderScene(doc).packTrees();
        return 0;
    }
    if (qEnvironmentVariableIsSet("PROFILE_FIT")) {
        const std::shared_ptr<Document> doc = makeDrawing(1'000'000, 42);
        RenderScene scene(doc);
        scene.buildAll();
        RenderStats st;
        for (int i = 0; i < 6; ++i)
            redrawMs(scene, image, qEnvironmentVariableIntValue("PROFILE_FIT"), st,
                     qEnvironmentVariableIntValue("PROFILE_BANDS"));
        return 0;
    }
    std::printf("median of 5 redraws; wall clock and (in brackets) this thread's CPU time\n");
    std::printf("%10s %12s %18s %22s %10s %22s %10s\n", "entities", "generate_ms", "index_ms",
                "fit_ms", "fit_dots", "zoom10_ms", "zoom10_n");
    for (int n : {100'000, 1'000'000}) {
        QElapsedTimer t;
        t.start();
        const std::shared_ptr<Document> doc = makeDrawing(n, 42);
        const double genMs = t.nsecsElapsed() / 1e6;
        t.restart();
        const double c0 = cpuMs();
        RenderScene scene(doc);
        scene.packTrees(); // bounds and trees, as a closer view needs them
        const double indexMs = t.nsecsElapsed() / 1e6, indexCpu = cpuMs() - c0;
        RenderStats fitStats, zoomStats;
        const Timing fit = redrawMs(scene, image, 1.0, fitStats);
        const Timing zoom = redrawMs(scene, image, 10.0, zoomStats);
        std::printf("%10d %12.1f %8.1f (%7.1f) %10.1f (%9.1f) %10zu %10.1f (%9.1f) %10zu\n", n,
                    genMs, indexMs, indexCpu, fit.wallMs, fit.cpuMs, fitStats.dots, zoom.wallMs,
                    zoom.cpuMs, zoomStats.shapes);
        if (argc > 1)
            image.save(QString("%1/bench_%2.png").arg(argv[1]).arg(n));
        if (n == 1'000'000)
            printBanded(scene, image, "screen");
    }
    // The same million entities with a dash pattern on every layer (about
    // two dashes to an entity at fit), then with lineweights shown instead.
    for (const char* variant : {"dashed", "weights"}) {
        std::shared_ptr<Document> doc = makeDrawing(1'000'000, 42);
        if (variant[0] == 'd') {
            doc->lineTypes.push_back({"DASHED", {2, -1}, 3, {}, {}, 0});
            for (Layer& l : doc->layers)
                l.lineType = 0;
        } else {
            doc->showLineWeights = true;
            for (Layer& l : doc->layers)
                l.lineWeight = 50;
        }
        RenderScene scene(doc);
        scene.buildAll();
        RenderStats fitStats, zoomStats;
        const Timing fit = redrawMs(scene, image, 1.0, fitStats);
        const Timing zoom = redrawMs(scene, image, 10.0, zoomStats);
        std::printf("%10s %12s %8s %9s %10.1f (%9.1f) %10zu %10.1f (%9.1f) %10zu\n", variant, "",
                    "", "", fit.wallMs, fit.cpuMs, fitStats.dots, zoom.wallMs, zoom.cpuMs,
                    zoomStats.shapes);
        printBanded(scene, image, variant[0] == 'd' ? "dashed scr" : "weights scr");
    }
    benchRaster(image);
    return 0;
}
