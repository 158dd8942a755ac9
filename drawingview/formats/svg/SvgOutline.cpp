#include "SvgOutline.h"

#include "formats/Reader.h"

#include <QDir>
#include <QFileInfo>
#include <QSet>
#include <QUrl>
#include <QXmlStreamReader>
#include <QXmlStreamWriter>

namespace dv::svg {

namespace {

QString localName(QStringView qualified) {
    const qsizetype colon = qualified.lastIndexOf(u':');
    return (colon < 0 ? qualified : qualified.mid(colon + 1)).toString();
}

[[noreturn]] void malformed(const QXmlStreamReader& xml, const QString& fileName) {
    throw ReadError(fileName, QStringLiteral("malformed XML at line %1, column %2: %3")
                                  .arg(xml.lineNumber())
                                  .arg(xml.columnNumber())
                                  .arg(xml.errorString()));
}

// Qt reads SVG without namespace processing, so prefixes stay part of the
// names; the scan does the same so that it accepts what Qt accepts.
void prepare(QXmlStreamReader& xml) {
    xml.setNamespaceProcessing(false);
}

struct Rewrites {
    std::vector<QString> topIds;    // by position among top-level elements; empty: keep
    std::vector<QString> imageRefs; // by position among <image> elements; empty: drop
    std::vector<bool> imageChanged;
    bool any = false;
};

bool isHref(const QXmlStreamAttribute& a) {
    return a.qualifiedName() == QLatin1String("xlink:href") ||
           a.qualifiedName() == QLatin1String("href");
}

QString hrefOf(const QXmlStreamAttributes& attrs) {
    const QStringView xlink = attrs.value(QLatin1String("xlink:href"));
    return (xlink.isEmpty() ? attrs.value(QLatin1String("href")) : xlink).toString().trimmed();
}

// The local file a linked image names, or empty when it names none that
// may be opened.
QString linkedFile(const QString& href, const QString& fileName) {
    QString path = href;
    const QUrl url(href);
    if (url.scheme() == QLatin1String("file"))
        path = url.toLocalFile();
    else if (url.scheme().size() > 1) // http and the like: never fetched
        return {};
    const QFileInfo info(QFileInfo(fileName).absoluteDir(), path);
    if (!info.isFile() || info.size() > kMaxLinkedImageBytes)
        return {};
    return info.absoluteFilePath();
}

// Copies the document with the rewrites applied.
QByteArray rewritten(const QByteArray& source, const Rewrites& rw, const QString& fileName) {
    QByteArray out;
    out.reserve(source.size() + qsizetype(rw.topIds.size()) * 24);
    QXmlStreamReader xml(source);
    prepare(xml);
    QXmlStreamWriter writer(&out);
    int depth = 0;
    size_t top = 0, image = 0;
    while (!xml.atEnd()) {
        xml.readNext();
        if (xml.hasError())
            malformed(xml, fileName);
        if (xml.isEndElement())
            --depth;
        if (!xml.isStartElement()) {
            writer.writeCurrentToken(xml);
            continue;
        }
        ++depth;
        QString id;
        if (depth == 2 && top < rw.topIds.size())
            id = rw.topIds[top++];
        bool relink = false;
        QString ref;
        if (localName(xml.qualifiedName()) == QLatin1String("image") &&
            image < rw.imageRefs.size()) {
            relink = rw.imageChanged[image];
            ref = rw.imageRefs[image++];
        }
        if (id.isEmpty() && !relink) {
            writer.writeCurrentToken(xml);
            continue;
        }
        writer.writeStartElement(xml.qualifiedName().toString());
        for (const QXmlStreamAttribute& a : xml.attributes()) {
            if (!id.isEmpty() && a.qualifiedName() == QLatin1String("id"))
                continue;
            if (relink && isHref(a))
                continue;
            writer.writeAttribute(a);
        }
        if (!id.isEmpty())
            writer.writeAttribute(QStringLiteral("id"), id);
        if (relink && !ref.isEmpty())
            writer.writeAttribute(QStringLiteral("xlink:href"), ref);
    }
    return out;
}

} // namespace

Outline scanOutline(const QByteArray& source, const QString& fileName) {
    Outline outline;
    QXmlStreamReader xml(source);
    prepare(xml);
    Rewrites rw;
    QSet<QString> allIds;
    QSet<QString> topIds;
    std::vector<bool> needsId;
    int depth = 0;
    int unnamedGroups = 0;
    bool sawRoot = false;
    while (!xml.atEnd()) {
        xml.readNext();
        if (xml.hasError())
            malformed(xml, fileName);
        if (xml.isEndElement()) {
            --depth;
            continue;
        }
        if (!xml.isStartElement())
            continue;
        if (++depth > kMaxDepth)
            throw ReadError(fileName,
                            QStringLiteral("elements are nested deeper than %1 levels at line %2")
                                .arg(kMaxDepth)
                                .arg(xml.lineNumber()));
        const QXmlStreamAttributes attrs = xml.attributes();
        const QString id = attrs.value(QLatin1String("id")).toString();
        if (depth == 1) {
            if (localName(xml.qualifiedName()) != QLatin1String("svg"))
                throw ReadError(fileName, QStringLiteral("the root element is <%1>, not <svg>")
                                              .arg(xml.qualifiedName().toString()));
            sawRoot = true;
            outline.width = attrs.value(QLatin1String("width")).toString();
            outline.height = attrs.value(QLatin1String("height")).toString();
            outline.viewBox = attrs.value(QLatin1String("viewBox")).toString();
            outline.preserveAspectRatio =
                attrs.value(QLatin1String("preserveAspectRatio")).toString();
        } else if (depth == 2) {
            TopElement e;
            e.tag = localName(xml.qualifiedName());
            e.id = id;
            if (e.tag == QLatin1String("g")) {
                QString label = attrs.value(QLatin1String("inkscape:label")).toString();
                if (label.trimmed().isEmpty())
                    label = id;
                e.layer = label.trimmed().isEmpty()
                              ? QStringLiteral("Layer %1").arg(++unnamedGroups)
                              : label.trimmed();
            }
            needsId.push_back(id.isEmpty() || topIds.contains(id));
            topIds.insert(id);
            outline.elements.push_back(e);
        }
        if (!id.isEmpty())
            allIds.insert(id);
        if (localName(xml.qualifiedName()) == QLatin1String("image")) {
            const QString href = hrefOf(attrs);
            QString ref = href;
            bool changed = false;
            if (!href.isEmpty() && !href.startsWith(QLatin1String("data:"), Qt::CaseInsensitive)) {
                ref = linkedFile(href, fileName);
                changed = true;
                if (ref.isEmpty())
                    ++outline.missingImages;
            }
            rw.imageRefs.push_back(ref);
            rw.imageChanged.push_back(changed);
            rw.any = rw.any || changed;
        }
    }
    if (!sawRoot)
        throw ReadError(fileName, QStringLiteral("there is no <svg> element"));

    rw.topIds.assign(outline.elements.size(), QString());
    int serial = 0;
    for (size_t i = 0; i < outline.elements.size(); ++i) {
        if (!needsId[i])
            continue;
        QString id;
        do
            id = QStringLiteral("vistrel-top-%1").arg(++serial);
        while (allIds.contains(id));
        allIds.insert(id);
        outline.elements[i].id = rw.topIds[i] = id;
        rw.any = true;
    }
    outline.xml = rw.any ? rewritten(source, rw, fileName) : source;
    return outline;
}

} // namespace dv::svg
