#include "CgmBinary.h"

#include <algorithm>
#include <cstring>

namespace dv::cgm {

namespace {

struct Named {
    int cls;
    int id;
    const char* name;
};

const Named kNames[] = {
    {0, 0, "NO-OP"},
    {0, 1, "BEGIN METAFILE"},
    {0, 2, "END METAFILE"},
    {0, 3, "BEGIN PICTURE"},
    {0, 4, "BEGIN PICTURE BODY"},
    {0, 5, "END PICTURE"},
    {0, 6, "BEGIN SEGMENT"},
    {0, 7, "END SEGMENT"},
    {0, 8, "BEGIN FIGURE"},
    {0, 9, "END FIGURE"},
    {0, 13, "BEGIN PROTECTION REGION"},
    {0, 14, "END PROTECTION REGION"},
    {0, 15, "BEGIN COMPOUND LINE"},
    {0, 16, "END COMPOUND LINE"},
    {0, 17, "BEGIN COMPOUND TEXT PATH"},
    {0, 18, "END COMPOUND TEXT PATH"},
    {0, 19, "BEGIN TILE ARRAY"},
    {0, 20, "END TILE ARRAY"},
    {0, 21, "BEGIN APPLICATION STRUCTURE"},
    {0, 22, "BEGIN APPLICATION STRUCTURE BODY"},
    {0, 23, "END APPLICATION STRUCTURE"},
    {1, 1, "METAFILE VERSION"},
    {1, 2, "METAFILE DESCRIPTION"},
    {1, 3, "VDC TYPE"},
    {1, 4, "INTEGER PRECISION"},
    {1, 5, "REAL PRECISION"},
    {1, 6, "INDEX PRECISION"},
    {1, 7, "COLOUR PRECISION"},
    {1, 8, "COLOUR INDEX PRECISION"},
    {1, 9, "MAXIMUM COLOUR INDEX"},
    {1, 10, "COLOUR VALUE EXTENT"},
    {1, 11, "METAFILE ELEMENT LIST"},
    {1, 12, "METAFILE DEFAULTS REPLACEMENT"},
    {1, 13, "FONT LIST"},
    {1, 14, "CHARACTER SET LIST"},
    {1, 15, "CHARACTER CODING ANNOUNCER"},
    {1, 16, "NAME PRECISION"},
    {1, 17, "MAXIMUM VDC EXTENT"},
    {1, 19, "COLOUR MODEL"},
    {2, 1, "SCALING MODE"},
    {2, 2, "COLOUR SELECTION MODE"},
    {2, 3, "LINE WIDTH SPECIFICATION MODE"},
    {2, 4, "MARKER SIZE SPECIFICATION MODE"},
    {2, 5, "EDGE WIDTH SPECIFICATION MODE"},
    {2, 6, "VDC EXTENT"},
    {2, 7, "BACKGROUND COLOUR"},
    {2, 8, "DEVICE VIEWPORT"},
    {2, 9, "DEVICE VIEWPORT SPECIFICATION MODE"},
    {3, 1, "VDC INTEGER PRECISION"},
    {3, 2, "VDC REAL PRECISION"},
    {3, 3, "AUXILIARY COLOUR"},
    {3, 4, "TRANSPARENCY"},
    {3, 5, "CLIP RECTANGLE"},
    {3, 6, "CLIP INDICATOR"},
    {4, 1, "POLYLINE"},
    {4, 2, "DISJOINT POLYLINE"},
    {4, 3, "POLYMARKER"},
    {4, 4, "TEXT"},
    {4, 5, "RESTRICTED TEXT"},
    {4, 6, "APPEND TEXT"},
    {4, 7, "POLYGON"},
    {4, 8, "POLYGON SET"},
    {4, 9, "CELL ARRAY"},
    {4, 10, "GENERALIZED DRAWING PRIMITIVE"},
    {4, 11, "RECTANGLE"},
    {4, 12, "CIRCLE"},
    {4, 13, "CIRCULAR ARC 3 POINT"},
    {4, 14, "CIRCULAR ARC 3 POINT CLOSE"},
    {4, 15, "CIRCULAR ARC CENTRE"},
    {4, 16, "CIRCULAR ARC CENTRE CLOSE"},
    {4, 17, "ELLIPSE"},
    {4, 18, "ELLIPTICAL ARC"},
    {4, 19, "ELLIPTICAL ARC CLOSE"},
    {4, 20, "CIRCULAR ARC CENTRE REVERSED"},
    {4, 21, "CONNECTING EDGE"},
    {4, 22, "HYPERBOLIC ARC"},
    {4, 23, "PARABOLIC ARC"},
    {4, 24, "NON-UNIFORM B-SPLINE"},
    {4, 25, "NON-UNIFORM RATIONAL B-SPLINE"},
    {4, 26, "POLYBEZIER"},
    {4, 27, "POLYSYMBOL"},
    {4, 28, "BITONAL TILE"},
    {4, 29, "TILE"},
    {5, 1, "LINE BUNDLE INDEX"},
    {5, 2, "LINE TYPE"},
    {5, 3, "LINE WIDTH"},
    {5, 4, "LINE COLOUR"},
    {5, 5, "MARKER BUNDLE INDEX"},
    {5, 6, "MARKER TYPE"},
    {5, 7, "MARKER SIZE"},
    {5, 8, "MARKER COLOUR"},
    {5, 9, "TEXT BUNDLE INDEX"},
    {5, 10, "TEXT FONT INDEX"},
    {5, 11, "TEXT PRECISION"},
    {5, 12, "CHARACTER EXPANSION FACTOR"},
    {5, 13, "CHARACTER SPACING"},
    {5, 14, "TEXT COLOUR"},
    {5, 15, "CHARACTER HEIGHT"},
    {5, 16, "CHARACTER ORIENTATION"},
    {5, 17, "TEXT PATH"},
    {5, 18, "TEXT ALIGNMENT"},
    {5, 19, "CHARACTER SET INDEX"},
    {5, 20, "ALTERNATE CHARACTER SET INDEX"},
    {5, 21, "FILL BUNDLE INDEX"},
    {5, 22, "INTERIOR STYLE"},
    {5, 23, "FILL COLOUR"},
    {5, 24, "HATCH INDEX"},
    {5, 25, "PATTERN INDEX"},
    {5, 26, "EDGE BUNDLE INDEX"},
    {5, 27, "EDGE TYPE"},
    {5, 28, "EDGE WIDTH"},
    {5, 29, "EDGE COLOUR"},
    {5, 30, "EDGE VISIBILITY"},
    {5, 31, "FILL REFERENCE POINT"},
    {5, 32, "PATTERN TABLE"},
    {5, 33, "PATTERN SIZE"},
    {5, 34, "COLOUR TABLE"},
    {5, 35, "ASPECT SOURCE FLAGS"},
    {6, 1, "ESCAPE"},
    {7, 1, "MESSAGE"},
    {7, 2, "APPLICATION DATA"},
};

} // namespace

QString elementName(int cls, int id) {
    for (const Named& n : kNames)
        if (n.cls == cls && n.id == id)
            return QString::fromLatin1(n.name);
    return QStringLiteral("class %1 id %2").arg(cls).arg(id);
}

unsigned ElementStream::word(size_t at) const {
    return (unsigned(uint8_t(m_data[at])) << 8) | uint8_t(m_data[at + 1]);
}

bool ElementStream::next(Element& e) {
    m_start = m_pos;
    if (m_pos >= m_size)
        return false;
    if (m_size - m_pos < 2)
        throw FormatError(QStringLiteral("a command header is cut off"));
    const size_t start = m_start = m_pos;
    const unsigned header = word(m_pos);
    m_pos += 2;
    e.cls = int(header >> 12);
    e.id = int((header >> 5) & 0x7F);
    e.offset = start;
    e.data.clear();
    e.label.clear();
    const unsigned shortLength = header & 0x1F;
    if (shortLength != 31) {
        if (m_size - m_pos < shortLength)
            throw FormatError(QStringLiteral("the parameters of %1 run past the end of the file")
                                  .arg(elementName(e.cls, e.id)));
        e.data = QByteArray(m_data + m_pos, qsizetype(shortLength));
        m_pos += shortLength + (shortLength & 1);
        m_pos = std::min(m_pos, m_size);
        return true;
    }
    // Long form: partitions, each with its own length word, until one
    // without the continuation flag. Every partition consumes its header,
    // so the loop ends with the bytes.
    bool more = true;
    while (more) {
        if (m_size - m_pos < 2)
            throw FormatError(QStringLiteral("a partition header of %1 is cut off")
                                  .arg(elementName(e.cls, e.id)));
        const unsigned w = word(m_pos);
        m_pos += 2;
        more = (w & 0x8000) != 0;
        const size_t length = w & 0x7FFF;
        if (m_size - m_pos < length)
            throw FormatError(QStringLiteral("the parameters of %1 run past the end of the file")
                                  .arg(elementName(e.cls, e.id)));
        e.data.append(m_data + m_pos, qsizetype(length));
        m_pos += length + (length & 1);
        m_pos = std::min(m_pos, m_size);
    }
    return true;
}

void ParamReader::need(size_t n) const {
    if (remaining() < n)
        throw FormatError(QStringLiteral("the parameters end early"));
}

void ParamReader::skip(size_t n) {
    need(n);
    m_pos += n;
}

uint64_t ParamReader::unsignedInt(int bits) {
    const size_t n = size_t(bits) / 8;
    need(n);
    uint64_t v = 0;
    for (size_t i = 0; i < n; ++i)
        v = (v << 8) | uint8_t(m_data[qsizetype(m_pos + i)]);
    m_pos += n;
    return v;
}

int64_t ParamReader::signedInt(int bits) {
    const uint64_t v = unsignedInt(bits);
    const uint64_t sign = uint64_t(1) << (bits - 1);
    return (v & sign) ? int64_t(v) - int64_t(sign << 1) : int64_t(v);
}

double ParamReader::real(const RealFormat& f) {
    if (f.fixed) {
        const int half = f.bits / 2;
        const double whole = double(signedInt(half));
        const double fraction = double(unsignedInt(half));
        return whole + fraction / double(uint64_t(1) << half);
    }
    if (f.bits == 32) {
        const uint32_t bits = uint32_t(unsignedInt(32));
        float v;
        std::memcpy(&v, &bits, sizeof v);
        return double(v);
    }
    const uint64_t bits = unsignedInt(64);
    double v;
    std::memcpy(&v, &bits, sizeof v);
    return v;
}

uint32_t ParamReader::directColour() {
    uint32_t rgb = 0;
    for (int c = 0; c < 3; ++c) {
        const uint64_t raw = unsignedInt(m_p.colour);
        const double lo = m_p.colourMin[c], hi = m_p.colourMax[c];
        double t = hi > lo ? (double(raw) - lo) / (hi - lo) : 0.0;
        t = std::clamp(t, 0.0, 1.0);
        rgb = (rgb << 8) | uint32_t(t * 255.0 + 0.5);
    }
    return rgb;
}

QString ParamReader::string() {
    need(1);
    size_t length = uint8_t(m_data[qsizetype(m_pos)]);
    ++m_pos;
    if (length != 255) {
        need(length);
        const QString s = QString::fromLatin1(m_data.constData() + m_pos, qsizetype(length));
        m_pos += length;
        return s;
    }
    QByteArray bytes;
    bool more = true;
    while (more) {
        const unsigned w = unsigned(unsignedInt(16));
        more = (w & 0x8000) != 0;
        length = w & 0x7FFF;
        need(length);
        bytes.append(m_data.constData() + m_pos, qsizetype(length));
        m_pos += length;
    }
    return QString::fromLatin1(bytes);
}

RealFormat ParamReader::realFormat() {
    const int form = enumeration();
    const int64_t a = integer();
    const int64_t b = integer();
    RealFormat f;
    if (form == 1 && a == 16 && b == 16)
        f = {true, 32};
    else if (form == 1 && a == 32 && b == 32)
        f = {true, 64};
    else if (form == 0 && a == 9 && b == 23)
        f = {false, 32};
    else if (form == 0 && a == 12 && b == 52)
        f = {false, 64};
    else
        throw FormatError(
            QStringLiteral("the real precision (form %1, %2, %3) is not one the binary encoding "
                           "allows")
                .arg(form)
                .arg(a)
                .arg(b));
    return f;
}

int checkedPrecision(int64_t bits, bool allowEight, const char* what) {
    if ((bits == 8 && allowEight) || bits == 16 || bits == 24 || bits == 32)
        return int(bits);
    throw FormatError(QStringLiteral("the %1 precision %2 is not one the binary encoding allows")
                          .arg(QLatin1String(what))
                          .arg(bits));
}

} // namespace dv::cgm
