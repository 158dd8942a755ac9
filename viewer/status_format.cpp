#include "status_format.h"

#include <QLocale>

#include <cmath>
#include <limits>

int mulDiv(int a, int b, int c) {
    if (c == 0)
        return -1;
    const int64_t product = int64_t(a) * int64_t(b);
    int64_t quotient = product / c;
    const int64_t remainder = product % c;
    // |remainder| < |c| <= 2^31, so doubling it cannot overflow.
    if (2 * std::llabs(remainder) >= std::llabs(int64_t(c)))
        quotient += ((product < 0) != (c < 0)) ? -1 : 1;
    if (quotient > std::numeric_limits<int>::max() || quotient < std::numeric_limits<int>::min())
        return -1;
    return int(quotient);
}

QString formatFixed3(double value) {
    QString text = QString::asprintf("%.3f", value);
    const QString point = QLocale().decimalPoint();
    const QString separator = point.isEmpty() ? QStringLiteral(".") : point;
    const qsizetype dot = text.lastIndexOf(QLatin1Char('.'));
    if (dot >= 0)
        text.replace(dot, 1, separator);
    return text;
}

QString progressText(uint8_t percentDone, const QString& msg) {
    const QString prefix = msg.isEmpty() ? QStringLiteral("Load file ") : msg + QLatin1Char(' ');
    return prefix + QString::number(percentDone) + QStringLiteral("% complete");
}

QString drawingSizeText(double width, double height) {
    return formatFixed3(width) + QStringLiteral(" x ") + formatFixed3(height);
}

QString rasterSizeText(int width, int height) {
    return QString::number(width) + QStringLiteral(" x ") + QString::number(height);
}

QString drawingPointText(double x, double y, double z) {
    return QStringLiteral("(%1; %2; %3)").arg(formatFixed3(x), formatFixed3(y), formatFixed3(z));
}

QString pixelPointText(int x, int y) {
    return QStringLiteral("(%1; %2)").arg(x).arg(y);
}
