#include "RasterFormat.h"

#include <QBuffer>
#include <QImageReader>

#include <cstdint>

namespace dv::raster {

namespace {

uint8_t byteAt(const QByteArray& b, int i) {
    return i < b.size() ? uint8_t(b[i]) : 0;
}
uint16_t le16(const QByteArray& b, int i) {
    return uint16_t(byteAt(b, i) | byteAt(b, i + 1) << 8);
}
uint16_t be16(const QByteArray& b, int i) {
    return uint16_t(byteAt(b, i) << 8 | byteAt(b, i + 1));
}
uint32_t le32(const QByteArray& b, int i) {
    return uint32_t(le16(b, i)) | uint32_t(le16(b, i + 2)) << 16;
}

RasterFormat qt(const char* codec, const char* name) {
    return {Decoder::Qt, codec, QString::fromLatin1(name), true};
}
RasterFormat magick(const char* codec, const char* name) {
    return {Decoder::Magick, codec, QString::fromLatin1(name), true};
}
RasterFormat own(Decoder decoder, const char* name) {
    return {decoder, {}, QString::fromLatin1(name), true};
}

bool isDibHeaderSize(uint32_t size) {
    return size == 12 || size == 40 || size == 52 || size == 56 || size == 64 || size == 108 ||
           size == 124;
}

bool isBitCount(uint16_t bits) {
    return bits == 1 || bits == 4 || bits == 8 || bits == 16 || bits == 24 || bits == 32;
}

// A bare BITMAPINFOHEADER (a clipboard DIB) has no magic bytes: check that
// every field is plausible so arbitrary binary data does not pass.
bool looksLikeHeaderlessDib(const QByteArray& h) {
    const uint32_t size = le32(h, 0);
    if (!isDibHeaderSize(size) || uint32_t(h.size()) < size + 2)
        return false;
    if (size == 12)
        return le16(h, 4) > 0 && le16(h, 6) > 0 && le16(h, 8) == 1 && isBitCount(le16(h, 10));
    const int32_t width = int32_t(le32(h, 4));
    const int32_t height = int32_t(le32(h, 8));
    const uint32_t compression = le32(h, 16);
    return width > 0 && width <= 100000 && height != 0 && height >= -100000 && height <= 100000 &&
           le16(h, 12) == 1 && isBitCount(le16(h, 14)) && (compression <= 3 || compression == 6);
}

bool isPnmWhitespace(uint8_t c) {
    return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '#';
}

} // namespace

std::optional<RasterFormat> identifyByContent(const QByteArray& h, const QByteArray& tail) {
    if (h.startsWith("\x89PNG\r\n\x1a\n"))
        return qt("png", "PNG");
    if (h.startsWith("\xff\xd8\xff"))
        return qt("jpeg", "JPEG");
    if (h.startsWith("GIF87a") || h.startsWith("GIF89a"))
        return qt("gif", "GIF");
    if (h.startsWith("BM") && isDibHeaderSize(le32(h, 14)))
        return qt("bmp", "BMP");
    if (h.startsWith("II*\0") || h.startsWith(QByteArray("MM\0*", 4)))
        return qt("tiff", "TIFF");
    if (h.startsWith(QByteArray("II+\0", 4)) || h.startsWith(QByteArray("MM\0+", 4)))
        return magick("TIFF", "BigTIFF");
    if (h.size() >= 6 && le16(h, 0) == 0 && (le16(h, 2) == 1 || le16(h, 2) == 2) &&
        le16(h, 4) > 0 && byteAt(h, 6 + 3) == 0)
        return qt(le16(h, 2) == 1 ? "ico" : "cur", le16(h, 2) == 1 ? "ICO" : "CUR");
    if (h.startsWith("RIFF") && h.mid(8, 4) == "WEBP")
        return qt("webp", "WebP");
    if (h.size() >= 3 && h[0] == 'P' && h[1] >= '1' && h[1] <= '6' && isPnmWhitespace(h[2])) {
        switch (h[1]) {
        case '1':
        case '4':
            return qt("pbm", "PBM");
        case '2':
        case '5':
            return qt("pgm", "PGM");
        default:
            return qt("ppm", "PPM");
        }
    }
    if (h.startsWith("8BPS") && (be16(h, 4) == 1 || be16(h, 4) == 2))
        return magick("PSD", "Photoshop");
    if (be16(h, 0) == 474 && byteAt(h, 2) <= 1 && (byteAt(h, 3) == 1 || byteAt(h, 3) == 2))
        return magick("SGI", "SGI");
    if (byteAt(h, 0) == 0x0a && h.size() >= 128 && byteAt(h, 1) <= 5 && byteAt(h, 1) != 1 &&
        byteAt(h, 2) <= 1 &&
        (byteAt(h, 3) == 1 || byteAt(h, 3) == 2 || byteAt(h, 3) == 4 || byteAt(h, 3) == 8))
        return magick("PCX", "PCX");
    if (le16(h, 0) == 0xcc52 && h.size() >= 15)
        return magick("RLE", "Utah RLE");
    if (h.mid(2048, 7) == "PCD_IPI")
        return magick("PCD", "Kodak Photo CD");
    if (tail.endsWith(QByteArray("TRUEVISION-XFILE.\0", 18)))
        return magick("TGA", "Truevision TGA");
    if (h.startsWith("Paint Shop Pro Image File\n\x1a"))
        return own(Decoder::Psp, "Paint Shop Pro");
    // Animator: a two-byte magic, so the fields after it must agree too.
    if (le16(h, 0) == 0x9119 && h.size() >= 32 && byteAt(h, 10) == 8 && byteAt(h, 11) == 0 &&
        le16(h, 2) > 0 && le16(h, 4) > 0)
        return own(Decoder::Animator, "Autodesk Animator");
    if (le16(h, 4) == 0x9500 && h.size() >= 64 && (byteAt(h, 18) == 8 || byteAt(h, 18) == 1) &&
        le16(h, 6) > 0 && le16(h, 8) > 0)
        return own(Decoder::Animator, "Autodesk Animator Pro PIC");
    if ((le16(h, 4) == 0xaf12 || le16(h, 4) == 0xaf11) && h.size() >= 128 && le16(h, 8) > 0 &&
        le16(h, 10) > 0)
        return own(Decoder::Flic,
                   le16(h, 4) == 0xaf12 ? "Autodesk Animator Pro CEL" : "Autodesk FLI");

    // Metafiles are drawings, read elsewhere: never claim them here.
    if ((le32(h, 0) == 1 && h.mid(40, 4) == " EMF") || le32(h, 0) == 0x9ac6cdd7u)
        return std::nullopt;

    if (looksLikeHeaderlessDib(h))
        return RasterFormat{Decoder::HeaderlessDib, "bmp", QStringLiteral("DIB"), true};

    // Let Qt's own plugins have a say, but only for the formats chosen above:
    // its SVG, XPM and TGA probes would claim files that belong elsewhere.
    QByteArray copy = h;
    QBuffer buffer(&copy);
    buffer.open(QIODevice::ReadOnly);
    const QByteArray guess = QImageReader::imageFormat(&buffer);
    for (const char* f : {"png", "jpeg", "gif", "bmp", "tiff", "webp"})
        if (guess == f)
            return qt(f, guess.toUpper().constData());
    return std::nullopt;
}

std::optional<RasterFormat> identifyBySuffix(const QString& suffix) {
    struct Entry {
        const char* suffix;
        Decoder decoder;
        const char* codec;
        const char* name;
    };
    static const Entry table[] = {
        {"png", Decoder::Qt, "png", "PNG"},
        {"jpg", Decoder::Qt, "jpeg", "JPEG"},
        {"jpeg", Decoder::Qt, "jpeg", "JPEG"},
        {"jpe", Decoder::Qt, "jpeg", "JPEG"},
        {"gif", Decoder::Qt, "gif", "GIF"},
        {"bmp", Decoder::Qt, "bmp", "BMP"},
        {"dib", Decoder::Qt, "bmp", "BMP"},
        {"ico", Decoder::Qt, "ico", "ICO"},
        {"tif", Decoder::Qt, "tiff", "TIFF"},
        {"tiff", Decoder::Qt, "tiff", "TIFF"},
        {"webp", Decoder::Qt, "webp", "WebP"},
        {"pbm", Decoder::Qt, "pbm", "PBM"},
        {"pgm", Decoder::Qt, "pgm", "PGM"},
        {"ppm", Decoder::Qt, "ppm", "PPM"},
        {"pcx", Decoder::Magick, "PCX", "PCX"},
        {"fax", Decoder::Magick, "FAX", "G3 fax"},
        {"bw", Decoder::Magick, "SGI", "SGI"},
        {"rgb", Decoder::Magick, "SGI", "SGI"},
        {"rgba", Decoder::Magick, "SGI", "SGI"},
        {"sgi", Decoder::Magick, "SGI", "SGI"},
        {"tga", Decoder::Magick, "TGA", "Truevision TGA"},
        {"vst", Decoder::Magick, "TGA", "Truevision TGA"},
        {"icb", Decoder::Magick, "TGA", "Truevision TGA"},
        {"vda", Decoder::Magick, "TGA", "Truevision TGA"},
        {"win", Decoder::Magick, "TGA", "Truevision TGA"},
        {"pcd", Decoder::Magick, "PCD", "Kodak Photo CD"},
        {"rle", Decoder::Magick, "RLE", "Utah RLE"},
        {"cut", Decoder::Magick, "CUT", "Dr. Halo CUT"},
        {"rla", Decoder::Rla, "RLA", "Wavefront RLA"},
        {"psd", Decoder::Magick, "PSD", "Photoshop"},
        {"pdd", Decoder::Magick, "PSD", "Photoshop"},
        {"rpf", Decoder::Rla, "RLA", "3ds Max RPF"},
        // Bytes that no Animator signature matched: the decoder says so.
        {"cel", Decoder::Animator, "", "Autodesk CEL"},
        {"pic", Decoder::Animator, "", "Autodesk PIC"},
        {"psp", Decoder::Psp, "", "Paint Shop Pro"},
        {"pal", Decoder::Palette, "", "Dr. Halo palette"},
        {"ged", Decoder::Unsupported, "", "Arts & Letters GED"},
    };
    for (const Entry& e : table)
        if (suffix == QLatin1String(e.suffix))
            return RasterFormat{e.decoder, e.codec, QString::fromLatin1(e.name), false};
    return std::nullopt;
}

std::optional<RasterFormat> identify(const QByteArray& head, const QByteArray& tail,
                                     const QString& suffix) {
    if (auto f = identifyByContent(head, tail))
        return f;
    return identifyBySuffix(suffix);
}

} // namespace dv::raster
