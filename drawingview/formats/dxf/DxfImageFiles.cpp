#include "DxfImageFiles.h"

#include "formats/Reader.h"
#include "formats/raster/RasterDecoders.h"

#include <QDir>
#include <QFileInfo>

namespace dv::dxf {

namespace {

// Only plain files: a name in a drawing must not open a device or a pipe.
bool usable(const QString& path) {
    if (path.isEmpty())
        return false;
    const QFileInfo info(path);
    return info.isFile() && info.isReadable();
}

} // namespace

ImageFiles::ImageFiles(const QString& drawingPath)
    : m_folder(QFileInfo(drawingPath).absolutePath()) {}

QString ImageFiles::resolve(const QString& name) const {
    QString path = name.trimmed();
    path.replace(QLatin1Char('\\'), QLatin1Char('/'));
    if (path.isEmpty() || path.contains(QChar(0)))
        return {};
    const bool drive = path.size() >= 2 && path[1] == QLatin1Char(':') && path[0].isLetter();
    if (drive)
        path.remove(0, 2); // "C:/maps/a.png": try "/maps/a.png"
    const bool absolute = path.startsWith(QLatin1Char('/'));
    if (absolute && usable(path))
        return path;
    if (!absolute && !drive) {
        const QString relative = QDir(m_folder).filePath(path);
        if (usable(relative))
            return QFileInfo(relative).absoluteFilePath();
    }
    const QString fileName = path.section(QLatin1Char('/'), -1);
    if (fileName.isEmpty() || fileName == QLatin1String(".") || fileName == QLatin1String(".."))
        return {};
    const QString beside = QDir(m_folder).filePath(fileName);
    if (usable(beside))
        return beside;
    const QStringList entries = QDir(m_folder).entryList(QDir::Files | QDir::Readable);
    for (const QString& entry : entries)
        if (entry.compare(fileName, Qt::CaseInsensitive) == 0)
            return QDir(m_folder).filePath(entry);
    return {};
}

std::shared_ptr<const QImage> ImageFiles::load(const QString& name) {
    const QString path = resolve(name);
    if (path.isEmpty())
        return nullptr;
    if (auto it = m_cache.find(path); it != m_cache.end())
        return it->second;
    std::shared_ptr<const QImage> result;
    try {
        QImage image = raster::decodeFile(path);
        if (image.width() > kMaxSide || image.height() > kMaxSide)
            image = image.scaled(kMaxSide, kMaxSide, Qt::KeepAspectRatio, Qt::SmoothTransformation);
        const int64_t bytes = int64_t(image.sizeInBytes());
        if (!image.isNull() && m_used + bytes <= kBudgetBytes) {
            m_used += bytes;
            result = std::make_shared<const QImage>(std::move(image));
        }
    } catch (const std::exception&) {
        // Left as a frame with the file's name: the drawing still loads.
    }
    m_cache.emplace(path, result);
    return result;
}

} // namespace dv::dxf
