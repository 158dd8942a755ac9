#include "RasterBytes.h"
#include "RasterDecoders.h"

#include "formats/Reader.h"

#include <zlib.h>

#include <algorithm>
#include <vector>

namespace dv::raster {

// Paint Shop Pro: a 32-byte signature, the format's major and minor version,
// then blocks ("~BK\0", a block id, lengths). Up to major version 3 a block
// header carries the length of its fixed fields; later each block opens with
// a chunk that starts with its own length. Blocks nest: the layer bank holds
// layer blocks, each holding channel blocks. The composite image bank, when
// present, holds the flattened picture; otherwise the visible raster layers
// are flattened here.

namespace {

constexpr int kSignatureSize = 32;
constexpr char kBlockMark[] = "~BK";
// zlib cannot expand data more than about 1032 times; RLE 64 times.
constexpr int64_t kMaxZlibRatio = 1100;
constexpr int64_t kMaxRleRatio = 64;

enum BlockId : uint16_t {
    ImageAttributes = 0,
    ColourPalette = 2,
    LayerBank = 3,
    Layer = 4,
    Channel = 5,
    CompositeBank = 16,
    CompositeAttributes = 17,
    JpegComposite = 18,
};

enum Compression : int { None = 0, Rle = 1, Lz77 = 2, Jpeg = 3 };

// Bitmap types of a channel block.
enum Dib : int {
    DibImage = 0,
    DibTransparency = 1,
    DibComposite = 8,
    DibCompositeTransparency = 9,
};

struct Block {
    int id = -1;
    qsizetype fields = 0;  // the fixed fields
    qsizetype content = 0; // what follows them: data or sub-blocks
    qsizetype end = 0;
};

struct ChannelData {
    int bitmap = 0;
    int channel = 0; // 0 index, grey or mask; 1..3 red, green, blue
    qsizetype pos = 0;
    qsizetype length = 0;
};

struct Picture {
    int width = 0;
    int height = 0;
    int depth = 24;
    int compression = None;
    bool thumbnail = false;
    std::vector<QRgb> palette;
    std::vector<ChannelData> channels;
    qsizetype jpegPos = -1;
    qsizetype jpegLength = 0;
};

struct LayerData {
    int left = 0, top = 0, right = 0, bottom = 0;
    int opacity = 255;
    bool visible = true;
    std::vector<ChannelData> channels;
};

class PspFile {
public:
    PspFile(const QByteArray& bytes, const QString& path)
        : m_bytes(bytes), m_b(bytes), m_path(path) {}

    QImage decode() {
        if (!m_bytes.startsWith("Paint Shop Pro Image File\n\x1a"))
            throw ReadError(m_path, QStringLiteral("the file is not a Paint Shop Pro image"));
        if (!m_b.has(0, kSignatureSize + 4))
            throw ReadError(m_path, damagedFile(QStringLiteral("the header is incomplete")));
        m_major = m_b.le16(kSignatureSize);
        walk(kSignatureSize + 4, m_b.size(), 0);
        if (!m_haveAttributes)
            throw ReadError(m_path, damagedFile(QStringLiteral("the image attributes are "
                                                               "missing")));
        checkImageSize(m_path, m_width, m_height);
        if (m_depth > 24)
            throw ReadError(m_path, QStringLiteral("Paint Shop Pro images of %1 bits a pixel are "
                                                   "not supported")
                                        .arg(m_depth));
        if (const Picture* composite = bestComposite())
            return decodeComposite(*composite);
        return flattenLayers();
    }

private:
    [[noreturn]] void fail(const QString& what, qsizetype at) const {
        throw ReadError(m_path, damagedFile(QStringLiteral("%1 at byte %2").arg(what).arg(at)));
    }

    bool blockAt(qsizetype pos) const {
        return m_b.has(pos, 4) && std::equal(kBlockMark, kBlockMark + 4, m_b.at(pos));
    }

    Block readBlock(qsizetype pos, qsizetype limit) const {
        const bool old = m_major <= 3;
        const qsizetype headerSize = old ? 14 : 10;
        if (limit - pos < headerSize)
            fail(QStringLiteral("a block header is cut short"), pos);
        Block block;
        block.id = m_b.le16(pos + 4);
        const qsizetype data = pos + headerSize;
        const qsizetype total = m_b.le32(pos + (old ? 10 : 6));
        if (total > limit - data)
            fail(QStringLiteral("block %1 runs past its end").arg(block.id), pos);
        block.end = data + total;
        block.fields = data;
        if (old) {
            const qsizetype initial = m_b.le32(pos + 6);
            if (initial > total)
                fail(QStringLiteral("block %1 has fields longer than itself").arg(block.id), pos);
            block.content = data + initial;
        } else if (total >= 4 && !blockAt(data)) {
            const qsizetype chunk = m_b.le32(data);
            if (chunk < 4 || chunk > total)
                fail(QStringLiteral("block %1 has a chunk longer than itself").arg(block.id), pos);
            block.fields = data + 4;
            block.content = data + chunk;
        } else {
            block.content = data;
        }
        return block;
    }

    // Walks the blocks between `pos` and `end`. Later versions put further
    // length-prefixed chunks between a block's fields and its sub-blocks.
    void walk(qsizetype pos, qsizetype end, int level) {
        if (level > 4)
            return;
        while (end - pos >= 4) {
            if (!blockAt(pos)) {
                const qsizetype chunk = m_b.le32(pos);
                if (m_major <= 3 || chunk < 4 || chunk > end - pos) {
                    if (level == 0 && m_width == 0)
                        fail(QStringLiteral("no block"), pos);
                    return; // padding or trailing bytes
                }
                pos += chunk;
                continue;
            }
            const Block block = readBlock(pos, end);
            visit(block, level);
            pos = block.end;
        }
    }

    void visit(const Block& block, int level) {
        switch (block.id) {
        case ImageAttributes:
            if (block.content - block.fields < 38)
                fail(QStringLiteral("the image attributes are cut short"), block.fields);
            m_layerCount = m_b.le16(block.fields + 36);
            m_width = int(m_b.le32(block.fields));
            m_height = int(m_b.le32(block.fields + 4));
            m_compression = m_b.le16(block.fields + 17);
            m_depth = m_b.le16(block.fields + 19);
            m_haveAttributes = true;
            break;
        case ColourPalette:
            (m_picture ? m_picture->palette : m_palette) = readPalette(block);
            break;
        case LayerBank:
            walk(block.content, block.end, level + 1);
            break;
        case Layer:
            readLayer(block, level);
            break;
        case Channel:
            if (m_layer)
                m_layer->channels.push_back(readChannel(block));
            else if (m_picture)
                m_picture->channels.push_back(readChannel(block));
            break;
        case CompositeBank:
            walk(block.content, block.end, level + 1);
            m_picture = nullptr;
            break;
        case CompositeAttributes:
            readCompositeAttributes(block, level);
            break;
        case JpegComposite:
            if (m_picture && block.content - block.fields >= 10) {
                m_picture->jpegPos = block.content;
                m_picture->jpegLength = block.end - block.content;
            }
            break;
        default:
            break;
        }
    }

    std::vector<QRgb> readPalette(const Block& block) const {
        const qsizetype count = m_b.le32(block.fields);
        if (count > 256 || count * 4 > block.end - block.content)
            fail(QStringLiteral("the palette has %1 entries").arg(count), block.fields);
        std::vector<QRgb> palette(static_cast<size_t>(count));
        for (qsizetype i = 0; i < count; ++i) {
            const qsizetype at = block.content + 4 * i;
            palette[size_t(i)] = qRgb(m_b.u8(at + 2), m_b.u8(at + 1), m_b.u8(at));
        }
        return palette;
    }

    ChannelData readChannel(const Block& block) const {
        if (block.content - block.fields < 12)
            fail(QStringLiteral("a channel header is cut short"), block.fields);
        ChannelData c;
        c.length = m_b.le32(block.fields);
        c.bitmap = m_b.le16(block.fields + 8);
        c.channel = m_b.le16(block.fields + 10);
        c.pos = block.content;
        if (c.length > block.end - block.content)
            fail(QStringLiteral("a channel's data runs past its block"), block.content);
        return c;
    }

    void readLayer(const Block& block, int level) {
        LayerData layer;
        qsizetype at = block.fields;
        if (m_major <= 3) {
            at += 256; // a fixed-length name
        } else {
            at += 2 + m_b.le16(at);
        }
        if (block.content - at < 36)
            fail(QStringLiteral("a layer's fields are cut short"), block.fields);
        ++at; // layer type
        layer.left = int(m_b.le32(at));
        layer.top = int(m_b.le32(at + 4));
        layer.right = int(m_b.le32(at + 8));
        layer.bottom = int(m_b.le32(at + 12));
        at += 32; // the image rectangle and the saved one
        layer.opacity = m_b.u8(at);
        layer.visible = (m_b.u8(at + 2) & 1) != 0;
        m_layers.push_back(std::move(layer));
        m_layer = &m_layers.back();
        walk(block.content, block.end, level + 1);
        m_layer = nullptr;
    }

    void readCompositeAttributes(const Block& block, int level) {
        if (block.content - block.fields < 20)
            fail(QStringLiteral("composite attributes are cut short"), block.fields);
        Picture p;
        p.width = int(m_b.le32(block.fields));
        p.height = int(m_b.le32(block.fields + 4));
        p.depth = m_b.le16(block.fields + 8);
        p.compression = m_b.le16(block.fields + 10);
        p.thumbnail = m_b.le16(block.fields + 18) != 0;
        m_pictures.push_back(std::move(p));
        m_picture = &m_pictures.back();
        // Its palette and channels may be nested inside or follow it.
        walk(block.content, block.end, level + 1);
    }

    const Picture* bestComposite() const {
        for (const Picture& p : m_pictures)
            if (!p.thumbnail && p.width == m_width && p.height == m_height &&
                (p.jpegPos >= 0 || !p.channels.empty()))
                return &p;
        return nullptr;
    }

    // The channel's bytes, decompressed: `rowBytes` per row, rows padded to
    // four bytes when the data says so.
    std::vector<uint8_t> unpack(const ChannelData& c, int compression, qsizetype rowBytes,
                                int rows) const {
        const qsizetype padded = (rowBytes + 3) & ~qsizetype(3);
        const int64_t most = int64_t(padded) * rows;
        const int64_t tight = int64_t(rowBytes) * rows;
        const uint8_t* src = m_b.at(c.pos);
        std::vector<uint8_t> out;
        switch (compression) {
        case None:
            if (c.length < tight)
                fail(QStringLiteral("a channel holds %1 of %2 bytes").arg(c.length).arg(tight),
                     c.pos);
            out.assign(src, src + std::min<int64_t>(c.length, most));
            break;
        case Rle: {
            if (tight > int64_t(c.length) * kMaxRleRatio)
                fail(QStringLiteral("a channel is too short for its size"), c.pos);
            out.reserve(size_t(tight));
            qsizetype i = 0;
            while (i < c.length && int64_t(out.size()) < most) {
                const int n = src[i++];
                if (n > 128) {
                    if (i >= c.length)
                        break;
                    out.insert(out.end(), size_t(n - 128), src[i++]);
                } else {
                    const qsizetype take = std::min<qsizetype>(n, c.length - i);
                    out.insert(out.end(), src + i, src + i + take);
                    i += take;
                }
            }
            break;
        }
        case Lz77: {
            if (tight > int64_t(c.length) * kMaxZlibRatio)
                fail(QStringLiteral("a channel is too short for its size"), c.pos);
            out.resize(size_t(most));
            z_stream z{};
            if (inflateInit(&z) != Z_OK)
                throw std::bad_alloc();
            z.next_in = const_cast<Bytef*>(src);
            z.avail_in = uInt(c.length);
            z.next_out = out.data();
            z.avail_out = uInt(out.size());
            const int status = inflate(&z, Z_FINISH);
            const size_t produced = out.size() - z.avail_out;
            inflateEnd(&z);
            if (status != Z_STREAM_END && status != Z_BUF_ERROR && status != Z_OK)
                fail(QStringLiteral("a channel's compressed data is corrupt"), c.pos);
            out.resize(produced);
            break;
        }
        default:
            throw ReadError(m_path, QStringLiteral("Paint Shop Pro compression %1 is not "
                                                   "supported")
                                        .arg(compression));
        }
        if (int64_t(out.size()) < tight)
            fail(QStringLiteral("a channel decodes to %1 of %2 bytes").arg(out.size()).arg(tight),
                 c.pos);
        // Rows are padded to whole 32-bit words only when the data has room.
        if (padded != rowBytes && int64_t(out.size()) >= most)
            for (int y = 1; y < rows; ++y)
                std::copy_n(out.begin() + qsizetype(y) * padded, rowBytes,
                            out.begin() + qsizetype(y) * rowBytes);
        out.resize(size_t(tight));
        return out;
    }

    // Colour, with alpha from a transparency channel, of a `w` x `h` bitmap.
    QImage bitmap(const std::vector<ChannelData>& channels, int w, int h, int depth,
                  int compression, const std::vector<QRgb>& palette, bool composite) const {
        const int colourDib = composite ? DibComposite : DibImage;
        const int maskDib = composite ? DibCompositeTransparency : DibTransparency;
        const ChannelData* planes[4] = {};
        const ChannelData* mask = nullptr;
        for (const ChannelData& c : channels) {
            if ((c.bitmap == colourDib || c.bitmap == DibImage) && c.channel >= 0 &&
                c.channel <= 3 && !planes[c.channel])
                planes[c.channel] = &c;
            else if ((c.bitmap == maskDib || c.bitmap == DibTransparency) && c.channel == 0 &&
                     !mask)
                mask = &c;
        }
        const bool rgb = depth == 24;
        if (rgb ? !(planes[1] && planes[2] && planes[3]) : !planes[0])
            return {};
        if (depth != 1 && depth != 4 && depth != 8 && depth != 24)
            throw ReadError(m_path, QStringLiteral("Paint Shop Pro images of %1 bits a pixel are "
                                                   "not supported")
                                        .arg(depth));
        checkImageSize(m_path, w, h);
        // Every channel is unpacked, and so checked against the file,
        // before the image is allocated.
        const std::vector<uint8_t> alpha =
            mask ? unpack(*mask, compression, w, h) : std::vector<uint8_t>();
        if (rgb) {
            const auto r = unpack(*planes[1], compression, w, h);
            const auto g = unpack(*planes[2], compression, w, h);
            const auto b = unpack(*planes[3], compression, w, h);
            QImage image(w, h, QImage::Format_ARGB32);
            if (image.isNull())
                throw std::bad_alloc();
            for (int y = 0; y < h; ++y) {
                auto* row = reinterpret_cast<QRgb*>(image.scanLine(y));
                for (int x = 0; x < w; ++x) {
                    const size_t i = size_t(y) * size_t(w) + size_t(x);
                    row[x] = qRgba(r[i], g[i], b[i], mask ? alpha[i] : 255);
                }
            }
            return image;
        }
        const qsizetype rowBytes = (qsizetype(w) * depth + 7) / 8;
        const auto index = unpack(*planes[0], compression, rowBytes, h);
        QImage image(w, h, QImage::Format_ARGB32);
        if (image.isNull())
            throw std::bad_alloc();
        const int levels = 1 << depth;
        for (int y = 0; y < h; ++y) {
            auto* row = reinterpret_cast<QRgb*>(image.scanLine(y));
            const uint8_t* src = index.data() + qsizetype(y) * rowBytes;
            for (int x = 0; x < w; ++x) {
                const int bit = x * depth;
                const int v = (src[bit >> 3] >> (8 - depth - (bit & 7))) & (levels - 1);
                // Greyscale images may come without a palette.
                const int grey = v * 255 / (levels - 1);
                const QRgb c =
                    size_t(v) < palette.size() ? palette[size_t(v)] : qRgb(grey, grey, grey);
                row[x] = (c & 0xffffffu) |
                         uint32_t(mask ? alpha[size_t(y) * size_t(w) + size_t(x)] : 255) << 24;
            }
        }
        return image;
    }

    QImage decodeComposite(const Picture& p) const {
        QImage image;
        if (p.jpegPos >= 0) {
            image = QImage::fromData(m_bytes.mid(p.jpegPos, p.jpegLength), "JPEG");
            if (image.isNull())
                fail(QStringLiteral("the composite JPEG image is unreadable"), p.jpegPos);
            checkImageSize(m_path, image.width(), image.height());
        } else {
            image = bitmap(p.channels, p.width, p.height, p.depth, p.compression,
                           p.palette.empty() ? m_palette : p.palette, true);
            if (image.isNull())
                fail(QStringLiteral("the composite image lacks channels"), 0);
        }
        toDisplayFormat(image);
        return image;
    }

    QImage flattenLayers() const {
        // Compressed layers can fill at most so many pixels; a larger canvas
        // is a header that lies.
        if (int64_t(m_width) * m_height > std::max<int64_t>(m_b.size(), 1) * kMaxZlibRatio * 8)
            throw ReadError(m_path, damagedFile(QStringLiteral("%1 x %2 pixels from a file of %3 "
                                                               "bytes")
                                                    .arg(m_width)
                                                    .arg(m_height)
                                                    .arg(m_b.size())));
        // A file cut between two layer blocks would otherwise pass as whole.
        if (qsizetype(m_layers.size()) < m_layerCount)
            throw ReadError(m_path, damagedFile(QStringLiteral("%1 of %2 layers present")
                                                    .arg(m_layers.size())
                                                    .arg(m_layerCount)));
        QImage canvas(m_width, m_height, QImage::Format_ARGB32_Premultiplied);
        if (canvas.isNull())
            throw std::bad_alloc();
        canvas.fill(0);
        bool any = false;
        for (const LayerData& layer : m_layers) {
            const int64_t w = int64_t(layer.right) - layer.left;
            const int64_t h = int64_t(layer.bottom) - layer.top;
            if (!layer.visible || w <= 0 || h <= 0 || layer.opacity == 0)
                continue;
            checkImageSize(m_path, w, h);
            const QImage pixels =
                bitmap(layer.channels, int(w), int(h), m_depth, m_compression, m_palette, false);
            if (pixels.isNull())
                continue; // vector, adjustment and group layers carry no pixels
            any = true;
            blend(canvas, pixels, layer.left, layer.top, layer.opacity);
        }
        if (!any)
            throw ReadError(m_path, damagedFile(QStringLiteral("the file holds no raster image")));
        toDisplayFormat(canvas);
        return canvas;
    }

    // Source over, the layer's own alpha scaled by its opacity.
    static void blend(QImage& canvas, const QImage& layer, int left, int top, int opacity) {
        const int x0 = std::max(0, left), y0 = std::max(0, top);
        const int x1 = int(std::min<int64_t>(canvas.width(), int64_t(left) + layer.width()));
        const int y1 = int(std::min<int64_t>(canvas.height(), int64_t(top) + layer.height()));
        for (int y = y0; y < y1; ++y) {
            auto* dst = reinterpret_cast<QRgb*>(canvas.scanLine(y));
            const auto* src = reinterpret_cast<const QRgb*>(layer.constScanLine(y - top));
            for (int x = x0; x < x1; ++x) {
                const QRgb s = src[x - left];
                const int a = (qAlpha(s) * opacity + 127) / 255;
                const int keep = 255 - a;
                const QRgb d = dst[x];
                const auto mix = [&](int sc, int dc) { return (sc * a + dc * keep + 127) / 255; };
                dst[x] = qRgba(mix(qRed(s), qRed(d)), mix(qGreen(s), qGreen(d)),
                               mix(qBlue(s), qBlue(d)), a + (qAlpha(d) * keep + 127) / 255);
            }
        }
    }

    const QByteArray& m_bytes;
    Bytes m_b;
    const QString& m_path;
    int m_major = 0;
    int m_width = 0;
    int m_height = 0;
    int m_depth = 24;
    int m_compression = None;
    bool m_haveAttributes = false;
    int m_layerCount = 0;
    std::vector<QRgb> m_palette;
    std::vector<LayerData> m_layers;
    std::vector<Picture> m_pictures;
    LayerData* m_layer = nullptr;
    Picture* m_picture = nullptr;
};

} // namespace

QImage decodePsp(const QByteArray& bytes, const QString& path) {
    return PspFile(bytes, path).decode();
}

} // namespace dv::raster
