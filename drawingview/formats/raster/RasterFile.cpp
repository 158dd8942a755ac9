#include "RasterDecoders.h"

#include "formats/Reader.h"

#include <QFile>
#include <QFileInfo>

namespace dv::raster {

QImage decodeFile(const QString& path) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        throw ReadError(path, file.errorString());
    const QByteArray head = file.read(4096);
    QByteArray tail = head;
    if (file.size() > kTailSize && file.seek(file.size() - kTailSize))
        tail = file.read(kTailSize);
    file.close();
    const auto format = identify(head, tail, QFileInfo(path).suffix().toLower());
    if (!format)
        throw ReadError(path, QStringLiteral("the file is not an image of a known format"));
    switch (format->decoder) {
    case Decoder::Qt:
        return decodeWithQt(path, *format);
    case Decoder::HeaderlessDib:
        return decodeHeaderlessDib(path);
    case Decoder::Magick:
        return decodeWithMagick(path, *format);
    default: // the formats only the raster reader's own decoders read
        break;
    }
    throw ReadError(path, QStringLiteral("the %1 image format is not supported").arg(format->name));
}

} // namespace dv::raster
