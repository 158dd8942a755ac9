#include "Colors.h"

namespace dv {

namespace {
int distanceSquared(QRgb a, QRgb b) {
    const int dr = qRed(a) - qRed(b), dg = qGreen(a) - qGreen(b), db = qBlue(a) - qBlue(b);
    return dr * dr + dg * dg + db * db;
}
constexpr int minDistance = 64; // in RGB units
} // namespace

ColorScheme::ColorScheme(QColor background) : m_background(background) {
    m_foreground = qGray(background.rgb()) < 128 ? QColor(Qt::white) : QColor(Qt::black);
}

QColor ColorScheme::visible(uint32_t rgb) const {
    QRgb c = 0xFF000000u | rgb;
    const QRgb bg = m_background.rgb(), fg = m_foreground.rgb();
    // Halve the way to the foreground until the colour stands out; a few
    // steps always suffice because the foreground is black or white.
    for (int i = 0; i < 8 && distanceSquared(c, bg) < minDistance * minDistance; ++i)
        c = qRgb((qRed(c) + qRed(fg) + 1) / 2, (qGreen(c) + qGreen(fg) + 1) / 2,
                 (qBlue(c) + qBlue(fg) + 1) / 2);
    return QColor::fromRgb(c);
}

QColor ColorScheme::visible(const Color& color) const {
    if (color.kind == Color::Kind::Rgb)
        return visible(color.rgb);
    if (color.kind == Color::Kind::Background)
        return m_background;
    return m_foreground;
}

} // namespace dv
