#pragma once

// Which raster format a file holds, from its first (and last) bytes and, when
// the bytes say nothing, from its suffix. Knows nothing of decoding.

#include <QByteArray>
#include <QString>

#include <optional>

namespace dv::raster {

enum class Decoder {
    Qt,            // QImageReader with `codec` as the format
    Magick,        // ImageMagick with `codec` as the coder
    HeaderlessDib, // a BMP without its file header: Qt after prepending one
    Rla,           // Wavefront RLA and 3ds Max RPF, decoded by our own code
    Animator,      // Autodesk Animator CEL/PIC and Animator Pro PIC (own code)
    Flic,          // Animator Pro CEL: a FLIC file whose first frame is shown
    Psp,           // Paint Shop Pro (own code)
    Palette,       // colours only, no picture
    Unsupported,   // known, but nothing here decodes it
};

struct RasterFormat {
    Decoder decoder = Decoder::Unsupported;
    QByteArray codec;
    QString name; // for the user: "PNG", "Photoshop"
    bool fromContent = false;
};

// `head` is the start of the file; `tail` its last bytes (for formats whose
// signature is a footer) or empty when unknown; `suffix` is lower case.
std::optional<RasterFormat> identifyByContent(const QByteArray& head, const QByteArray& tail);
std::optional<RasterFormat> identifyBySuffix(const QString& suffix);
std::optional<RasterFormat> identify(const QByteArray& head, const QByteArray& tail,
                                     const QString& suffix);

// How many bytes of the end of a file identifyByContent() looks at.
constexpr int kTailSize = 26;

} // namespace dv::raster
