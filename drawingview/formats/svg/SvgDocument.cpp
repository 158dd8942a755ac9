#include "SvgDocument.h"

#include "SvgOutline.h"
#include "SvgUnits.h"

#include <QGuiApplication>
#include <QPainter>
#include <QPicture>
#include <QSvgRenderer>

namespace dv::svg {

namespace {

// Code 4 of $INSUNITS is millimetres, 0 unitless (SVG px).
const char* const kInsUnitsMm = "4";
const char* const kInsUnitsNone = "0";

struct Recorded {
    std::shared_ptr<const QPicture> picture;
    QRectF bounds; // user units
};

// Paints one element in user coordinates, clipped to the viewport.
Recorded record(QSvgRenderer& renderer, const QString& id, const QRectF& viewport) {
    const QRectF bounds = renderer.boundsOnElement(id);
    auto picture = std::make_shared<QPicture>();
    {
        QPainter painter(picture.get());
        // Intersected, not replaced: replayed, the picture keeps the clip
        // of the view it is drawn into.
        if (viewport.isValid())
            painter.setClipRect(viewport, Qt::IntersectClip);
        // Same source and target: Qt paints the element where it is.
        renderer.render(&painter, id, bounds);
    }
    Recorded r;
    if (picture->size() == 0 || (!picture->boundingRect().isValid() && bounds.isEmpty()))
        return r;
    // Qt's element bounds can leave out wide strokes and markers; the
    // recorded bounds (whole units) catch those.
    // The picture's corners in floating point: its width as an int can
    // overflow for far-flung content.
    const QRect drawn = picture->boundingRect();
    QRectF b =
        bounds.united(QRectF(QPointF(drawn.left(), drawn.top()),
                             QPointF(double(drawn.right()) + 1, double(drawn.bottom()) + 1)));
    if (viewport.isValid())
        b = b.intersected(viewport);
    if (b.isEmpty())
        return r;
    r.picture = std::move(picture);
    r.bounds = b;
    return r;
}

// Top-level elements that paint nothing themselves by design.
bool isNonGraphic(const QString& tag) {
    static const QStringList tags = {
        QStringLiteral("defs"),           QStringLiteral("style"),
        QStringLiteral("title"),          QStringLiteral("desc"),
        QStringLiteral("metadata"),       QStringLiteral("symbol"),
        QStringLiteral("script"),         QStringLiteral("linearGradient"),
        QStringLiteral("radialGradient"), QStringLiteral("pattern"),
        QStringLiteral("clipPath"),       QStringLiteral("mask"),
        QStringLiteral("marker"),         QStringLiteral("filter"),
        QStringLiteral("font"),           QStringLiteral("namedview")};
    return tags.contains(tag);
}

} // namespace

std::unique_ptr<Document> buildDocument(const QByteArray& xml, const QString& fileName,
                                        const ProgressFn& progress, const BuildOptions& options) {
    const auto report = [&](int p) {
        if (progress)
            progress(p);
    };
    report(0);
    // Qt lays out SVG text through its font database, which aborts the
    // process when there is no GUI application.
    if (!qobject_cast<QGuiApplication*>(QCoreApplication::instance()))
        throw ReadError(fileName, QStringLiteral("SVG drawings can only be read in a program "
                                                 "with a graphical user interface"));
    const Outline outline = scanOutline(xml, fileName);
    report(10);
    QSvgRenderer renderer;
    if (!renderer.load(outline.xml) || !renderer.isValid())
        throw ReadError(fileName, QStringLiteral("the SVG document cannot be interpreted"));
    report(20);

    // Only what Qt knows as a painted node can be recorded; the rest (defs,
    // styles, metadata) contributes through what refers to it.
    std::vector<const TopElement*> painted;
    QRectF content;
    for (const TopElement& e : outline.elements) {
        if (isNonGraphic(e.tag) || !renderer.elementExists(e.id))
            continue;
        painted.push_back(&e);
        content = content.united(renderer.boundsOnElement(e.id));
    }
    std::optional<Page> page;
    if (options.frameMm) {
        page = Page{true, *options.frameMm, options.userToMm, QRectF()};
    } else {
        page = pageFor(outline.width, outline.height, outline.viewBox, outline.preserveAspectRatio,
                       content);
    }
    const auto layerOf = [&](const TopElement& e) {
        if (!options.singleLayer.isEmpty())
            return options.singleLayer;
        return e.layer.isEmpty() ? QStringLiteral("0") : e.layer;
    };

    auto doc = std::make_unique<Document>();
    doc->kind = Document::Kind::Drawing;
    doc->format = options.format;
    doc->fileName = fileName;
    doc->exactColors = true;
    doc->header[QStringLiteral("$INSUNITS")] =
        QString::fromLatin1(page && page->millimetres ? kInsUnitsMm : kInsUnitsNone);
    doc->blocks.emplace_back();
    doc->blocks.back().name = QStringLiteral("*Model_Space");
    Layout layout;
    layout.name = QStringLiteral("Model");
    layout.block = 0;
    layout.paperSpace = true;
    doc->layouts.push_back(layout);

    // Groups give layers in document order; loose elements share layer 0.
    for (const TopElement& e : outline.elements)
        if (!e.layer.isEmpty() || (!isNonGraphic(e.tag) && renderer.elementExists(e.id)))
            doc->layerIndex(layerOf(e));

    const QTransform userToPage = page ? page->userToPage : QTransform();
    const double pageHeight = page ? page->size.height() : content.bottom();
    const QRectF viewport = page ? page->viewport : QRectF();
    // Page y runs down from the top edge; drawing y runs up from the bottom.
    Picture placed;
    placed.origin = {userToPage.dx(), pageHeight - userToPage.dy()};
    placed.u = {userToPage.m11(), -userToPage.m12()};
    placed.v = {userToPage.m21(), -userToPage.m22()};

    Block& block = doc->blocks[0];
    for (size_t i = 0; i < painted.size(); ++i) {
        const TopElement& e = *painted[i];
        Recorded r = record(renderer, e.id, viewport);
        ++block.entityCounts[e.tag];
        if (r.picture) {
            placed.picture = std::move(r.picture);
            placed.bounds = r.bounds;
            Shape& s = block.addPicture(placed);
            s.layer = doc->layerIndex(layerOf(e));
            s.entityType = doc->entityTypeId(e.tag);
        }
        report(20 + int(75 * (i + 1) / painted.size()));
    }
    for (const TopElement& e : outline.elements)
        if (!renderer.elementExists(e.id) && e.layer.isEmpty() && !isNonGraphic(e.tag))
            ++doc->skippedEntities[e.tag];

    if (outline.missingImages > 0)
        doc->skippedEntities[QStringLiteral("image (linked file not found)")] +=
            outline.missingImages;
    doc->finish();
    // The page is the drawing's extent, as on paper; unclipped content may
    // reach beyond it.
    if (page) {
        Box extents{0, 0, page->size.width(), page->size.height()};
        if (!viewport.isValid())
            extents.add(doc->layouts[0].extents);
        doc->layouts[0].extents = extents;
    }
    report(100);
    return doc;
}

} // namespace dv::svg
