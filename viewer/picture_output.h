#pragma once

// Saving and printing what the control shows. Everything goes through the
// control's own renderer (reached through its meta-object), so a picture or a
// page shows exactly the layout and layers on the screen.

#include "DrawingViewLib.h"

#include <QColor>
#include <QRectF>
#include <QSize>

class QPainter;
class QPrinter;
class QWidget;

namespace PictureOutput {

// Larger sides are refused rather than allocated.
constexpr int MaxPixels = 16384;

QRectF layoutExtents(DrawingViewLib::IDrawingView& control);
// The drawing's unit in millimetres ($INSUNITS); 1 when it names none.
double millimetresPerUnit(DrawingViewLib::IDrawingView& control);
void paintFitted(DrawingViewLib::IDrawingView& control, QPainter& painter, const QRectF& target,
                 const QColor& background);

// By the file's suffix: png, jpg/jpeg, bmp, tif/tiff as `pixels`; svg and pdf
// as vectors of the whole layout. Throws DrawingViewError with the reason.
void save(DrawingViewLib::IDrawingView& control, const QString& path, QSize pixels);

// The layout fitted to the printable area, in the orientation that suits it.
void printFitted(DrawingViewLib::IDrawingView& control, QPrinter& printer);
void chooseOrientation(DrawingViewLib::IDrawingView& control, QPrinter& printer);

// One drawing unit as `mmPerUnit` millimetres, centred, split over as many
// pages as needed (rows top to bottom, each left to right).
struct PageGrid {
    int columns = 1;
    int rows = 1;
    int pages() const { return columns * rows; }
};
PageGrid pageGrid1to1(DrawingViewLib::IDrawingView& control, const QPrinter& printer,
                      double mmPerUnit = 1.0);
void print1to1(DrawingViewLib::IDrawingView& control, QPrinter& printer, double mmPerUnit = 1.0);

} // namespace PictureOutput
