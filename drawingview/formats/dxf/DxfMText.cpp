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
constexpr int kMaxColumns = 1000;
constexpr double kTabSpacing = 4; // text heights between default tab stops

enum Align { AlignLeft, AlignCenter, AlignRight, AlignJustify, AlignByAttachment };

struct Format {
    double height = 1;
    double widthFactor = 1;
    double oblique = 0;
    QString font;
    std::optional<Color> color;
    double rise = 0;         // baseline shift of stacked numerators and denominators
    uint8_t decorations = 0; // bit per Text::Line
    bool operator==(const Format&) const = default;
};

struct Cell {
    QChar ch; // '\t' a tab
    int format = 0;
};

struct Line {
    std::vector<Cell> cells;
    Align align = AlignByAttachment;
    bool paragraphEnd = true; // false on all but the last piece of a wrapped paragraph
    bool columnBreak = false; // starts in the next column
};

int hexValue(QChar c) {
    return hexDigit(c.unicode());
}

class Parser {
public:
    Parser(const QString& s, const Format& base) : m_s(s) {
        m_formats.push_back(base);
        m_stack.push_back(base);
        m_aligns.push_back(AlignByAttachment);
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
                m_aligns.push_back(m_aligns.back());
                ++m_i;
            } else if (c == u'}') {
                if (m_stack.size() > 1) {
                    m_stack.pop_back();
                    m_aligns.pop_back();
                }
                ++m_i;
            } else if (c == u'%' && m_i + 2 < n && m_s[m_i + 1] == u'%') {
                percent();
            } else if (c == u'^' && m_i + 1 < n) {
                caret();
            } else {
                if (c == u'\t')
                    put(c);
                else if (c == u'\n')
                    newLine(false);
                else if (c != u'\r')
                    put(c);
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
        m_lines.back().cells.push_back({c, m_current});
    }
    void putText(const QString& s) {
        for (QChar c : s)
            put(c);
    }
    void newLine(bool columnBreak) {
        m_lines.emplace_back();
        m_lines.back().align = m_aligns.back();
        m_lines.back().columnBreak = columnBreak;
    }

    // The argument of a code ended by ';' (or the end of the text).
    QString argument() {
        const qsizetype end = m_s.indexOf(u';', m_i);
        const qsizetype stop = end < 0 ? m_s.size() : end;
        QString arg = m_s.mid(m_i, stop - m_i);
        m_i = end < 0 ? stop : stop + 1;
        return arg;
    }

    // Control characters as the file spells them: ^I a tab, ^J a line
    // feed, ^M a carriage return, "^ " the caret itself.
    void caret() {
        const QChar k = m_s[m_i + 1];
        if (k == u'I')
            put(u'\t');
        else if (k == u'J')
            newLine(false);
        else if (k == u' ')
            put(u'^');
        else if (k.unicode() < u'@' || k.unicode() > u'_') {
            put(u'^'); // a caret of its own, the next character is text
            ++m_i;
            return;
        }
        m_i += 2; // other control characters draw nothing
    }

    void toggle(Text::Line line, bool on) {
        const auto bit = uint8_t(1u << line);
        Format& f = m_stack.back();
        f.decorations = on ? uint8_t(f.decorations | bit) : uint8_t(f.decorations & ~bit);
    }

    // \pxqc; \pi-1,l1,qj; ...: of these only the alignment is drawn.
    void paragraph(const QString& arg) {
        for (QString item : arg.split(u',')) {
            item = item.trimmed();
            if (item.startsWith(u'x'))
                item.remove(0, 1);
            if (item.size() < 2 || item[0] != u'q')
                continue;
            const char16_t k = item[1].toLower().unicode();
            const Align a = k == u'l'                ? AlignLeft
                            : k == u'c'              ? AlignCenter
                            : k == u'r'              ? AlignRight
                            : k == u'j' || k == u'd' ? AlignJustify
                                                     : AlignByAttachment;
            m_aligns.back() = a;
            m_lines.back().align = a;
        }
    }

    void escape() {
        const QChar code = m_s[m_i + 1];
        m_i += 2;
        Format& f = m_stack.back();
        switch (code.unicode()) {
        case 'P':
            newLine(false);
            return;
        case 'N':
            newLine(true);
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
        case 'p':
            paragraph(argument());
            return;
        case 'T':
        case 'A':
        case 'X':
            argument(); // tracking, vertical alignment
            return;
        case 'L':
        case 'l':
            toggle(Text::Underline, code == u'L');
            return;
        case 'O':
        case 'o':
            toggle(Text::Overline, code == u'O');
            return;
        case 'K':
        case 'k':
            toggle(Text::StrikeThrough, code == u'K');
            return;
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
        } else if (k == u'u' || k == u'o' || k == u'k') {
            const Text::Line line = k == u'u'   ? Text::Underline
                                    : k == u'o' ? Text::Overline
                                                : Text::StrikeThrough;
            toggle(line, !(m_stack.back().decorations & (1u << line)));
        } else {
            putText(QStringLiteral("%%"));
            put(m_s[m_i - 1]);
        }
    }

    const QString& m_s;
    qsizetype m_i = 0;
    std::vector<Format> m_formats;
    std::vector<Format> m_stack;
    std::vector<Align> m_aligns; // paragraph alignment, per group as the formats
    std::vector<Line> m_lines;
    int m_current = 0;
};

// Where a tab at `x` takes the text, stops lying every few base heights.
double tabStop(double x, double baseHeight) {
    const double step = kTabSpacing * baseHeight;
    return (std::floor(x / step + 1e-9) + 1) * step;
}

// What the cell moves the pen on by, starting at `x` on its line.
double cellAdvance(const Cell& c, double x, const std::vector<Format>& formats) {
    if (c.ch == u'\t')
        return tabStop(x, formats[0].height) - x;
    const Format& f = formats[size_t(c.format)];
    return glyphAdvance(c.ch, f.font) * f.height * f.widthFactor;
}

// Breaks lines longer than `width` after their last space that fits. Words
// are never split: one longer than the width stands whole on its line.
std::vector<Line> wrap(std::vector<Line> lines, double width, const std::vector<Format>& formats) {
    if (!(width > 0))
        return lines;
    std::vector<Line> out;
    for (Line& line : lines) {
        const std::vector<Cell>& cells = line.cells;
        const size_t n = cells.size();
        const size_t firstPiece = out.size();
        size_t start = 0;
        while (start < n) {
            size_t end = n;
            if (out.size() + 1 < kMaxWrappedLines) {
                double x = 0;
                size_t afterSpace = 0; // where the line may break, 0 for nowhere
                for (end = start; end < n; ++end) {
                    const double w = cellAdvance(cells[end], x, formats);
                    if (cells[end].ch != u' ' && x + w > width * (1 + 1e-9) && end > start)
                        break;
                    x += w;
                    if (cells[end].ch == u' ')
                        afterSpace = end + 1;
                }
                if (end < n && afterSpace > start)
                    end = afterSpace;
                while (end < n && cells[end].ch != u' ' && afterSpace <= start)
                    ++end; // the word that does not fit goes whole
            }              // else: a narrow width on a long text; the rest stays on one line
            Line piece;
            piece.align = line.align;
            piece.paragraphEnd = false;
            piece.cells.assign(cells.begin() + std::ptrdiff_t(start),
                               cells.begin() + std::ptrdiff_t(end));
            if (end < n)
                while (!piece.cells.empty() && piece.cells.back().ch == u' ')
                    piece.cells.pop_back();
            out.push_back(std::move(piece));
            start = end;
            while (start < n && cells[start].ch == u' ')
                ++start;
        }
        if (out.size() == firstPiece) {
            Line empty;
            empty.align = line.align;
            out.push_back(std::move(empty));
        }
        out[firstPiece].columnBreak = line.columnBreak;
        out.back().paragraphEnd = true;
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

void MTextColumnReader::addHeight(double h) {
    if (m_c.heights.size() < size_t(kMaxColumns))
        m_c.heights.push_back(std::isfinite(h) && h > 0 ? h : 0);
}

bool MTextColumnReader::take(const Group& g) {
    if (g.code == 101) {
        m_embedded = true;
        return true;
    }
    if (g.code >= 1000)
        return false; // extended data: the embedded object has ended
    const auto count = [&] { return std::clamp(toInt(g), 0, kMaxColumns); };
    if (m_embedded) {
        switch (g.code) {
        case 41:
            m_c.height = toDouble(g);
            break;
        case 71:
            m_c.type = toInt(g);
            break;
        case 72:
            m_c.count = count();
            break;
        case 44:
            m_c.width = toDouble(g);
            break;
        case 45:
            m_c.gutter = toDouble(g);
            break;
        case 46:
            addHeight(toDouble(g));
            break;
        default:
            break; // a repeat of the entity's own data
        }
        return true;
    }
    switch (g.code) {
    case 46:
        m_c.height = toDouble(g);
        return true;
    case 75:
        m_c.type = toInt(g);
        m_listed = true;
        return true;
    case 76:
        m_c.count = count();
        return true;
    case 78:
    case 79:
        return true; // flow reversed, automatic height
    case 48:
        if (m_listed)
            m_c.width = toDouble(g);
        return m_listed;
    case 49:
        if (m_listed)
            m_c.gutter = toDouble(g);
        return m_listed;
    case 50:
        if (m_listed)
            addHeight(toDouble(g));
        return m_listed;
    default:
        return false;
    }
}

namespace {

// A stretch of a line drawn as one run, from x on the line.
struct Segment {
    size_t from, to; // cells
    double x, width;
};

// The line cut where its format changes and at tabs; when it is justified,
// also after every space, which then takes `extra` more room.
std::vector<Segment> segmentsOf(const Line& l, const std::vector<Format>& formats, bool words,
                                double extra) {
    std::vector<Segment> out;
    double x = 0;
    size_t k = 0;
    const size_t n = l.cells.size();
    while (k < n) {
        if (l.cells[k].ch == u'\t') {
            x += cellAdvance(l.cells[k], x, formats);
            ++k;
            continue;
        }
        size_t e = k;
        QString s;
        while (e < n && l.cells[e].format == l.cells[k].format && l.cells[e].ch != u'\t') {
            s += l.cells[e].ch;
            ++e;
            if (words && l.cells[e - 1].ch == u' ')
                break;
        }
        const Format& f = formats[size_t(l.cells[k].format)];
        // Runs meet where the renderer ends the previous one.
        const double w = textAdvance(s, f.font, f.height, f.widthFactor);
        out.push_back({k, e, x, w});
        x += w + (words && l.cells[e - 1].ch == u' ' ? extra : 0);
        k = e;
    }
    return out;
}

double lineWidth(const std::vector<Segment>& segs) {
    return segs.empty() ? 0 : segs.back().x + segs.back().width;
}

} // namespace

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
    const MTextColumns& cols = p.columns;
    const bool columned = cols.active();
    const double boxWidth = columned ? cols.width : p.referenceWidth;
    lines = wrap(std::move(lines), boxWidth, formats);

    const int attachment = std::clamp(p.attachment, 1, 9);
    const int column = (attachment - 1) % 3; // left, centre, right
    const int row = (attachment - 1) / 3;    // top, middle, bottom
    const double spacing = (p.lineSpacing > 0 ? p.lineSpacing : 1) * 5.0 / 3.0;

    std::vector<double> heights;
    for (const Line& l : lines) {
        double h = 0;
        for (const Cell& c : l.cells)
            h = std::max(h, formats[size_t(c.format)].height);
        heights.push_back(h > 0 ? h : base.height);
    }
    // Each line's column, and its baseline down from the top of that column.
    const int maxColumns = columned ? (cols.count > 0 ? cols.count : kMaxColumns) : 1;
    double evenHeight = 0; // static columns of no stated height share the text evenly
    if (columned && cols.height <= 0 && cols.heights.empty() && cols.count > 1) {
        for (size_t i = 0; i < lines.size(); ++i)
            evenHeight += i == 0 ? heights[0] : spacing * heights[i];
        evenHeight /= cols.count;
    }
    auto limit = [&](int c) {
        if (size_t(c) < cols.heights.size())
            return cols.heights[size_t(c)];
        return cols.height > 0 ? cols.height : evenHeight;
    };
    std::vector<int> lineColumn;
    std::vector<double> baselines;
    std::vector<double> columnHeights{0};
    for (size_t i = 0; i < lines.size(); ++i) {
        int c = int(columnHeights.size()) - 1;
        double y = columnHeights.back();
        if (columned && y > 0 && c + 1 < maxColumns) {
            const double full = limit(c);
            if (lines[i].columnBreak ||
                (full > 0 && y + spacing * heights[i] > full * (1 + 1e-9))) {
                columnHeights.push_back(0);
                ++c;
                y = 0;
            }
        }
        y += y == 0 ? heights[i] : spacing * heights[i];
        columnHeights.back() = y;
        lineColumn.push_back(c);
        baselines.push_back(-y);
    }
    const double total = *std::max_element(columnHeights.begin(), columnHeights.end());
    const double shift = row == 0 ? 0 : row == 1 ? total / 2 : total;

    const double cs = std::cos(p.rotation), sn = std::sin(p.rotation);
    auto place = [&](double x, double yy) {
        return Vec2{p.insert.x + x * cs - yy * sn, p.insert.y + x * sn + yy * cs};
    };

    std::vector<std::vector<Segment>> segments;
    double widest = 0;
    for (const Line& l : lines) {
        segments.push_back(segmentsOf(l, formats, false, 0));
        widest = std::max(widest, lineWidth(segments.back()));
    }
    const double w = boxWidth > 0 ? boxWidth : widest;
    const int used = int(columnHeights.size());
    const double pitch = columned ? cols.width + std::max(0.0, cols.gutter) : 0;
    const double blockWidth = w + pitch * (used - 1);
    const double blockLeft = -blockWidth * column / 2.0;

    std::vector<MTextPiece> out;
    for (size_t i = 0; i < lines.size(); ++i) {
        const Line& l = lines[i];
        const double baseline = baselines[i] + shift;
        const double left = blockLeft + pitch * lineColumn[i];
        const Align align = l.align == AlignByAttachment ? Align(column) : l.align;
        std::vector<Segment> segs = std::move(segments[i]);
        double anchor = left; // where the line's alignment puts it
        int a = 0;            // of the line about the anchor: left, centre, right
        if (align == AlignJustify) {
            const auto spaces = std::count_if(l.cells.begin(), l.cells.end(),
                                              [](const Cell& c) { return c.ch == u' '; });
            if (!l.paragraphEnd && boxWidth > 0 && spaces > 0 && lineWidth(segs) < boxWidth)
                segs = segmentsOf(l, formats, true, (boxWidth - lineWidth(segs)) / double(spaces));
        } else {
            a = int(align);
            anchor = left + w * a / 2.0;
        }
        // A line of one run is aligned by the renderer itself, which knows
        // the real glyph widths.
        const bool single = segs.size() == 1 && segs[0].x == 0 && segs[0].to == l.cells.size();
        const double x0 = anchor - lineWidth(segs) * a / 2.0;
        for (const Segment& seg : segs) {
            QString s;
            for (size_t k = seg.from; k < seg.to; ++k)
                s += l.cells[k].ch;
            const Format& f = formats[size_t(l.cells[seg.from].format)];
            if (s.trimmed().isEmpty() && f.decorations == 0)
                continue;
            MTextPiece piece;
            Text& t = piece.text;
            t.text = s;
            t.height = f.height;
            t.widthFactor = f.widthFactor;
            t.oblique = f.oblique;
            t.fontFamily = f.font;
            t.rotation = p.rotation;
            t.vAlign = Text::Baseline;
            t.hAlign = single ? Text::HAlign(a) : Text::Left;
            t.position = place(single ? anchor : x0 + seg.x, baseline + f.rise);
            for (Text::Line d : {Text::Underline, Text::Overline, Text::StrikeThrough})
                if (f.decorations & (1u << d))
                    t.decorations.push_back({d, 0, int32_t(s.size())});
            piece.color = f.color;
            out.push_back(std::move(piece));
        }
    }
    if (frame) {
        const double l = blockLeft - margin, r = blockLeft + blockWidth + margin;
        const double top = shift + margin, bottom = shift - total - margin;
        *frame = {place(l, bottom), place(r, bottom), place(r, top), place(l, top)};
    }
    return out;
}

} // namespace dv::dxf
