#include "SvgOutline.h"

#include "formats/Reader.h"

#include <QSet>
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

// Copies the document, adding `id` attributes to the top-level elements
// listed in `ids` (by position; empty entries keep theirs).
QByteArray withIds(const QByteArray& source, const std::vector<QString>& ids,
                   const QString& fileName) {
    QByteArray out;
    out.reserve(source.size() + qsizetype(ids.size()) * 24);
    QXmlStreamReader xml(source);
    prepare(xml);
    QXmlStreamWriter writer(&out);
    int depth = 0;
    size_t top = 0;
    while (!xml.atEnd()) {
        xml.readNext();
        if (xml.hasError())
            malformed(xml, fileName);
        if (xml.isStartElement()) {
            ++depth;
            if (depth == 2 && top < ids.size()) {
                const QString& id = ids[top++];
                if (!id.isEmpty()) {
                    writer.writeStartElement(xml.qualifiedName().toString());
                    for (const QXmlStreamAttribute& a : xml.attributes())
                        if (a.qualifiedName() != QLatin1String("id"))
                            writer.writeAttribute(a);
                    writer.writeAttribute(QStringLiteral("id"), id);
                    continue;
                }
            }
        } else if (xml.isEndElement()) {
            --depth;
        }
        writer.writeCurrentToken(xml);
    }
    return out;
}

} // namespace

Outline scanOutline(const QByteArray& source, const QString& fileName) {
    Outline outline;
    QXmlStreamReader xml(source);
    prepare(xml);
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
    }
    if (!sawRoot)
        throw ReadError(fileName, QStringLiteral("there is no <svg> element"));

    std::vector<QString> generated(outline.elements.size());
    bool rewrite = false;
    int serial = 0;
    for (size_t i = 0; i < outline.elements.size(); ++i) {
        if (!needsId[i])
            continue;
        QString id;
        do
            id = QStringLiteral("vistrel-top-%1").arg(++serial);
        while (allIds.contains(id));
        allIds.insert(id);
        outline.elements[i].id = generated[i] = id;
        rewrite = true;
    }
    outline.xml = rewrite ? withIds(source, generated, fileName) : source;
    return outline;
}

} // namespace dv::svg
