#pragma once

// What the engine needs to know of an SVG document before Qt paints it: the
// root's size, viewBox and aspect rule, and the top-level elements that
// become the drawing's layers. Each top-level element gets an id Qt can
// paint it by; where one lacks an id (or repeats an earlier one) the XML is
// copied with a generated id.

#include <QByteArray>
#include <QRectF>
#include <QString>

#include <vector>

namespace dv::svg {

// Deeper nesting is refused: Qt paints groups recursively.
constexpr int kMaxDepth = 512;
// Linked image files beyond this are left out.
constexpr qint64 kMaxLinkedImageBytes = qint64(256) << 20;

struct TopElement {
    QString tag; // local name: "g", "path", ...
    QString id;  // what Qt paints it by (maybe generated)
    // The layer it belongs to: a group's label or id, "Layer N" for an
    // unnamed group, empty for an element outside any group.
    QString layer;
};

struct Outline {
    QByteArray xml; // the document as Qt is to load it
    QString width;  // the root's attributes as written
    QString height;
    QString viewBox;
    QString preserveAspectRatio;
    std::vector<TopElement> elements;
    int missingImages = 0; // linked images left out: no such file
};

// Throws ReadError with the line, column and XML error for malformed XML,
// and when the root element is not <svg>. Images linked by file name are
// resolved against the document's folder and kept only when they name a
// regular file: Qt would open whatever they name, a pipe that never ends
// included.
Outline scanOutline(const QByteArray& xml, const QString& fileName);

} // namespace dv::svg
