#include "SvgUnits.h"

#include <QRegularExpression>

#include <algorithm>
#include <cmath>

namespace dv::svg {

namespace {

constexpr double kMmPerPx = 25.4 / 96.0;
// Larger sizes are junk, not drawings (a kilometre in mm, or px).
constexpr double kMaxSize = 1e6;

struct Aspect {
    double ax = 0.5; // where the viewBox sits in spare room: 0 min, 0.5 mid, 1 max
    double ay = 0.5;
    bool none = false;
    bool slice = false;
};

Aspect parseAspect(const QString& text) {
    Aspect a;
    const QStringList parts = text.simplified().split(u' ', Qt::SkipEmptyParts);
    for (const QString& p : parts) {
        if (p == QLatin1String("none")) {
            a.none = true;
        } else if (p == QLatin1String("slice")) {
            a.slice = true;
        } else if (p.size() == 8 && p.startsWith(u'x')) {
            const auto part = [](QStringView s) {
                return s == u"Min" ? 0.0 : s == u"Max" ? 1.0 : 0.5;
            };
            a.ax = part(QStringView(p).mid(1, 3));
            a.ay = part(QStringView(p).mid(5, 3));
        }
    }
    return a;
}

} // namespace

std::optional<Length> parseLength(const QString& text) {
    static const QRegularExpression re(QStringLiteral(
        "^\\s*([+-]?(?:\\d+\\.?\\d*|\\.\\d+)(?:[eE][+-]?\\d+)?)\\s*([a-zA-Z]*)\\s*$"));
    const auto m = re.match(text);
    if (!m.hasMatch())
        return std::nullopt;
    Length len;
    len.value = m.captured(1).toDouble();
    if (!std::isfinite(len.value) || len.value <= 0)
        return std::nullopt;
    const QString unit = m.captured(2).toLower();
    if (unit.isEmpty() || unit == QLatin1String("px"))
        len.pxPerUnit = 1;
    else if (unit == QLatin1String("em"))
        len.pxPerUnit = 16;
    else if (unit == QLatin1String("ex"))
        len.pxPerUnit = 8;
    else if (unit == QLatin1String("mm"))
        len.mmPerUnit = 1;
    else if (unit == QLatin1String("cm"))
        len.mmPerUnit = 10;
    else if (unit == QLatin1String("in"))
        len.mmPerUnit = 25.4;
    else if (unit == QLatin1String("pt"))
        len.mmPerUnit = 25.4 / 72;
    else if (unit == QLatin1String("pc"))
        len.mmPerUnit = 25.4 / 6;
    else
        return std::nullopt;
    return len;
}

std::optional<QRectF> parseViewBox(const QString& text) {
    QString t = text;
    t.replace(u',', u' ');
    const QStringList parts = t.simplified().split(u' ', Qt::SkipEmptyParts);
    if (parts.size() != 4)
        return std::nullopt;
    double v[4];
    for (int i = 0; i < 4; ++i) {
        bool ok = false;
        v[i] = parts[i].toDouble(&ok);
        if (!ok || !std::isfinite(v[i]) || std::abs(v[i]) > 1e12)
            return std::nullopt;
    }
    if (v[2] <= 0 || v[3] <= 0)
        return std::nullopt;
    return QRectF(v[0], v[1], v[2], v[3]);
}

std::optional<Page> pageFor(const QString& widthText, const QString& heightText,
                            const QString& viewBoxText, const QString& aspectText,
                            const QRectF& contentBounds, const std::optional<QSizeF>& frameMm) {
    const auto w = parseLength(widthText);
    const auto h = parseLength(heightText);
    const auto viewBox = parseViewBox(viewBoxText);
    Page page;
    page.millimetres = frameMm || (w && w->mmPerUnit > 0) || (h && h->mmPerUnit > 0);
    // A length in the page's units (a px length on a mm page is converted).
    const auto inPageUnits = [&](const Length& l) {
        if (page.millimetres)
            return l.mmPerUnit > 0 ? l.value * l.mmPerUnit : l.value * l.pxPerUnit * kMmPerPx;
        return l.value * l.pxPerUnit;
    };
    const double userScale = page.millimetres ? kMmPerPx : 1.0; // page units per px

    // Without a viewBox, user units are px and the page starts at 0,0.
    QRectF box;
    if (viewBox)
        box = *viewBox;
    else if (w && h)
        box = QRectF(0, 0, inPageUnits(*w) / userScale, inPageUnits(*h) / userScale);
    else if (contentBounds.isValid() && !contentBounds.isEmpty())
        box = QRectF(0, 0, contentBounds.right(), contentBounds.bottom());
    if (box.isEmpty() || !box.isValid())
        return std::nullopt;

    if (frameMm) {
        page.size = *frameMm;
    } else if (w && h) {
        page.size = QSizeF(inPageUnits(*w), inPageUnits(*h));
    } else if (w || h) {
        // One side given: the other follows the viewBox's proportions.
        const double given = inPageUnits(w ? *w : *h);
        page.size = w ? QSizeF(given, given * box.height() / box.width())
                      : QSizeF(given * box.width() / box.height(), given);
    } else {
        page.size = QSizeF(box.width() * userScale, box.height() * userScale);
    }
    if (!(page.size.width() > 0 && page.size.height() > 0 && page.size.width() < kMaxSize &&
          page.size.height() < kMaxSize))
        return std::nullopt;

    double sx = page.size.width() / box.width();
    double sy = page.size.height() / box.height();
    double tx = 0, ty = 0;
    const Aspect aspect = parseAspect(aspectText);
    if (viewBox && !aspect.none) {
        const double s = aspect.slice ? std::max(sx, sy) : std::min(sx, sy);
        tx = (page.size.width() - box.width() * s) * aspect.ax;
        ty = (page.size.height() - box.height() * s) * aspect.ay;
        sx = sy = s;
    }
    page.userToPage = QTransform(sx, 0, 0, sy, tx - box.x() * sx, ty - box.y() * sy);
    page.viewport = page.userToPage.inverted().mapRect(QRectF(QPointF(0, 0), page.size));
    return page;
}

} // namespace dv::svg
