#include "TextMetrics.h"

#include <QFontMetricsF>
#include <QGuiApplication>

#include <cmath>
#include <map>
#include <memory>

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
    const Measure& m = measureFor(family);
    return m.metrics->horizontalAdvance(text) * h / m.capHeight * wf;
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

} // namespace dv
