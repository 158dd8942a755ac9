#include "TextMetrics.h"

#include <QFontMetricsF>
#include <QGuiApplication>

#include <cmath>
#include <map>
#include <memory>
#include <unordered_map>

namespace dv {

namespace {

constexpr double kEstimatedGlyphWidth = 0.6;

struct Measure {
    std::unique_ptr<QFontMetricsF> metrics;
    double capHeight = 70;
};

// Per thread: readers measure on a loading thread while the screen draws.
Measure& measureFor(const QString& family) {
    thread_local std::map<QString, Measure> cache;
    auto it = cache.find(family);
    if (it != cache.end())
        return it->second;
    Measure& m = cache[family];
    m.metrics = std::make_unique<QFontMetricsF>(drawingFont(family));
    if (m.metrics->capHeight() > 0)
        m.capHeight = m.metrics->capHeight();
    return m;
}

} // namespace

QFont drawingFont(const QString& family) {
    QFont font(family.isEmpty() ? QStringLiteral("DejaVu Sans") : family);
    font.setPixelSize(100);
    return font;
}

double textAdvance(const QString& text, const QString& family, double height, double widthFactor) {
    const double h = std::abs(height), wf = std::abs(widthFactor);
    if (!qobject_cast<QGuiApplication*>(QCoreApplication::instance()))
        return kEstimatedGlyphWidth * h * wf * double(text.size());
    // Words and labels recur: shaping each again is most of a text-heavy load.
    thread_local std::unordered_map<QString, double> widths;
    thread_local QString widthsFamily;
    if (family != widthsFamily || widths.size() > 8192) {
        widths.clear();
        widthsFamily = family;
    }
    auto it = widths.find(text);
    if (it == widths.end()) {
        const Measure& m = measureFor(family);
        it = widths.emplace(text, m.metrics->horizontalAdvance(text) / m.capHeight).first;
    }
    return it->second * h * wf;
}

double glyphAdvance(QChar c, const QString& family) {
    if (!qobject_cast<QGuiApplication*>(QCoreApplication::instance()))
        return kEstimatedGlyphWidth;
    thread_local QString lastFamily;
    thread_local std::map<char16_t, double> widths;
    if (family != lastFamily || widths.empty()) {
        lastFamily = family;
        widths.clear();
    }
    auto it = widths.find(c.unicode());
    if (it != widths.end())
        return it->second;
    const Measure& m = measureFor(family);
    return widths[c.unicode()] = m.metrics->horizontalAdvance(c) / m.capHeight;
}

double glyphAdvances(const QString& text, const QString& family) {
    double sum = 0;
    for (QChar c : text)
        sum += glyphAdvance(c, family);
    return sum;
}

std::pair<double, double> inkExtent(const QString& text, const QString& family) {
    if (!qobject_cast<QGuiApplication*>(QCoreApplication::instance()))
        return {0, textAdvance(text, family, 1)};
    const Measure& m = measureFor(family);
    const QRectF ink = m.metrics->tightBoundingRect(text);
    if (!(ink.width() > 0))
        return {0, textAdvance(text, family, 1)};
    return {ink.left() / m.capHeight, ink.right() / m.capHeight};
}

void fitBetween(Text& text, Vec2 from, Vec2 to, bool scaleHeight) {
    const double dx = to.x - from.x, dy = to.y - from.y;
    const double length = std::hypot(dx, dy);
    if (!(length > 0) || !std::isfinite(length))
        return;
    text.rotation = std::atan2(dy, dx);
    text.hAlign = Text::Center;
    text.position = {(from.x + to.x) / 2, (from.y + to.y) / 2};
    const auto [left, right] = inkExtent(text.text, text.fontFamily);
    const double ink = right - left; // at height 1, width factor 1
    if (!(ink > 0))
        return;
    if (scaleHeight)
        text.height = length / (ink * text.widthFactor);
    else
        text.widthFactor = length / (ink * text.height);
    // Centred by its advance: the ink's own middle moved onto the points'.
    const double scale = text.height * text.widthFactor;
    const double off =
        (textAdvance(text.text, text.fontFamily, 1) / 2 - (left + right) / 2) * scale;
    text.position.x += off * dx / length;
    text.position.y += off * dy / length;
}

double decorationLevel(Text::Line line) {
    switch (line) {
    case Text::Underline:
        return -0.2;
    case Text::Overline:
        return 1.2;
    case Text::StrikeThrough:
        break;
    }
    return 0.45;
}

} // namespace dv
