#pragma once

// Number formatting and arithmetic used by the status bar.

#include <QString>

#include <cstdint>

// a * b / c with a 64-bit intermediate product, rounded to the nearest
// integer (halves away from zero); -1 when c is 0 or the result does not fit
// in 32 bits.
int mulDiv(int a, int b, int c);

// printf's "%.3f" with the user's decimal separator and no grouping.
QString formatFixed3(double value);

QString progressText(uint8_t percentDone, const QString& msg);
QString drawingSizeText(double width, double height);
QString rasterSizeText(int width, int height);
QString drawingPointText(double x, double y, double z);
QString pixelPointText(int x, int y);
