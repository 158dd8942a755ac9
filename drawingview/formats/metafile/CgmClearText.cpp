#include "CgmClearText.h"

#include <QStringList>

#include <cctype>
#include <cmath>
#include <cstring>

namespace dv::cgm {

namespace {

// Parameter letters: i integer, x index, e enumeration, r real, v VDC,
// p point, c colour (by the selection mode), k colour index, d direct
// colour, s string, l/m/g line/marker/edge size (by its mode), * repeats
// the rest (from the last '[', or all); q a cell array's precision (read,
// re-encoded as 32 bits, packed), n every number left at 32 bits. Enumerations list their keywords
// in order, '|' between them.
struct Signature {
    const char* name;
    int cls;
    int id;
    const char* params;
    const char* enums;
};

const Signature kSignatures[] = {
    {"BEGMF", 0, 1, "s", ""},
    {"ENDMF", 0, 2, "", ""},
    {"BEGPIC", 0, 3, "s", ""},
    {"BEGPICBODY", 0, 4, "", ""},
    {"ENDPIC", 0, 5, "", ""},
    {"BEGSEG", 0, 6, "", ""},
    {"ENDSEG", 0, 7, "", ""},
    {"BEGFIG", 0, 8, "", ""},
    {"ENDFIG", 0, 9, "", ""},
    {"MFVERSION", 1, 1, "i", ""},
    {"MFDESC", 1, 2, "s", ""},
    {"VDCTYPE", 1, 3, "e", "INTEGER,REAL"},
    {"MAXCOLRINDEX", 1, 9, "k", ""},
    {"COLRVALUEEXT", 1, 10, "dd", ""},
    {"FONTLIST", 1, 13, "s*", ""},
    {"SCALEMODE", 2, 1, "er", "ABSTRACT,METRIC"},
    {"COLRMODE", 2, 2, "e", "INDEXED,DIRECT"},
    {"LINEWIDTHMODE", 2, 3, "e", "ABS,SCALED,FRACTIONAL,MM"},
    {"MARKERSIZEMODE", 2, 4, "e", "ABS,SCALED,FRACTIONAL,MM"},
    {"EDGEWIDTHMODE", 2, 5, "e", "ABS,SCALED,FRACTIONAL,MM"},
    {"VDCEXT", 2, 6, "pp", ""},
    {"BACKCOLR", 2, 7, "d", ""},
    {"CLIPRECT", 3, 5, "pp", ""},
    {"CLIP", 3, 6, "e", "OFF,ON"},
    {"LINE", 4, 1, "p*", ""},
    {"DISJTLINE", 4, 2, "p*", ""},
    {"MARKER", 4, 3, "p*", ""},
    {"TEXT", 4, 4, "pes", "NOTFINAL,FINAL"},
    {"RESTRTEXT", 4, 5, "vvpes", "NOTFINAL,FINAL"},
    {"APNDTEXT", 4, 6, "es", "NOTFINAL,FINAL"},
    {"POLYGON", 4, 7, "p*", ""},
    {"POLYGONSET", 4, 8, "pe*", "INVIS,VIS,CLOSEINVIS,CLOSEVIS"},
    {"CELLARRAY", 4, 9, "pppiiqn", ""},
    {"RECT", 4, 11, "pp", ""},
    {"CIRCLE", 4, 12, "pv", ""},
    {"ARC3PT", 4, 13, "ppp", ""},
    {"ARC3PTCLOSE", 4, 14, "pppe", "PIE,CHORD"},
    {"ARCCTR", 4, 15, "pvvvvv", ""},
    {"ARCCTRCLOSE", 4, 16, "pvvvvve", "PIE,CHORD"},
    {"ELLIPSE", 4, 17, "ppp", ""},
    {"ELLIPARC", 4, 18, "pppvvvv", ""},
    {"ELLIPARCCLOSE", 4, 19, "pppvvvve", "PIE,CHORD"},
    {"ARCCTRREV", 4, 20, "pvvvvv", ""},
    {"POLYBEZIER", 4, 26, "i[p*", ""},
    {"NEWREGION", 3, 10, "", ""},
    {"LINETYPE", 5, 2, "x", ""},
    {"LINEWIDTH", 5, 3, "l", ""},
    {"LINECOLR", 5, 4, "c", ""},
    {"MARKERTYPE", 5, 6, "x", ""},
    {"MARKERSIZE", 5, 7, "m", ""},
    {"MARKERCOLR", 5, 8, "c", ""},
    {"TEXTFONTINDEX", 5, 10, "x", ""},
    {"CHAREXPAN", 5, 12, "r", ""},
    {"TEXTCOLR", 5, 14, "c", ""},
    {"CHARHEIGHT", 5, 15, "v", ""},
    {"CHARORI", 5, 16, "vvvv", ""},
    {"TEXTALIGN", 5, 18, "eerr",
     "NORMHORIZ,LEFT,CTR,RIGHT,CONTHORIZ|NORMVERT,TOP,CAP,HALF,BASE,BOTTOM,CONTVERT"},
    {"INTSTYLE", 5, 22, "e", "HOLLOW,SOLID,PAT,HATCH,EMPTY,GEOPAT,INTERP"},
    {"FILLCOLR", 5, 23, "c", ""},
    {"HATCHINDEX", 5, 24, "x", ""},
    {"EDGETYPE", 5, 27, "x", ""},
    {"EDGEWIDTH", 5, 28, "g", ""},
    {"EDGECOLR", 5, 29, "c", ""},
    {"EDGEVIS", 5, 30, "e", "OFF,ON"},
    {"COLRTABLE", 5, 34, "k[d*", ""},
};

// Elements whose values only describe the encoding, read and dropped.
const char* const kIgnored[] = {
    "INTEGERPREC",    "REALPREC",     "INDEXPREC",       "COLRPREC",    "COLRINDEXPREC",
    "VDCINTEGERPREC", "VDCREALPREC",  "MFELEMLIST",      "CHARSETLIST", "CHARCODING",
    "NAMEPREC",       "MAXVDCEXT",    "COLRMODEL",       "TEXTPREC",    "CHARSPACE",
    "TEXTPATH",       "CHARSETINDEX", "ALTCHARSETINDEX", "LINEINDEX",   "MARKERINDEX",
    "TEXTINDEX",      "FILLINDEX",    "EDGEINDEX",       "FILLREFPT",   "PATINDEX",
    "PATSIZE",        "ASF",          "VDCEXTDEFAULT",   "AUXCOLR",     "TRANSPARENCY",
    "MESSAGE",        "APPLDATA",     "ESCAPE",          "DEVVP",       "DEVVPMODE"};

void put(QByteArray& out, uint64_t v, int bytes) {
    for (int i = bytes - 1; i >= 0; --i)
        out.append(char((v >> (8 * i)) & 0xFF));
}

void putReal(QByteArray& out, double v) {
    uint64_t bits;
    std::memcpy(&bits, &v, sizeof bits);
    put(out, bits, 8);
}

void putString(QByteArray& out, const QString& s) {
    const QByteArray raw = s.toLatin1();
    if (raw.size() < 255) {
        out.append(char(raw.size()));
    } else {
        out.append(char(255));
        // Long strings in partitions of at most 32767 bytes.
        for (qsizetype at = 0; at < raw.size(); at += 0x7FFF) {
            const qsizetype n = std::min<qsizetype>(0x7FFF, raw.size() - at);
            put(out, uint64_t(n) | (at + n < raw.size() ? 0x8000u : 0u), 2);
            out.append(raw.constData() + at, n);
        }
        return;
    }
    out.append(raw);
}

// Clear-text integers: optional sign, optional "base#digits".
bool parseNumber(const QString& text, double& value) {
    bool ok = false;
    const qsizetype hash = text.indexOf(QLatin1Char('#'));
    if (hash > 0) {
        const int base = text.left(hash).toInt(&ok);
        if (!ok || base < 2 || base > 16)
            return false;
        value = double(text.mid(hash + 1).toLongLong(&ok, base));
        return ok;
    }
    value = text.toDouble(&ok);
    return ok && std::isfinite(value);
}

} // namespace

Precisions ClearTextStream::precisions() {
    Precisions p;
    p.integer = 32;
    p.index = 32;
    p.colour = 32;
    p.colourIndex = 32;
    p.real = {false, 64};
    p.vdcInteger = 32;
    p.vdcRealFormat = {false, 64};
    return p;
}

void ClearTextStream::skipSpace() {
    // Blanks, commas and comments (between percent signs) separate tokens.
    while (m_pos < m_size) {
        const char c = m_data[m_pos];
        if (c == '%') {
            const void* end = std::memchr(m_data + m_pos + 1, '%', m_size - m_pos - 1);
            if (!end)
                throw FormatError(QStringLiteral("a comment is not closed"));
            m_pos = size_t(static_cast<const char*>(end) - m_data) + 1;
        } else if (c == ' ' || c == '\t' || c == '\r' || c == '\n' || c == ',' || c == '(' ||
                   c == ')' || c == '\f' || c == '\v') {
            ++m_pos;
        } else {
            return;
        }
    }
}

bool ClearTextStream::readElement(QString& name, std::vector<Token>& params) {
    params.clear();
    skipSpace();
    // Empty elements (a lone separator) are allowed.
    while (m_pos < m_size && (m_data[m_pos] == ';' || m_data[m_pos] == '/')) {
        ++m_pos;
        skipSpace();
    }
    m_start = m_pos;
    if (m_pos >= m_size)
        return false;
    const size_t nameStart = m_pos;
    while (m_pos < m_size && (std::isalnum(uint8_t(m_data[m_pos])) || m_data[m_pos] == '_'))
        ++m_pos;
    if (m_pos == nameStart)
        throw FormatError(QStringLiteral("an element name was expected, found \"%1\"")
                              .arg(QLatin1Char(m_data[m_pos])));
    name = QString::fromLatin1(m_data + nameStart, qsizetype(m_pos - nameStart))
               .toUpper()
               .remove(QLatin1Char('_'));
    // Each pass consumes at least one byte or ends the element.
    for (;;) {
        skipSpace();
        if (m_pos >= m_size)
            throw FormatError(QStringLiteral("the element %1 is not ended by ';'").arg(name));
        const char c = m_data[m_pos];
        if (c == ';' || c == '/') {
            ++m_pos;
            return true;
        }
        if (c == '\'' || c == '"') {
            QByteArray text;
            ++m_pos;
            for (;;) {
                if (m_pos >= m_size)
                    throw FormatError(QStringLiteral("a string is not closed"));
                if (m_data[m_pos] == c) {
                    if (m_pos + 1 < m_size && m_data[m_pos + 1] == c) {
                        text.append(c);
                        m_pos += 2;
                        continue;
                    }
                    ++m_pos;
                    break;
                }
                text.append(m_data[m_pos++]);
            }
            params.push_back({Token::String, QString::fromLatin1(text), 0});
            continue;
        }
        const size_t start = m_pos;
        while (m_pos < m_size && !std::strchr(" \t\r\n\f\v,();/'\"%", m_data[m_pos]))
            ++m_pos;
        if (m_pos == start) // a byte no token may hold, such as NUL
            throw FormatError(QStringLiteral("the byte 0x%1 at offset %2 is not clear text")
                                  .arg(uint8_t(c), 2, 16, QLatin1Char('0'))
                                  .arg(m_pos));
        const QString word = QString::fromLatin1(m_data + start, qsizetype(m_pos - start));
        Token t{Token::Word, word, 0};
        if (parseNumber(word, t.number))
            t.kind = Token::Number;
        params.push_back(t);
    }
}

bool ClearTextStream::next(Element& e) {
    QString name;
    std::vector<Token> params;
    for (;;) {
        if (!readElement(name, params))
            return false;
        e.offset = m_start;
        e.data.clear();
        if (name == QLatin1String("BEGMFDEFAULTS")) {
            // The bracketed elements become one METAFILE DEFAULTS REPLACEMENT.
            if (m_inDefaults)
                throw FormatError(QStringLiteral("BEGMFDEFAULTS inside itself"));
            m_inDefaults = true;
            const size_t start = m_start;
            QByteArray inner;
            Element sub;
            for (;;) {
                if (!next(sub))
                    throw FormatError(QStringLiteral("BEGMFDEFAULTS is not ended"));
                if (sub.cls == -1)
                    break;
                put(inner, uint64_t(sub.cls << 12 | sub.id << 5 | 31), 2);
                // Partitions of at most 32766 bytes keep the words aligned.
                for (qsizetype at = 0; at < sub.data.size() || at == 0; at += 0x7FFE) {
                    const qsizetype n = std::min<qsizetype>(0x7FFE, sub.data.size() - at);
                    put(inner, uint64_t(n) | (at + n < sub.data.size() ? 0x8000u : 0u), 2);
                    inner.append(sub.data.constData() + at, n);
                    if (n & 1)
                        inner.append('\0');
                    if (n == 0)
                        break;
                }
            }
            m_inDefaults = false;
            e.cls = 1;
            e.id = 12;
            e.offset = start;
            e.data = inner;
            return true;
        }
        if (name == QLatin1String("ENDMFDEFAULTS")) {
            if (!m_inDefaults)
                throw FormatError(QStringLiteral("ENDMFDEFAULTS without BEGMFDEFAULTS"));
            e.cls = -1;
            return true;
        }
        bool ignored = false;
        for (const char* n : kIgnored)
            ignored = ignored || name == QLatin1String(n);
        if (ignored)
            continue;
        encode(name, params, e);
        return true;
    }
}

void ClearTextStream::encode(const QString& name, const std::vector<Token>& params, Element& e) {
    const Signature* sig = nullptr;
    for (const Signature& s : kSignatures)
        if (name == QLatin1String(s.name))
            sig = &s;
    if (!sig) {
        // Unknown to us: passed on under an id no class uses, to be counted.
        e.cls = 15;
        e.id = 127;
        e.label = name;
        return;
    }
    e.cls = sig->cls;
    e.id = sig->id;
    const QStringList enumLists = QString::fromLatin1(sig->enums).split(QLatin1Char('|'));
    size_t t = 0;
    auto number = [&](const char* what) {
        if (t >= params.size() || params[t].kind != Token::Number)
            throw FormatError(QStringLiteral("%1: %2 expected as parameter %3")
                                  .arg(name, QLatin1String(what))
                                  .arg(t + 1));
        return params[t++].number;
    };
    auto integer = [&](const char* what) {
        const double v = number(what);
        if (v != std::floor(v) || std::abs(v) > 2147483647.0)
            throw FormatError(QStringLiteral("%1: %2 is not an integer").arg(name).arg(v));
        return int64_t(v);
    };
    auto vdc = [&] {
        if (m_vdcReal)
            putReal(e.data, number("a coordinate"));
        else
            put(e.data, uint64_t(integer("a coordinate")), 4);
    };
    auto direct = [&] {
        for (int c = 0; c < 3; ++c)
            put(e.data, uint64_t(integer("a colour component")), 4);
    };
    const char* p = sig->params;
    const char* repeat = sig->params;
    int enumIndex = 0;
    // Each pass reads a token or ends; a repeat needs tokens left.
    for (;;) {
        if (*p == '[') {
            repeat = ++p;
            continue;
        }
        if (*p == '*') {
            if (t >= params.size())
                break;
            p = repeat;
            enumIndex = 0;
        }
        if (!*p)
            break;
        switch (*p) {
        case 'i':
        case 'x':
        case 'k':
            put(e.data, uint64_t(integer("an integer")), 4);
            break;
        case 'r':
            putReal(e.data, number("a real"));
            break;
        case 'q':
            integer("a colour precision");
            put(e.data, 32, 4);
            put(e.data, 1, 2);
            break;
        case 'n':
            while (t < params.size())
                put(e.data, uint64_t(integer("a cell colour")), 4);
            break;
        case 'v':
            vdc();
            break;
        case 'p':
            vdc();
            vdc();
            break;
        case 'd':
            direct();
            break;
        case 'c':
            if (m_direct)
                direct();
            else
                put(e.data, uint64_t(integer("a colour index")), 4);
            break;
        case 'l':
        case 'm':
        case 'g': {
            const int mode = m_widthModes[*p == 'l' ? 0 : *p == 'm' ? 1 : 2];
            if (mode == 0)
                vdc();
            else
                putReal(e.data, number("a size"));
            break;
        }
        case 's':
            if (t >= params.size() || params[t].kind != Token::String)
                throw FormatError(
                    QStringLiteral("%1: a string expected as parameter %2").arg(name).arg(t + 1));
            putString(e.data, params[t++].text);
            break;
        case 'e': {
            if (t >= params.size())
                throw FormatError(
                    QStringLiteral("%1: parameter %2 is missing").arg(name).arg(t + 1));
            const QStringList words =
                enumLists.value(std::min<int>(enumIndex, int(enumLists.size()) - 1))
                    .split(QLatin1Char(','));
            ++enumIndex;
            if (params[t].kind == Token::Number) {
                const int64_t value = integer("an enumeration value");
                if (value < 0 || value > 0xFFFF)
                    throw FormatError(
                        QStringLiteral("%1: %2 is not a value it takes").arg(name).arg(value));
                put(e.data, uint64_t(value), 2);
                break;
            }
            const Token& tok = params[t++];
            const int value = int(words.indexOf(tok.text.toUpper()));
            if (value < 0)
                throw FormatError(
                    QStringLiteral("%1: \"%2\" is not a value it takes").arg(name, tok.text));
            put(e.data, uint64_t(value), 2);
            break;
        }
        }
        ++p;
    }
    if (t < params.size())
        throw FormatError(QStringLiteral("%1: more parameters than it takes").arg(name));

    // Later elements are encoded by what these say.
    if (e.cls == 1 && e.id == 3)
        m_vdcReal = e.data.size() == 2 && e.data[1] == 1;
    if (e.cls == 2 && e.id == 2)
        m_direct = e.data.size() == 2 && e.data[1] == 1;
    if (e.cls == 2 && e.id >= 3 && e.id <= 5)
        m_widthModes[e.id - 3] = e.data.size() == 2 ? int(e.data[1]) : 1;
}

} // namespace dv::cgm
