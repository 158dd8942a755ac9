#include "ShapeFiles.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

namespace dv::shx {

namespace {

// The file name at the end of a path written on any system.
QString baseName(const QString& name) {
    QString path = name.trimmed();
    path.replace(QLatin1Char('\\'), QLatin1Char('/'));
    return path.section(QLatin1Char('/'), -1);
}

// A name without an extension means a .shx file.
QString withExtension(const QString& fileName) {
    return fileName.contains(QLatin1Char('.')) ? fileName : fileName + QLatin1String(".shx");
}

ShapeCodes shape(const char* name, std::vector<uint8_t> codes) {
    return {name, std::move(codes)};
}

} // namespace

const ShapeFile& standardLineTypeShapes() {
    // Lengths and directions in the shape codes' own terms: 0x14 is one unit
    // up, 0x20 two units right; 10 is an arc by octants.
    static const ShapeFile file = ShapeFile::fromShapes({
        // A tie across the rails: one unit up and one down from the line.
        {130, shape("TRACK1", {0x14, 0x02, 0x1C, 0x01, 0x1C, 0x00})},
        // Up and back down over two units; the linetype turns every other one over.
        {131, shape("ZIG", {0x12, 0x1E, 0x00})},
        // A two-unit square standing on the line's axis.
        {132, shape("BOX", {0x14, 0x20, 0x2C, 0x28, 0x14, 0x00})},
        // A circle of radius one from its leftmost point.
        {133, shape("CIRC1", {0x0A, 0x01, 0x40, 0x00})},
        // The batting loop: out to the left, a half circle over, and back in.
        {134, shape("BAT", {0x25, 0x0A, 0x02, uint8_t(-0x44), 0x2B, 0x00})},
    });
    return file;
}

bool isStandardLineTypeShapes(const QString& name) {
    return withExtension(baseName(name))
               .compare(QLatin1String("ltypeshp.shx"), Qt::CaseInsensitive) == 0;
}

ShapeFiles::ShapeFiles(const QString& drawingPath)
    : m_folder(drawingPath.isEmpty() ? QString() : QFileInfo(drawingPath).absolutePath()) {}

QString ShapeFiles::besideDrawing(const QString& fileName) const {
    if (m_folder.isEmpty() || fileName.isEmpty() || fileName == QLatin1String(".") ||
        fileName == QLatin1String("..") || fileName.contains(QChar(0)))
        return {};
    const QStringList entries = QDir(m_folder).entryList(QDir::Files | QDir::Readable);
    for (const QString& entry : entries)
        if (entry.compare(fileName, Qt::CaseInsensitive) == 0)
            return QDir(m_folder).filePath(entry);
    return {};
}

const ShapeFile* ShapeFiles::find(const QString& name, std::vector<QString>& problems) {
    const QString fileName = withExtension(baseName(name));
    const QString key = fileName.toLower();
    auto it = m_read.find(key);
    if (it == m_read.end()) {
        std::optional<ShapeFile> read;
        const QString path = besideDrawing(fileName);
        if (!path.isEmpty()) {
            QFile f(path);
            try {
                if (QFileInfo(path).size() > kMaxFileBytes)
                    throw ShapeFileError("it is too large for a shape file");
                if (!f.open(QIODevice::ReadOnly))
                    throw ShapeFileError("it cannot be read");
                read = ShapeFile::parse(f.readAll());
            } catch (const ShapeFileError& e) {
                problems.push_back(QStringLiteral("%1: left out, %2").arg(path, e.what()));
            }
        }
        it = m_read.emplace(key, std::move(read)).first;
    }
    if (it->second)
        return &*it->second;
    return isStandardLineTypeShapes(fileName) ? &standardLineTypeShapes() : nullptr;
}

} // namespace dv::shx
