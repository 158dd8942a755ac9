#include "EmfRecords.h"

#include "formats/Reader.h"

#include <QtEndian>

#include <cstring>
#include <vector>

namespace dv::emf {

namespace {

// Types above this are not defined for EMF.
constexpr uint32_t kMaxType = 122;

uint32_t u32(const QByteArray& b, int64_t at) {
    uint32_t v = 0;
    std::memcpy(&v, b.constData() + at, 4);
    return qFromLittleEndian(v);
}
int32_t i32(const QByteArray& b, int64_t at) {
    return int32_t(u32(b, at));
}

struct Rect {
    int32_t left, top, right, bottom;
};

Rect rectAt(const QByteArray& b, int64_t at) {
    return {i32(b, at), i32(b, at + 4), i32(b, at + 8), i32(b, at + 12)};
}

class Walker {
public:
    Walker(const QByteArray& bytes, const QString& fileName) : m_b(bytes), m_file(fileName) {}

    [[noreturn]] void fail(const QString& what) const {
        throw ReadError(m_file, QStringLiteral("damaged EMF record %1 at byte offset %2: %3")
                                    .arg(m_index)
                                    .arg(m_at)
                                    .arg(what));
    }

    // The payload of the current record holds `count` items of `itemSize`
    // bytes from `offset` (from the record's start).
    void needArray(int64_t offset, int64_t count, int64_t itemSize, const char* what) const {
        if (offset < 8 || count < 0 || offset > m_size || count > (m_size - offset) / itemSize)
            fail(QStringLiteral("its %1 run past the record's end").arg(QLatin1String(what)));
    }

    uint32_t field(int64_t offset) const {
        if (offset + 4 > m_size)
            fail(QStringLiteral("it is too short (%1 bytes) for its type %2")
                     .arg(m_size)
                     .arg(m_type));
        return u32(m_b, m_at + offset);
    }

    // Record-specific checks: counts and offsets the converter follows.
    void checkPayload();

    Checked walk();

private:
    void checkHeader(Checked& out) const;
    void checkBitmap(int64_t at) const;

    const QByteArray& m_b;
    const QString& m_file;
    int64_t m_at = 0;
    int64_t m_index = 1;
    int64_t m_size = 0;
    uint32_t m_type = 0;
    std::vector<int64_t> m_glyphIndexTexts; // record offsets
};

void Walker::checkHeader(Checked& out) const {
    if (m_type != kHeader)
        fail(QStringLiteral("the first record is not the EMF header"));
    if (m_size < kHeaderMinSize)
        fail(QStringLiteral("the header is too short (%1 bytes)").arg(m_size));
    if (u32(m_b, 40) != 0x464D4520u)
        fail(QStringLiteral("the header lacks the EMF signature"));
    const uint32_t nDescription = field(60), offDescription = field(64);
    if (nDescription > 0)
        needArray(offDescription, nDescription, 2, "description");
    if (m_size >= 100) {
        const uint32_t cbPixelFormat = field(88), offPixelFormat = field(92);
        if (cbPixelFormat > 0)
            needArray(offPixelFormat, cbPixelFormat, 1, "pixel format");
    }
    const Rect frame = rectAt(m_b, 24); // 0.01 mm, inclusive
    const Rect bounds = rectAt(m_b, 8); // device pixels, inclusive
    const int64_t fw = int64_t(frame.right) - frame.left;
    const int64_t fh = int64_t(frame.bottom) - frame.top;
    const int64_t bw = int64_t(bounds.right) - bounds.left + 1;
    const int64_t bh = int64_t(bounds.bottom) - bounds.top + 1;
    const int32_t devW = i32(m_b, 72), devH = i32(m_b, 76);
    const int32_t mmW = i32(m_b, 80), mmH = i32(m_b, 84);
    // The reference device's pixel size; else the frame spread over the bounds.
    double mmPerPxX = 0, mmPerPxY = 0;
    if (devW > 0 && devH > 0 && mmW > 0 && mmH > 0) {
        mmPerPxX = double(mmW) / devW;
        mmPerPxY = double(mmH) / devH;
    } else if (fw > 0 && fh > 0 && bw > 0 && bh > 0) {
        mmPerPxX = fw / 100.0 / double(bw);
        mmPerPxY = fh / 100.0 / double(bh);
    } else {
        fail(QStringLiteral("the header gives neither a frame nor a reference device"));
    }
    if (fw > 0 && fh > 0) {
        out.frameMm = QSizeF(fw / 100.0, fh / 100.0);
        out.pixelsToMm =
            QTransform(mmPerPxX, 0, 0, mmPerPxY, bounds.left * mmPerPxX - frame.left / 100.0,
                       bounds.top * mmPerPxY - frame.top / 100.0);
    } else if (bw > 1 && bh > 1) {
        // No frame: the bounds make the page.
        out.frameMm = QSizeF(bw * mmPerPxX, bh * mmPerPxY);
        out.pixelsToMm = QTransform::fromScale(mmPerPxX, mmPerPxY);
    } else {
        fail(QStringLiteral("the header gives the picture no size"));
    }
    if (!(out.frameMm.width() < 1e7 && out.frameMm.height() < 1e7))
        fail(QStringLiteral("the picture's size is beyond any drawing"));
}

void Walker::checkBitmap(int64_t at) const {
    const int64_t offBmi = field(at), cbBmi = field(at + 4), offBits = field(at + 8),
                  cbBits = field(at + 12);
    if (cbBmi == 0)
        return;
    needArray(offBmi, cbBmi, 1, "bitmap header");
    if (cbBits > 0)
        needArray(offBits, cbBits, 1, "bitmap bits");
    if (cbBmi < 40)
        return; // an old core header: width and height are 16-bit, small
    // Uncompressed pixels are read by their dimensions, not by cbBits.
    const int64_t base = m_at + offBmi;
    const int64_t width = i32(m_b, base + 4), height = i32(m_b, base + 8);
    const int64_t bits = u32(m_b, base + 12) >> 16, compression = u32(m_b, base + 16);
    const int64_t colours = u32(m_b, base + 32);
    if (width < 0 || width > 1 << 20 || height < -(1 << 20) || height > 1 << 20)
        fail(QStringLiteral("its bitmap size %1 x %2 is impossible").arg(width).arg(height));
    if (bits <= 8) {
        const int64_t entries = colours ? colours : int64_t(1) << bits;
        if (entries > (cbBmi - 40) / 4)
            fail(QStringLiteral("its bitmap's colour table runs past the bitmap header"));
    }
    if (compression == 0 || compression == 3) {
        const int64_t stride = (width * bits + 31) / 32 * 4;
        if (stride * (height < 0 ? -height : height) > cbBits)
            fail(QStringLiteral("its bitmap has fewer bytes than its size needs"));
    }
}

void Walker::checkPayload() {
    switch (m_type) {
    case 2: // POLYBEZIER
    case 3: // POLYGON
    case 4: // POLYLINE
    case 5: // POLYBEZIERTO
    case 6: // POLYLINETO
        needArray(28, field(24), 8, "points");
        break;
    case 85: // POLYBEZIER16
    case 86: // POLYGON16
    case 87: // POLYLINE16
    case 88: // POLYBEZIERTO16
    case 89: // POLYLINETO16
        needArray(28, field(24), 4, "points");
        break;
    case 7:    // POLYPOLYLINE
    case 8:    // POLYPOLYGON
    case 90:   // POLYPOLYLINE16
    case 91: { // POLYPOLYGON16
        const int64_t polys = field(24), points = field(28);
        needArray(32, polys, 4, "polygon counts");
        int64_t sum = 0;
        for (int64_t i = 0; i < polys; ++i)
            sum += field(32 + 4 * i);
        if (sum != points)
            fail(QStringLiteral("its polygon counts do not add up to its point count"));
        needArray(32 + 4 * polys, points, m_type >= 90 ? 4 : 8, "points");
        break;
    }
    case 56:   // POLYDRAW
    case 92: { // POLYDRAW16
        const int64_t n = field(24), size = m_type == 92 ? 4 : 8;
        needArray(28, n, size, "points");
        needArray(28 + size * n, n, 1, "point types");
        break;
    }
    case 83:   // EXTTEXTOUTA
    case 84: { // EXTTEXTOUTW
        // The text part from offset 36: reference point, count, string
        // offset, options, a rectangle unless ETO_NO_RECT, spacing offset.
        const int64_t chars = field(44), offString = field(48), options = field(52);
        const int64_t offDx = field((options & 0x100) ? 56 : 72);
        needArray(offString, chars, m_type == 84 ? 2 : 1, "characters");
        if (chars > 0 && offDx != 0)
            needArray(offDx, chars, (options & 0x2000) ? 8 : 4, "character spacings");
        if (options & 0x10) // ETO_GLYPH_INDEX
            m_glyphIndexTexts.push_back(m_at);
        break;
    }
    case 70: // COMMENT
        needArray(12, field(8), 1, "comment data");
        break;
    case 76:  // BITBLT
    case 77:  // STRETCHBLT
    case 114: // ALPHABLEND
    case 116: // TRANSPARENTBLT
        checkBitmap(84);
        break;
    case 78: // MASKBLT
        checkBitmap(84);
        checkBitmap(112);
        break;
    case 79: // PLGBLT
        checkBitmap(96);
        checkBitmap(124);
        break;
    case 80: // SETDIBITSTODEVICE
    case 81: // STRETCHDIBITS
        checkBitmap(48);
        break;
    case 93: // CREATEMONOBRUSH
    case 94: // CREATEDIBPATTERNBRUSHPT
        checkBitmap(16);
        break;
    case 95: // EXTCREATEPEN: a style array and an optional bitmap
        needArray(52, field(48), 4, "pen style entries");
        checkBitmap(12);
        break;
    default:
        break;
    }
}

Checked Walker::walk() {
    Checked out;
    const int64_t total = m_b.size();
    for (;; ++m_index) {
        if (m_at + 8 > total)
            throw ReadError(m_file,
                            QStringLiteral("the EMF file is cut off after %1 bytes, before its "
                                           "end-of-file record (record %2 is missing)")
                                .arg(total)
                                .arg(m_index));
        if (m_index > kMaxRecords)
            fail(QStringLiteral("there are more than %1 records").arg(kMaxRecords));
        m_type = u32(m_b, m_at);
        m_size = u32(m_b, m_at + 4);
        if (m_size < 8 || m_size % 4 != 0)
            fail(QStringLiteral("its size %1 is not a whole number of words of at least 8")
                     .arg(m_size));
        if (m_at + m_size > total)
            throw ReadError(m_file,
                            QStringLiteral("record %1 at byte offset %2 claims %3 bytes but only "
                                           "%4 remain: the EMF file is cut off or damaged")
                                .arg(m_index)
                                .arg(m_at)
                                .arg(m_size)
                                .arg(total - m_at));
        if (m_type == 0 || m_type > kMaxType)
            fail(QStringLiteral("its type %1 is not an EMF record type").arg(m_type));
        if (m_index == 1)
            checkHeader(out);
        else if (m_type == kHeader)
            fail(QStringLiteral("a second header record"));
        checkPayload();
        m_at += m_size;
        if (m_type == kEof)
            break;
    }
    out.records = m_index;
    // Anything after the end-of-file record is not part of the picture.
    out.bytes = m_at == total ? m_b : m_b.left(qsizetype(m_at));
    for (const int64_t at : m_glyphIndexTexts) {
        char* record = out.bytes.data() + at;
        const uint32_t size = u32(out.bytes, at + 4);
        qToLittleEndian<uint32_t>(70, record); // EMR_COMMENT
        qToLittleEndian<uint32_t>(size - 12, record + 8);
    }
    // An empty description that still names a place is read by the converter
    // up to a terminator it may never find: name no place.
    if (u32(out.bytes, 60) == 0 && u32(out.bytes, 64) != 0)
        qToLittleEndian<uint32_t>(0, out.bytes.data() + 64);
    out.glyphIndexTexts = int64_t(m_glyphIndexTexts.size());
    return out;
}

} // namespace

bool looksLikeEmf(const QByteArray& head) {
    return head.size() >= 44 && u32(head, 0) == kHeader && u32(head, 40) == 0x464D4520u;
}

Checked checkRecords(const QByteArray& bytes, const QString& fileName) {
    if (!looksLikeEmf(bytes))
        throw ReadError(fileName, QStringLiteral("not an EMF file (no EMF header)"));
    Walker walker(bytes, fileName);
    return walker.walk();
}

} // namespace dv::emf
