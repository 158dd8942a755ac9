#include "picture_output.h"

#include <QFileInfo>
#include <QImage>
#include <QImageWriter>
#include <QMetaObject>
#include <QPageLayout>
#include <QPainter>
#include <QPdfWriter>
#include <QPrinter>
#include <QSvgGenerator>
#include <QWidget>

#include <cmath>

using namespace DrawingViewLib;

namespace PictureOutput {

namespace {

[[noreturn]] void fail(const QString& message) {
    throw DrawingViewError(message.toStdString());
}

void invoke(IDrawingView& control, const char* method, QGenericArgument a, QGenericArgument b,
            QGenericArgument c, QGenericArgument d = QGenericArgument()) {
    if (!QMetaObject::invokeMethod(control.widget(), method, Qt::DirectConnection, a, b, c, d))
        fail(QStringLiteral("The drawing control cannot render pictures"));
}

void paintWindow(IDrawingView& control, QPainter& painter, const QRectF& target,
                 const QRectF& window, const QColor& background) {
    QPainter* p = &painter;
    invoke(control, "paintWindow", Q_ARG(QPainter*, p), Q_ARG(QRectF, target),
           Q_ARG(QRectF, window), Q_ARG(QColor, background));
}

// Paper is white: printed and PDF pages get a white background.
const QColor Paper(Qt::white);

QRectF pageRect(const QPrinter& printer) {
    const QRect r = printer.pageLayout().paintRectPixels(printer.resolution());
    return QRectF(0, 0, r.width(), r.height());
}

} // namespace

QRectF layoutExtents(IDrawingView& control) {
    QRectF extents;
    if (!QMetaObject::invokeMethod(control.widget(), "layoutExtents", Qt::DirectConnection,
                                   Q_RETURN_ARG(QRectF, extents)))
        fail(QStringLiteral("The drawing control cannot render pictures"));
    return extents;
}

double millimetresPerUnit(IDrawingView& control) {
    double mm = 1.0;
    if (!QMetaObject::invokeMethod(control.widget(), "millimetresPerUnit", Qt::DirectConnection,
                                   Q_RETURN_ARG(double, mm)))
        fail(QStringLiteral("The drawing control cannot render pictures"));
    return mm > 0 && std::isfinite(mm) ? mm : 1.0;
}

void paintFitted(IDrawingView& control, QPainter& painter, const QRectF& target,
                 const QColor& background) {
    QPainter* p = &painter;
    invoke(control, "paintLayoutFitted", Q_ARG(QPainter*, p), Q_ARG(QRectF, target),
           Q_ARG(QColor, background));
}

void save(IDrawingView& control, const QString& path, QSize pixels) {
    if (control.IsEmpty())
        fail(QStringLiteral("There is nothing to save"));
    const QString suffix = QFileInfo(path).suffix().toLower();
    if (suffix == QLatin1String("svg") || suffix == QLatin1String("pdf")) {
        // Vectors of the whole layout, at the drawing's proportions.
        const QRectF ext = layoutExtents(control);
        const double aspect = ext.isEmpty() ? 1.0 : ext.width() / ext.height();
        if (suffix == QLatin1String("svg")) {
            const QSize size = aspect >= 1 ? QSize(1000, std::max(1, int(1000 / aspect)))
                                           : QSize(std::max(1, int(1000 * aspect)), 1000);
            QSvgGenerator svg;
            svg.setFileName(path);
            svg.setSize(size);
            svg.setViewBox(QRect(QPoint(), size));
            svg.setTitle(QFileInfo(control.FileName()).fileName());
            QPainter painter;
            if (!painter.begin(&svg))
                fail(QStringLiteral("Cannot write the picture to \"%1\"").arg(path));
            paintFitted(control, painter, QRectF(QPointF(), QSizeF(size)), Paper);
            if (!painter.end())
                fail(QStringLiteral("Cannot write the picture to \"%1\"").arg(path));
            return;
        }
        QPdfWriter pdf(path);
        pdf.setPageOrientation(aspect > 1 ? QPageLayout::Landscape : QPageLayout::Portrait);
        QPainter painter;
        if (!painter.begin(&pdf))
            fail(QStringLiteral("Cannot write the picture to \"%1\"").arg(path));
        const QRect r = pdf.pageLayout().paintRectPixels(pdf.resolution());
        paintFitted(control, painter, QRectF(0, 0, r.width(), r.height()), Paper);
        if (!painter.end())
            fail(QStringLiteral("Cannot write the picture to \"%1\"").arg(path));
        return;
    }
    const QByteArray format = suffix == QLatin1String("jpeg")   ? QByteArray("jpg")
                              : suffix == QLatin1String("tiff") ? QByteArray("tif")
                                                                : suffix.toLatin1();
    if (!QImageWriter::supportedImageFormats().contains(format))
        fail(QStringLiteral("Pictures cannot be saved as \"%1\"").arg(suffix));
    if (pixels.width() < 1 || pixels.height() < 1 || pixels.width() > MaxPixels ||
        pixels.height() > MaxPixels)
        fail(QStringLiteral("A picture of %1 x %2 pixels cannot be saved; each side must be "
                            "1 to %3 pixels")
                 .arg(pixels.width())
                 .arg(pixels.height())
                 .arg(MaxPixels));
    QImage image(pixels, QImage::Format_RGB32);
    if (image.isNull())
        fail(QStringLiteral("Not enough memory for a picture of %1 x %2 pixels")
                 .arg(pixels.width())
                 .arg(pixels.height()));
    image.fill(Qt::white);
    {
        QPainter painter(&image);
        paintFitted(control, painter, QRectF(image.rect()), QColor());
    }
    QImageWriter writer(path, format);
    if (!writer.write(image))
        fail(QStringLiteral("Cannot save the picture to \"%1\": %2")
                 .arg(path, writer.errorString()));
}

void chooseOrientation(IDrawingView& control, QPrinter& printer) {
    const QRectF ext = control.IsDrawing()
                           ? layoutExtents(control)
                           : QRectF(0, 0, control.RasterWidth(), control.RasterHeight());
    if (!ext.isEmpty())
        printer.setPageOrientation(ext.width() > ext.height() ? QPageLayout::Landscape
                                                              : QPageLayout::Portrait);
}

void printFitted(IDrawingView& control, QPrinter& printer) {
    QPainter painter;
    if (!painter.begin(&printer))
        fail(QStringLiteral("The printer could not be started"));
    paintFitted(control, painter, pageRect(printer), Paper);
}

PageGrid pageGrid1to1(IDrawingView& control, const QPrinter& printer, double mmPerUnit) {
    const QRectF ext = layoutExtents(control);
    const QRectF page = printer.pageLayout().paintRect(QPageLayout::Millimeter);
    PageGrid grid;
    if (ext.isEmpty() || page.isEmpty() || !(mmPerUnit > 0))
        return grid;
    // A hair of tolerance so that an exact fit stays on one page.
    const auto count = [](double need, double have) {
        const double n = std::ceil(need / have - 1e-9);
        return int(std::clamp(n, 1.0, 10000.0));
    };
    grid.columns = count(ext.width() * mmPerUnit, page.width());
    grid.rows = count(ext.height() * mmPerUnit, page.height());
    return grid;
}

void print1to1(IDrawingView& control, QPrinter& printer, double mmPerUnit) {
    const PageGrid grid = pageGrid1to1(control, printer, mmPerUnit);
    if (grid.pages() > 1000)
        fail(QStringLiteral("Printing at 1:1 would need %1 pages").arg(grid.pages()));
    const QRectF ext = layoutExtents(control);
    const QRectF pageMm = printer.pageLayout().paintRect(QPageLayout::Millimeter);
    const double pageW = pageMm.width() / mmPerUnit; // drawing units per page
    const double pageH = pageMm.height() / mmPerUnit;
    // The grid of pages, centred on the drawing; y grows upwards in drawing units.
    const QPointF centre = ext.center();
    const double left = centre.x() - grid.columns * pageW / 2;
    const double top = centre.y() + grid.rows * pageH / 2;

    QPainter painter;
    if (!painter.begin(&printer))
        fail(QStringLiteral("The printer could not be started"));
    for (int row = 0; row < grid.rows; ++row) {
        for (int column = 0; column < grid.columns; ++column) {
            if (row || column)
                printer.newPage();
            const QRectF window(left + column * pageW, top - (row + 1) * pageH, pageW, pageH);
            paintWindow(control, painter, pageRect(printer), window, Paper);
        }
    }
}

} // namespace PictureOutput
