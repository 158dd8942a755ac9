#include "WmfPlayer.h"

#include <QStringDecoder>

#include <cmath>
#include <numbers>

namespace dv::wmf {

namespace {

// Typical proportions of a Windows TrueType face, in ems.
constexpr double kAscent = 0.905;
constexpr double kDescent = 0.212;
constexpr double kCapHeight = 0.716;
constexpr double kCellHeight = 1.117;
constexpr double kAverageAdvance = 0.45;
constexpr double kDefaultEmMm = 12 * 25.4 / 72; // the system font's 12 points
constexpr double kItalicSlant = 12 * std::numbers::pi / 180;

enum TextAlign : uint16_t {
    UpdateCp = 0x0001,
    Right = 0x0002,
    Center = 0x0006,
    Bottom = 0x0008,
    Baseline = 0x0018,
};

enum ExtTextOptions : uint16_t { Opaque = 0x0002, Clipped = 0x0004 };

// Windows-1252's printable characters in 0x80..0x9F.
constexpr char16_t kCp1252[32] = {0x20AC, 0x81,   0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021,
                                  0x02C6, 0x2030, 0x0160, 0x2039, 0x0152, 0x8D,   0x017D, 0x8F,
                                  0x90,   0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014,
                                  0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x9D,   0x017E, 0x0178};

const char* codecForCharset(uint8_t charSet) {
    switch (charSet) {
    case 128:
        return "Shift_JIS";
    case 129:
        return "EUC-KR";
    case 134:
        return "GBK";
    case 136:
        return "Big5";
    case 161:
        return "windows-1253";
    case 162:
        return "windows-1254";
    case 177:
        return "windows-1255";
    case 178:
        return "windows-1256";
    case 186:
        return "windows-1257";
    case 204:
        return "windows-1251";
    case 238:
        return "windows-1250";
    default:
        return nullptr;
    }
}

QString decode(const QByteArray& bytes, uint8_t charSet) {
    if (const char* codec = codecForCharset(charSet)) {
        QStringDecoder decoder(codec);
        if (decoder.isValid()) {
            QString s = decoder.decode(bytes);
            if (!decoder.hasError())
                return s;
        }
    }
    if (charSet == 2) // symbol fonts map their own glyphs onto these codes
        return QString::fromLatin1(bytes);
    QString s;
    s.reserve(bytes.size());
    for (const char c : bytes) {
        const auto u = uint8_t(c);
        s.append(u >= 0x80 && u < 0xA0 ? QChar(kCp1252[u - 0x80]) : QChar(u));
    }
    return s;
}

} // namespace

bool Player::textOut(const Record& r) {
    if (!r.has(1))
        return false;
    const size_t n = r.u16(0);
    const size_t at = 1 + (n + 1) / 2;
    if (!r.has(at + 2))
        return false;
    drawText(r.i16(at + 1), r.i16(at),
             QByteArray(reinterpret_cast<const char*>(r.bytes(1)), qsizetype(n)), "TEXTOUT");
    return true;
}

bool Player::extTextOut(const Record& r) {
    if (!r.has(4))
        return false;
    const size_t n = r.u16(2);
    const uint16_t options = r.u16(3);
    const size_t rectWords = options & (Opaque | Clipped) ? 4 : 0;
    const size_t at = 4 + rectWords;
    if (!r.has(at + (n + 1) / 2))
        return false;
    if (options & Opaque) {
        // The rectangle is painted in the background colour, whatever the mode.
        const double left = r.i16(4), top = r.i16(5), right = r.i16(6), bottom = r.i16(7);
        if (left != right && top != bottom) {
            Brush b;
            b.rgb = m_dc.state.bkColor;
            fillRings({{m_dc.map(left, top), m_dc.map(right, top), m_dc.map(right, bottom),
                        m_dc.map(left, bottom)}},
                      b, "EXTTEXTOUT");
        }
    }
    // Clipping to the rectangle is not applied; the character spacing array
    // is left to the drawing font.
    drawText(r.i16(1), r.i16(0),
             QByteArray(reinterpret_cast<const char*>(r.bytes(at)), qsizetype(n)), "EXTTEXTOUT");
    return true;
}

void Player::drawText(double x, double y, const QByteArray& bytes, const char* type) {
    DcState& s = m_dc.state;
    count(type);
    QByteArray raw = bytes;
    if (const qsizetype nul = raw.indexOf('\0'); nul >= 0)
        raw.truncate(nul);
    const QString text = decode(raw, s.font.charSet);
    if (text.trimmed().isEmpty())
        return;
    const Font& f = s.font;
    double emLogical = std::abs(double(f.height));
    if (f.height > 0)
        emLogical /= kCellHeight;
    const double em = f.height == 0 ? kDefaultEmMm : m_dc.lengthY(emLogical);
    if (!(em > 0) || !std::isfinite(em))
        return;

    const bool updateCp = s.textAlign & UpdateCp;
    if (updateCp) {
        x = s.curX;
        y = s.curY;
    }
    Text t;
    t.text = text;
    t.height = kCapHeight * em;
    t.rotation = f.escapement / 10.0 * std::numbers::pi / 180;
    t.fontFamily = f.face;
    t.oblique = f.italic ? kItalicSlant : 0;
    if (f.width != 0 && f.height != 0)
        t.widthFactor = std::clamp(std::abs(f.width) / (kAverageAdvance * emLogical), 0.1, 10.0);
    const uint16_t h = s.textAlign & Center;
    t.hAlign = h == Center ? Text::Center : h == Right ? Text::Right : Text::Left;
    // The model aligns on the baseline; GDI's top and bottom are the cell's.
    const uint16_t v = s.textAlign & Baseline;
    const double up = v == Baseline ? 0 : v == Bottom ? kDescent * em : -kAscent * em;
    const Vec2 p = m_dc.map(x, y);
    t.position = {p.x - up * std::sin(t.rotation), p.y + up * std::cos(t.rotation)};
    t.vAlign = Text::Baseline;

    uint32_t rgb = s.textColor;
    // Text is kept or dropped whole, by where it starts.
    if (!clippedAway(t.position))
        styled(m_block.addText(t), rgb, 0, type);
    if (updateCp)
        s.curX += kAverageAdvance * (f.height == 0 ? 16.0 : emLogical) * text.size();
}

} // namespace dv::wmf
