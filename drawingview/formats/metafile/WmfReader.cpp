#include "WmfReader.h"

#include "WmfDc.h"
#include "WmfPlayer.h"
#include "WmfRecords.h"

#include <QFile>

#include <cstdint>

namespace dv {

namespace {

constexpr uint32_t kPlaceableKey = 0x9AC6CDD7u;
constexpr size_t kPlaceableSize = 22;
constexpr size_t kHeaderSize = 18;
// Device units of a file without a placeable header: 96 per inch.
constexpr double kScreenDpi = 96;

uint16_t le16(const QByteArray& b, size_t i) {
    return i + 1 < size_t(b.size())
               ? uint16_t(uint8_t(b[qsizetype(i)]) | uint8_t(b[qsizetype(i + 1)]) << 8)
               : 0;
}
uint32_t le32(const QByteArray& b, size_t i) {
    return uint32_t(le16(b, i)) | uint32_t(le16(b, i + 2)) << 16;
}

bool isStandardHeader(const QByteArray& b, size_t at) {
    const uint16_t type = le16(b, at), words = le16(b, at + 2), version = le16(b, at + 4);
    return size_t(b.size()) >= at + kHeaderSize && (type == 1 || type == 2) && words == 9 &&
           (version == 0x0100 || version == 0x0300);
}

class WmfReader : public Reader {
public:
    QString name() const override { return QStringLiteral("WMF"); }

    int score(const QByteArray& head, const QString& suffix) const override {
        if (const int s = wmfContentScore(head))
            return s;
        return suffix.compare(QLatin1String("wmf"), Qt::CaseInsensitive) == 0 ? 40 : 0;
    }

    std::unique_ptr<Document> read(const QString& path, const ProgressFn& progress) const override {
        QFile file(path);
        if (!file.open(QIODevice::ReadOnly))
            throw ReadError(path, file.errorString());
        return readWmfBytes(file.readAll(), path, progress);
    }
};

} // namespace

int wmfContentScore(const QByteArray& head) {
    if (le32(head, 0) == kPlaceableKey)
        return 110;
    return isStandardHeader(head, 0) ? 100 : 0;
}

std::unique_ptr<Document> readWmfBytes(const QByteArray& bytes, const QString& path,
                                       const ProgressFn& progress) {
    const size_t size = size_t(bytes.size());
    const bool placeable = le32(bytes, 0) == kPlaceableKey;
    if (placeable && size < kPlaceableSize)
        throw ReadError(path, QStringLiteral("the placeable metafile header is cut off"));
    const size_t headerAt = placeable ? kPlaceableSize : 0;
    if (!isStandardHeader(bytes, headerAt))
        throw ReadError(path, size < headerAt + kHeaderSize
                                  ? QStringLiteral("the metafile header is cut off")
                                  : QStringLiteral("the metafile header at byte offset %1 is "
                                                   "damaged or this is not a Windows metafile")
                                        .arg(headerAt));
    const size_t headerWords = le16(bytes, headerAt + 2);
    const int nObjects = le16(bytes, headerAt + 10);

    auto doc = std::make_unique<Document>();
    doc->kind = Document::Kind::Drawing;
    doc->format = QStringLiteral("WMF");
    doc->fileName = path;
    doc->exactColors = true;
    doc->header[QStringLiteral("$INSUNITS")] = QStringLiteral("4"); // millimetres
    doc->layerIndex(QStringLiteral("0"));
    Block block;
    block.name = QStringLiteral("Model");
    doc->blocks.push_back(std::move(block));
    Layout layout;
    layout.name = QStringLiteral("Model");
    layout.block = 0;
    layout.paperSpace = true;
    doc->layouts.push_back(layout);

    // Placeable files give the frame and its units; others play at 96 dpi.
    double dpi = kScreenDpi;
    int16_t frame[4] = {0, 0, 0, 0};
    if (placeable) {
        for (int i = 0; i < 4; ++i)
            frame[i] = int16_t(le16(bytes, 6 + 2 * size_t(i)));
        if (const uint16_t inch = le16(bytes, 14); inch > 0)
            dpi = inch;
        else
            dpi = 1440; // a missing unit is taken as twips, the usual one
    }
    wmf::Dc dc(25.4 / dpi, nObjects);
    if (placeable && frame[2] != frame[0] && frame[3] != frame[1])
        dc.setFrame(frame[0], frame[1], frame[2], frame[3]);
    wmf::Player player(*doc, 0, dc);

    size_t offset = headerAt + headerWords * 2;
    int lastPercent = -1;
    for (size_t index = 0; offset < size; ++index) {
        if (progress) {
            const int percent = int(uint64_t(offset) * 100 / size);
            if (percent != lastPercent)
                progress(lastPercent = percent);
        }
        if (size - offset < 6) {
            player.skip(QStringLiteral("damaged record (reading stopped)"));
            break;
        }
        const uint32_t words = le32(bytes, offset);
        const uint16_t function = le16(bytes, offset + 4);
        if (function == wmf::EndOfFile)
            break;
        if (words < 3 || words > (size - offset) / 2) {
            // A zero or overlong size cannot be stepped over: keep what came before.
            if (!player.drewSomething())
                throw ReadError(path, QStringLiteral("record %1 at byte offset %2 has a "
                                                     "size of %3 words, which does not fit "
                                                     "the file")
                                          .arg(index + 1)
                                          .arg(offset)
                                          .arg(words));
            player.skip(QStringLiteral("damaged record (reading stopped)"));
            break;
        }
        wmf::Record r;
        r.params = reinterpret_cast<const unsigned char*>(bytes.constData()) + offset + 6;
        r.words = words - 3;
        r.function = function;
        r.offset = offset;
        r.index = index;
        if (!player.play(r))
            player.skip(QStringLiteral("damaged record"));
        offset += size_t(words) * 2;
    }
    if (!player.drewSomething())
        throw ReadError(path, QStringLiteral("the metafile draws nothing"));
    doc->finish();
    if (progress)
        progress(100);
    return doc;
}

std::unique_ptr<Reader> makeWmfReader() {
    return std::make_unique<WmfReader>();
}

} // namespace dv
