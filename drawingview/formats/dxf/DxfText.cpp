#include "DxfText.h"
#include "DxfTokenizer.h"

#include "DxfMText.h"

#include <algorithm>
#include <cstring>

namespace dv::dxf {

namespace {

bool isAscii(std::string_view s) {
    for (unsigned char c : s)
        if (c >= 0x80)
            return false;
    return true;
}

int hexValue(QChar c) {
    return hexDigit(c.unicode());
}

} // namespace

QString codecNameFor(std::string_view codePage) {
    std::string cp(codePage);
    std::transform(cp.begin(), cp.end(), cp.begin(),
                   [](unsigned char c) { return std::toupper(c); });
    auto digits = [&](size_t from) { return QString::fromLatin1(cp.substr(from)); };
    if (cp.rfind("ANSI_", 0) == 0) {
        const QString n = digits(5);
        if (n == QLatin1String("932"))
            return QStringLiteral("Shift_JIS");
        if (n == QLatin1String("936"))
            return QStringLiteral("GBK");
        if (n == QLatin1String("949"))
            return QStringLiteral("windows-949");
        if (n == QLatin1String("950"))
            return QStringLiteral("Big5");
        if (n == QLatin1String("1361"))
            return QStringLiteral("Johab");
        return QStringLiteral("windows-") + n;
    }
    if (cp.rfind("DOS", 0) == 0 && cp.size() > 3 && std::isdigit((unsigned char)cp[3]))
        return QStringLiteral("IBM") + digits(3);
    if (cp.rfind("ISO8859-", 0) == 0)
        return QStringLiteral("ISO-8859-") + digits(8);
    if (cp == "UTF-8" || cp == "UTF8")
        return QStringLiteral("UTF-8");
    return {};
}

TextDecoder::TextDecoder() {
    configure("", "");
}

void TextDecoder::configure(std::string_view acadVersion, std::string_view codePage) {
    // AC1021 (AutoCAD 2007) and later always store UTF-8.
    QString name;
    if (acadVersion.size() == 6 && acadVersion.substr(0, 2) == "AC" && acadVersion >= "AC1021")
        name = QStringLiteral("UTF-8");
    else
        name = codecNameFor(codePage);
    m_decoder = QStringDecoder();
    m_name = QStringLiteral("ISO-8859-1");
    if (!name.isEmpty()) {
        const QByteArray latinName = name.toLatin1();
        QStringDecoder d(latinName.constData());
        if (d.isValid()) {
            m_decoder = std::move(d);
            m_name = name;
        }
    }
}

QString TextDecoder::decodeName(std::string_view raw) {
    if (isAscii(raw) || !m_decoder.isValid())
        return QString::fromLatin1(raw.data(), qsizetype(raw.size()));
    m_decoder.resetState();
    QString s = m_decoder.decode(QByteArrayView(raw.data(), qsizetype(raw.size())));
    m_decoder.resetState();
    return s;
}

QString TextDecoder::decodeText(std::string_view raw, std::vector<Text::Decoration>* decorations) {
    QString s = decodeName(raw);
    if (raw.find('\\') != std::string_view::npos || raw.find("%%") != std::string_view::npos)
        return expandEscapes(s, decorations);
    return s;
}

QString expandEscapes(const QString& s, std::vector<Text::Decoration>* decorations) {
    QString out;
    out.reserve(s.size());
    const qsizetype n = s.size();
    int32_t openedAt[3] = {-1, -1, -1}; // per Text::Line
    auto close = [&](Text::Line line) {
        int32_t& from = openedAt[line];
        if (decorations && from >= 0 && out.size() > from)
            decorations->push_back({line, from, int32_t(out.size())});
        from = -1;
    };
    for (qsizetype i = 0; i < n; ++i) {
        const QChar c = s[i];
        if (c == u'\\' && i + 6 < n && (s[i + 1] == u'U' || s[i + 1] == u'u') && s[i + 2] == u'+') {
            int v = 0, k = 0;
            for (; k < 4 && i + 3 + k < n; ++k) {
                const int h = hexValue(s[i + 3 + k]);
                if (h < 0)
                    break;
                v = v * 16 + h;
            }
            if (k == 4) {
                out += QChar(char16_t(v));
                i += 6;
                continue;
            }
        }
        // \M+nXXXX: a double-byte character of code page n, as older
        // programs wrote what their own code page could not hold.
        if (c == u'\\' && i + 7 < n && (s[i + 1] == u'M' || s[i + 1] == u'm') && s[i + 2] == u'+' &&
            s[i + 3].isDigit()) {
            unsigned v = 0;
            int k = 0;
            for (; k < 4 && hexValue(s[i + 4 + k]) >= 0; ++k)
                v = v * 16 + unsigned(hexValue(s[i + 4 + k]));
            if (k == 4) {
                out += decodeMifChar(s[i + 3].digitValue(), v);
                i += 7;
                continue;
            }
        }
        if (c == u'%' && i + 2 < n && s[i + 1] == u'%') {
            const QChar k = s[i + 2].toLower();
            if (k == u'c') {
                out += QChar(0x2300); // diameter sign
                i += 2;
                continue;
            }
            if (k == u'd') {
                out += QChar(0x00B0);
                i += 2;
                continue;
            }
            if (k == u'p') {
                out += QChar(0x00B1);
                i += 2;
                continue;
            }
            if (k == u'u' || k == u'o' || k == u'k') {
                const Text::Line line = k == u'u'   ? Text::Underline
                                        : k == u'o' ? Text::Overline
                                                    : Text::StrikeThrough;
                if (openedAt[line] >= 0)
                    close(line);
                else
                    openedAt[line] = int32_t(out.size());
                i += 2;
                continue;
            }
            if (k == u'%') {
                out += u'%';
                i += 2;
                continue;
            }
            if (k.isDigit()) {
                int v = 0, len = 0;
                while (len < 3 && i + 2 + len < n && s[i + 2 + len].isDigit()) {
                    v = v * 10 + s[i + 2 + len].digitValue();
                    ++len;
                }
                if (v > 0)
                    out += QChar(char16_t(v));
                i += 1 + len;
                continue;
            }
        }
        out += c;
    }
    for (Text::Line line : {Text::Underline, Text::Overline, Text::StrikeThrough})
        close(line);
    return out;
}

} // namespace dv::dxf
