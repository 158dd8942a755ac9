#include "DxfMText.h"
#include "DxfTokenizer.h"

#include "model/TextMetrics.h"

#include "formats/FontSubstitution.h"

#include <QStringDecoder>

#include <algorithm>
#include <cmath>
#include <numbers>

namespace dv::dxf {

namespace {

constexpr size_t kMaxWrappedLines = 10000;

struct Format {
    double height = 1;
    double widthFactor = 1;
    double oblique = 0;
    QString font;
    std::optional<Color> color;
    double rise = 0; // baseline shift of stacked numerators and denominators
    bool operator==(const Format&) const = default;
};

struct Cell {
    QChar ch;
    int format = 0;
};

using Line = std::vector<Cell>;

int hexValue(QChar c) {
    return hexDigit(c.unicode());
}

class Parser {
public:
    Parser(const QString& s, const Format& base) : m_s(s) {
        m_formats.push_back(base);
        m_stack.push_back(base);
        m_lines.emplace_back();
    }

    std::vector<Line> run(std::vector<Format>& formats) {
        const qsizetype n = m_s.size();
        while (m_i < n) {
            const QChar c = m_s[m_i];
            if (c == u'\\' && m_i + 1 < n) {
                escape();
            } else if (c == u'{') {
                m_stack.push_back(m_stack.back());
                ++m_i;
            } else if (c == u'}') {
                if (m_stack.size() > 1)
                    m_stack.pop_back();
                ++m_i;
            } else if (c == u'%' && m_i + 2 < n && m_s[m_i + 1] == u'%') {
                percent();
            } else {
                put(c == u'\t' ? QChar(u' ') : c);
                ++m_i;
            }
        }
        formats = std::move(m_formats);
        return std::move(m_lines);
    }

private:
    void put(QChar c) {
        const Format& f = m_stack.back();
        if (!(m_formats[size_t(m_current)] == f)) {
            auto it = std::find(m_formats.begin(), m_formats.end(), f);
            if (it == m_formats.end()) {
                m_formats.push_back(f);
                it = m_formats.end() - 1;
            }
            m_current = int(it - m_formats.begin());
        }
        m_lines.back().push_back({c, m_current});
    }
    void putText(const QString& s) {
        for (QChar c : s)
            put(c);
    }

    // The argument of a code ended by ';' (or the end of the text).
    QString argument() {
        const qsizetype end = m_s.indexOf(u';', m_i);
        const qsizetype stop = end < 0 ? m_s.size() : end;
        QString arg = m_s.mid(m_i, stop - m_i);
        m_i = end < 0 ? stop : stop + 1;
        return arg;
    }

    void escape() {
        const QChar code = m_s[m_i + 1];
        m_i += 2;
        Format& f = m_stack.back();
        switch (code.unicode()) {
        case 'P':
        case 'N':
            m_lines.emplace_back();
            return;
        case '~':
            put(QChar(0x00A0));
            return;
        case '\\':
        case '{':
        case '}':
            put(code);
            return;
        case 'f':
        case 'F': {
            const QString arg = argument();
            // \Ffile.shx,bigfont.shx; or \fFamily|b0|i0|c0|p34;
            const FontSubstitute sub = substituteFont(arg.section(u'|', 0, 0).section(u',', 0, 0));
            f.font = sub.family;
            if (sub.slant != 0)
                f.oblique = sub.slant;
            return;
        }
        case 'H': {
            QString arg = argument();
            const bool relative = arg.endsWith(u'x') || arg.endsWith(u'X');
            if (relative)
                arg.chop(1);
            bool ok = false;
            const double v = arg.toDouble(&ok);
            const double h = relative ? f.height * v : v;
            if (ok && h > 0 && std::isfinite(h))
                f.height = h;
            return;
        }
        case 'W':
        case 'Q': {
            QString arg = argument();
            if (arg.endsWith(u'x') || arg.endsWith(u'X'))
                arg.chop(1);
            bool ok = false;
            const double v = arg.toDouble(&ok);
            if (ok && std::isfinite(v)) {
                if (code == u'W' && v > 0)
                    f.widthFactor = v;
                else if (code == u'Q')
                    f.oblique = std::clamp(v, -85.0, 85.0) * std::numbers::pi / 180;
            }
            return;
        }
        case 'C':
        case 'c': {
            bool ok = false;
            const long v = argument().toLong(&ok);
            if (ok)
                f.color = code == u'C' ? Color::fromAci(int(v)) : Color::fromRgb(uint32_t(v));
            return;
        }
        case 'T':
        case 'A':
        case 'p':
        case 'X':
            argument(); // tracking, vertical alignment, paragraph settings
            return;
        case 'L':
        case 'l':
        case 'O':
        case 'o':
        case 'K':
        case 'k':
            return; // underline, overline, strike-through: not drawn
        case 'S':
            stacked();
            return;
        case 'U':
        case 'u':
            if (m_i + 4 < m_s.size() + 0 && m_s[m_i] == u'+') {
                unsigned v = 0;
                int k = 0;
                for (; k < 4 && hexValue(m_s[m_i + 1 + k]) >= 0; ++k)
                    v = v * 16 + unsigned(hexValue(m_s[m_i + 1 + k]));
                if (k == 4) {
                    put(QChar(char16_t(v)));
                    m_i += 5;
                    return;
                }
            }
            break;
        case 'M':
        case 'm':
            if (m_i + 5 < m_s.size() && m_s[m_i] == u'+' && m_s[m_i + 1].isDigit()) {
                unsigned v = 0;
                int k = 0;
                for (; k < 4 && hexValue(m_s[m_i + 2 + k]) >= 0; ++k)
                    v = v * 16 + unsigned(hexValue(m_s[m_i + 2 + k]));
                if (k == 4) {
                    putText(decodeMifChar(m_s[m_i + 1].digitValue(), v));
                    m_i += 6;
                    return;
                }
            }
            break;
        default:
            break;
        }
        // An unknown code: its letter stands as text.
        put(code);
    }

    // \Stop/bottom; \Stop^bottom; \Stop#bottom; drawn as top/bottom.
    void stacked() {
        const QString arg = argument();
        qsizetype sep = -1;
        for (qsizetype k = 0; k < arg.size(); ++k)
            if ((arg[k] == u'/' || arg[k] == u'^' || arg[k] == u'#') &&
                (k == 0 || arg[k - 1] != u'\\')) {
                sep = k;
                break;
            }
        if (sep < 0) {
            putText(arg);
            return;
        }
        QString top = arg.left(sep).trimmed(), bottom = arg.mid(sep + 1).trimmed();
        top.remove(u'\\');
        bottom.remove(u'\\');
        // Smaller figures, the top raised, so that 1\S1/2; reads as one and
        // a half rather than eleven halves; a tolerance stack (^) has no bar.
        const Format outer = m_stack.back();
        Format small = outer;
        small.height = outer.height * 0.7;
        small.rise = outer.rise + outer.height * 0.45;
        m_stack.push_back(small);
        putText(top);
        m_stack.back().rise = outer.rise;
        if (arg[sep] != u'^' && !bottom.isEmpty())
            put(u'/');
        else if (!bottom.isEmpty())
            m_stack.back().rise = outer.rise - outer.height * 0.25;
        putText(bottom);
        m_stack.pop_back();
    }

    void percent() {
        const QChar k = m_s[m_i + 2].toLower();
        m_i += 3;
        if (k == u'c')
            put(QChar(0x2300));
        else if (k == u'd')
            put(QChar(0x00B0));
        else if (k == u'p')
            put(QChar(0x00B1));
        else if (k == u'%')
            put(u'%');
        else if (k.isDigit()) {
            unsigned v = unsigned(k.digitValue());
            for (int len = 1; len < 3 && m_i < m_s.size() && m_s[m_i].isDigit(); ++len, ++m_i)
                v = v * 10 + unsigned(m_s[m_i].digitValue());
            if (v > 0)
                put(QChar(char16_t(v)));
        } else if (k != u'u' && k != u'o' && k != u'k') {
            putText(QStringLiteral("%%"));
            put(m_s[m_i - 1]);
        }
    }

    const QString& m_s;
    qsizetype m_i = 0;
    std::vector<Format> m_formats;
    std::vector<Format> m_stack;
    std::vector<Line> m_lines;
    int m_current = 0;
};

double cellWidth(const Cell& c, const std::vector<Format>& formats) {
    const Format& f = formats[size_t(c.format)];
    return glyphAdvance(c.ch, f.font) * f.height * f.widthFactor;
}

// Breaks lines longer than `width` after their last space that fits; a
// word longer than the width stands alone on its line.
std::vector<Line> wrap(std::vector<Line> lines, double width, const std::vector<Format>& formats) {
    if (!(width > 0))
        return lines;
    std::vector<Line> out;
    for (Line& line : lines) {
        size_t start = 0;
        while (start < line.size()) {
            if (out.size() + 1 >= kMaxWrappedLines) {
                // A narrow width on a long text would make a run of every
                // glyph: the rest stays on one line.
                out.emplace_back(line.begin() + std::ptrdiff_t(start), line.end());
                break;
            }
            double used = 0;
            size_t end = start, lastSpace = std::string::npos;
            for (; end < line.size(); ++end) {
                const double w = cellWidth(line[end], formats);
                if (used + w > width * (1 + 1e-9) && end > start)
                    break;
                used += w;
                if (line[end].ch == u' ')
                    lastSpace = end;
            }
            if (end < line.size() && lastSpace != std::string::npos && lastSpace > start)
                end = lastSpace + 1;
            Line piece(line.begin() + std::ptrdiff_t(start), line.begin() + std::ptrdiff_t(end));
            while (!piece.empty() && piece.back().ch == u' ' && end < line.size())
                piece.pop_back();
            out.push_back(std::move(piece));
            start = end;
            while (start < line.size() && start > 0 && line[start].ch == u' ' && end < line.size())
                ++start;
        }
        if (line.empty())
            out.emplace_back();
    }
    return out;
}

} // namespace

QString decodeMifChar(int codePage, unsigned value) {
    static const char* const names[] = {nullptr,       "Shift_JIS", "Big5",
                                        "windows-949", "Johab",     "GBK"};
    if (codePage < 1 || codePage > 5)
        return QString(QChar(0xFFFD));
    QStringDecoder d(names[codePage]);
    if (!d.isValid() && codePage == 3)
        d = QStringDecoder("EUC-KR");
    if (!d.isValid())
        return QString(QChar(0xFFFD));
    const char bytes[2] = {char(value >> 8), char(value & 0xFF)};
    QString s = d.decode(QByteArrayView(bytes, value > 0xFF ? 2 : 1));
    return s.isEmpty() ? QString(QChar(0xFFFD)) : s;
}

std::vector<MTextPiece> layoutMText(const QString& content, const MTextParams& p,
                                    std::vector<Vec2>* frame, double margin) {
    Format base;
    base.height = p.height > 0 ? p.height : 1;
    base.widthFactor = p.widthFactor > 0 ? p.widthFactor : 1;
    base.font = p.fontFamily;
    if (std::isfinite(p.oblique))
        base.oblique = std::clamp(p.oblique, -1.5, 1.5);
    std::vector<Format> formats;
    std::vector<Line> lines = Parser(content, base).run(formats);
    lines = wrap(std::move(lines), p.referenceWidth, formats);

    const int attachment = std::clamp(p.attachment, 1, 9);
    const int column = (attachment - 1) % 3; // left, centre, right
    const int row = (attachment - 1) / 3;    // top, middle, bottom
    const double spacing = (p.lineSpacing > 0 ? p.lineSpacing : 1) * 5.0 / 3.0;

    std::vector<double> heights;
    for (const Line& l : lines) {
        double h = 0;
        for (const Cell& c : l)
            h = std::max(h, formats[size_t(c.format)].height);
        heights.push_back(h > 0 ? h : base.height);
    }
    // Baselines measured down from the top of the first line.
    std::vector<double> baselines;
    double y = 0;
    for (size_t i = 0; i < lines.size(); ++i) {
        y += i == 0 ? heights[0] : spacing * heights[i];
        baselines.push_back(-y);
    }
    const double total = y;
    const double shift = row == 0 ? 0 : row == 1 ? total / 2 : total;

    const double cs = std::cos(p.rotation), sn = std::sin(p.rotation);
    auto place = [&](double x, double yy) {
        return Vec2{p.insert.x + x * cs - yy * sn, p.insert.y + x * sn + yy * cs};
    };

    std::vector<MTextPiece> out;
    double widest = 0;
    for (size_t i = 0; i < lines.size(); ++i) {
        const Line& l = lines[i];
        const double baseline = baselines[i] + shift;
        double width = 0;
        for (const Cell& c : l)
            width += cellWidth(c, formats);
        widest = std::max(widest, width);
        const bool single =
            std::all_of(l.begin(), l.end(), [&](const Cell& c) { return c.format == l[0].format; });
        double x = single ? 0 : -width * column / 2.0;
        size_t k = 0;
        while (k < l.size()) {
            size_t e = k;
            QString s;
            for (; e < l.size() && l[e].format == l[k].format; ++e) {
                s += l[e].ch;
            }
            const Format& f = formats[size_t(l[k].format)];
            if (!s.trimmed().isEmpty()) {
                MTextPiece piece;
                Text& t = piece.text;
                t.text = s;
                t.height = f.height;
                t.widthFactor = f.widthFactor;
                t.oblique = f.oblique;
                t.fontFamily = f.font;
                t.rotation = p.rotation;
                t.vAlign = Text::Baseline;
                // A line in one format is aligned by the renderer itself,
                // which knows the real glyph widths.
                t.hAlign = single ? Text::HAlign(column) : Text::Left;
                t.position = place(x, baseline + f.rise);
                piece.color = f.color;
                out.push_back(std::move(piece));
            }
            // Runs meet where the renderer ends the previous one.
            x += textAdvance(s, f.font, f.height, f.widthFactor);
            k = e;
        }
    }
    if (frame) {
        const double w = p.referenceWidth > 0 ? p.referenceWidth : widest;
        const double left = -w * column / 2.0 - margin, right = left + w + 2 * margin;
        const double top = shift + margin, bottom = shift - total - margin;
        *frame = {place(left, bottom), place(right, bottom), place(right, top), place(left, top)};
    }
    return out;
}

} // namespace dv::dxf
