// vistrel-tool: what the control reads from a file, and a picture of it,
// from the command line and without a display.

#include "formats/Reader.h"
#include "model/Units.h"
#include "render/Renderer.h"

#include <QElapsedTimer>
#include <QGuiApplication>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QRegularExpression>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <memory>

using namespace dv;

namespace {

constexpr int exitFailure = 1;
constexpr int exitUsage = 2;
constexpr int maxImageSide = 16384;

void printErr(const QString& text) {
    std::fprintf(stderr, "vistrel-tool: %s\n", text.toLocal8Bit().constData());
}

int usage() {
    std::fputs("usage: vistrel-tool info FILE\n"
               "       vistrel-tool render FILE OUT.png [--size WxH] [--layout NAME] "
               "[--without-border]\n"
               "       vistrel-tool thumbnail FILE OUT.png SIZE\n",
               stderr);
    return exitUsage;
}

QString colorName(const Color& c) {
    const uint32_t rgb = c.kind == Color::Kind::Rgb ? c.rgb : 0xFFFFFFu; // colour 7 is white
    return QStringLiteral("#%1").arg(rgb, 6, 16, QLatin1Char('0'));
}

QJsonArray boxArray(const Box& b) {
    if (!b.isValid())
        return {};
    return {b.minX, b.minY, b.maxX, b.maxY};
}

QJsonObject counts(const std::map<QString, int>& m) {
    QJsonObject o;
    for (const auto& [name, count] : m)
        o.insert(name, count);
    return o;
}

QJsonObject info(const Document& doc, qint64 loadMs) {
    QJsonObject o;
    o.insert("file", doc.fileName);
    o.insert("format", doc.format);
    const bool raster = doc.kind == Document::Kind::Raster;
    o.insert("kind", raster ? "raster" : "drawing");
    const Box extents = Renderer::contentExtents(doc, doc.activeLayout);
    o.insert("width", raster ? double(doc.raster.width()) : extents.width());
    o.insert("height", raster ? double(doc.raster.height()) : extents.height());

    QJsonArray layers;
    for (const Layer& l : doc.layers)
        layers.append(QJsonObject{
            {"name", l.name}, {"color", colorName(l.color)}, {"visible", l.isVisible()}});
    o.insert("layers", layers);

    QJsonArray layouts;
    QJsonObject entities;
    for (const Layout& l : doc.layouts) {
        layouts.append(QJsonObject{{"name", l.name}, {"extents", boxArray(l.extents)}});
        if (l.block >= 0 && l.block < int(doc.blocks.size()))
            entities.insert(l.name, counts(doc.blocks[l.block].entityCounts));
    }
    o.insert("layouts", layouts);
    if (doc.activeLayout >= 0 && doc.activeLayout < int(doc.layouts.size()))
        o.insert("activeLayout", doc.layouts[doc.activeLayout].name);
    o.insert("entities", entities);
    o.insert("skipped", counts(doc.skippedEntities));
    if (!doc.problems.empty()) {
        QJsonArray problems;
        for (const QString& p : doc.problems)
            problems.append(p);
        o.insert("problems", problems);
    }
    o.insert("blocks", int(doc.blocks.size()));
    QJsonObject header;
    for (const auto& [name, value] : doc.header)
        header.insert(name, value);
    o.insert("header", header);
    if (!raster) {
        o.insert("units", unitName(doc.header));
        const QString measurement = measurementName(doc.header);
        if (!measurement.isEmpty())
            o.insert("measurement", measurement);
    }
    o.insert("loadMs", double(loadMs));
    return o;
}

std::unique_ptr<Document> load(const QString& path, qint64& ms) {
    QElapsedTimer timer;
    timer.start();
    auto doc = ReaderRegistry::builtin().load(path);
    ms = timer.elapsed();
    return doc;
}

int runInfo(const QStringList& args) {
    if (args.size() != 1)
        return usage();
    qint64 ms = 0;
    const auto doc = load(args[0], ms);
    std::fputs(QJsonDocument(info(*doc, ms)).toJson(QJsonDocument::Indented).constData(), stdout);
    return 0;
}

int savePicture(const QImage& image, const QString& out, const char* format) {
    if (!image.save(out, format)) {
        printErr(QStringLiteral("cannot write the picture \"%1\"").arg(out));
        return exitFailure;
    }
    return 0;
}

int runRender(QStringList args) {
    if (args.size() < 2)
        return usage();
    const QString in = args.takeFirst(), out = args.takeFirst();
    QSize size(1024, 768);
    QString layoutName;
    bool withoutBorder = false;
    while (!args.isEmpty()) {
        const QString opt = args.takeFirst();
        if (opt == "--without-border") {
            withoutBorder = true;
            continue;
        }
        if (args.isEmpty())
            return usage();
        const QString value = args.takeFirst();
        if (opt == "--size") {
            const auto m = QRegularExpression("^(\\d{1,5})x(\\d{1,5})$").match(value);
            if (!m.hasMatch())
                return usage();
            size = QSize(m.captured(1).toInt(), m.captured(2).toInt());
            if (size.width() < 1 || size.height() < 1 || size.width() > maxImageSide ||
                size.height() > maxImageSide) {
                printErr(
                    QStringLiteral("the size must be between 1x1 and %1x%1").arg(maxImageSide));
                return exitUsage;
            }
        } else if (opt == "--layout") {
            layoutName = value;
        } else {
            return usage();
        }
    }
    qint64 ms = 0;
    std::shared_ptr<Document> doc = load(in, ms);
    int layout = doc->activeLayout;
    if (!layoutName.isEmpty()) {
        layout = -1;
        for (size_t i = 0; i < doc->layouts.size(); ++i)
            if (doc->layouts[i].name.compare(layoutName, Qt::CaseInsensitive) == 0)
                layout = int(i);
        if (layout < 0) {
            printErr(QStringLiteral("\"%1\" has no layout named \"%2\"").arg(in, layoutName));
            return exitFailure;
        }
    }
    RenderScene scene(doc);
    return savePicture(renderFitted(scene, layout, size, withoutBorder), out, nullptr);
}

// The drawing's own shape, its longer side `side` pixels long.
QSize thumbnailSize(const Document& doc, int side) {
    double w = doc.raster.width(), h = doc.raster.height();
    if (doc.kind != Document::Kind::Raster) {
        const Box extents = Renderer::contentExtents(doc, doc.activeLayout);
        w = extents.isValid() ? extents.width() : 0;
        h = extents.isValid() ? extents.height() : 0;
    }
    if (!(w > 0) || !(h > 0))
        return QSize(side, side);
    if (w >= h)
        return QSize(side, std::max(1, int(std::lround(side * h / w))));
    return QSize(std::max(1, int(std::lround(side * w / h))), side);
}

// For file managers (the thumbnailer entry): always PNG, whatever OUT is called.
int runThumbnail(const QStringList& args) {
    if (args.size() != 3)
        return usage();
    bool ok = false;
    const int side = args[2].toInt(&ok);
    if (!ok || side < 1 || side > maxImageSide) {
        printErr(QStringLiteral("the size must be between 1 and %1").arg(maxImageSide));
        return exitUsage;
    }
    qint64 ms = 0;
    std::shared_ptr<Document> doc = load(args[0], ms);
    RenderScene scene(doc);
    const QImage image = renderFitted(scene, doc->activeLayout, thumbnailSize(*doc, side), false);
    return savePicture(image, args[1], "PNG");
}

} // namespace

int main(int argc, char** argv) {
    // Fonts need a GUI application; no display is needed for that.
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);
    QStringList args = app.arguments().mid(1);
    if (args.isEmpty())
        return usage();
    const QString command = args.takeFirst();
    try {
        if (command == "info")
            return runInfo(args);
        if (command == "render")
            return runRender(args);
        if (command == "thumbnail")
            return runThumbnail(args);
        return usage();
    } catch (const std::exception& e) {
        printErr(QString::fromLocal8Bit(e.what()));
        return exitFailure;
    }
}
