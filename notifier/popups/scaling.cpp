#include "popups/scaling.h"

#include <QGuiApplication>
#include <QScreen>

namespace tidewell {

namespace {

double g_dpiX = 0;
double g_dpiY = 0;

constexpr double kBaseDpi = 96.0;
constexpr double kScaleAbove = 120.0;

void logicalDpi(double* x, double* y) {
    if (g_dpiX > 0 && g_dpiY > 0) {
        *x = g_dpiX;
        *y = g_dpiY;
        return;
    }
    const QScreen* screen = QGuiApplication::primaryScreen();
    *x = screen ? screen->logicalDotsPerInchX() : kBaseDpi;
    *y = screen ? screen->logicalDotsPerInchY() : kBaseDpi;
}

bool scaling(double* x, double* y) {
    logicalDpi(x, y);
    return *x > kScaleAbove || *y > kScaleAbove;
}

} // namespace

int scaleX(int v) {
    double x, y;
    return scaling(&x, &y) ? int(x / kBaseDpi * v) : v;
}

int scaleY(int v) {
    double x, y;
    return scaling(&x, &y) ? int(y / kBaseDpi * v) : v;
}

float scaleFactor() {
    double x, y;
    return scaling(&x, &y) ? float(y / kBaseDpi) : 1.0f;
}

void leaveScalingToPopups() {
    qputenv("QT_ENABLE_HIGHDPI_SCALING", "0");
}

void setDpiOverride(double dpiX, double dpiY) {
    g_dpiX = dpiX;
    g_dpiY = dpiY;
}

} // namespace tidewell
