#include "fake_drawing_view.h"

using namespace DrawingViewLib;

FakeDrawingView::FakeDrawingView(QWidget* parent)
    : QWidget(parent), image(std::make_shared<FakeDXFImage>(&log)) {
    setMinimumSize(10, 10);
}

void FakeDrawingView::setLayouts(const QStringList& names, int active) {
    image->converter->layouts.clear();
    for (const QString& name : names)
        image->converter->layouts.push_back(std::make_shared<FakeLayout>(name));
    image->converter->activeLayoutIndex = active;
    image->current = image->converter->Layouts(active);
}

QStringList FakeDrawingView::callsNamed(const QString& name) const {
    QStringList result;
    for (const QString& call : log)
        if (call.startsWith(name + QLatin1Char('(')))
            result << call;
    return result;
}

// Const: queries are logged too, and the log is the test's view.
void FakeDrawingView::record(const QString& call) const {
    const_cast<QStringList&>(log).append(call);
}

void FakeDrawingView::check(const QString& name) const {
    if (failing.contains(name))
        throw DrawingViewError(QStringLiteral("%1 failed").arg(name).toStdString());
}

void FakeDrawingView::ExecuteCommand(int command) {
    record(QStringLiteral("ExecuteCommand(%1)").arg(command));
    check(QStringLiteral("ExecuteCommand"));
}

void FakeDrawingView::ZoomAt(bool absolute, double factor, int x, int y) {
    record(QStringLiteral("ZoomAt(%1,%2,%3,%4)").arg(int(absolute)).arg(factor).arg(x).arg(y));
    check(QStringLiteral("ZoomAt"));
}

void FakeDrawingView::LoadFile(const QString& name) {
    record(QStringLiteral("LoadFile(%1)").arg(name));
    check(QStringLiteral("LoadFile"));
    OnBeforeLoad();
    for (const auto& [percent, msg] : progressSteps)
        OnProgress(0, uint8_t(percent), false, msg);
    fileName = name;
    content = nextContent;
    OnAfterLoad();
}

void FakeDrawingView::CloseFile() {
    record(QStringLiteral("CloseFile()"));
    check(QStringLiteral("CloseFile"));
    content = Content::Empty;
}

void FakeDrawingView::PreviousScale() {
    record(QStringLiteral("PreviousScale()"));
}
void FakeDrawingView::RefreshView() {
    record(QStringLiteral("RefreshView()"));
}

DrawingPoint FakeDrawingView::ScreenToDrawing(int x, int y) const {
    record(QStringLiteral("ScreenToDrawing(%1,%2)").arg(x).arg(y));
    check(QStringLiteral("ScreenToDrawing"));
    return point;
}

TRect FakeDrawingView::GetImageRect() const {
    record(QStringLiteral("GetImageRect()"));
    return imageRect;
}

bool FakeDrawingView::IsDrawing() const {
    check(QStringLiteral("IsDrawing"));
    return content == Content::Drawing;
}

bool FakeDrawingView::IsEmpty() const {
    return content == Content::Empty;
}

void FakeDrawingView::SetCommandState(int command, bool enabled) {
    record(QStringLiteral("SetCommandState(%1,%2)").arg(command).arg(int(enabled)));
}

std::shared_ptr<IDXFImage> FakeDrawingView::DXFImage() const {
    return content == Content::Drawing ? image : nullptr;
}

void FakeDrawingView::setMouseNavigation(bool on) {
    record(QStringLiteral("setMouseNavigation(%1)").arg(int(on)));
    mouseNavigation = on;
}

void FakeDrawingView::setLayoutsBarVisible(bool visible) {
    record(QStringLiteral("setLayoutsBarVisible(%1)").arg(int(visible)));
}

void FakeDrawingView::setToolBarVisible(bool visible) {
    record(QStringLiteral("setToolBarVisible(%1)").arg(int(visible)));
}

bool FakeDrawingView::IsWithoutBorder() const {
    return withoutBorder;
}

void FakeDrawingView::setIsWithoutBorder(bool on) {
    record(QStringLiteral("setIsWithoutBorder(%1)").arg(int(on)));
    withoutBorder = on;
}

int FakeDrawingView::RasterWidth() const {
    return rasterWidth;
}
int FakeDrawingView::RasterHeight() const {
    return rasterHeight;
}
QString FakeDrawingView::FileName() const {
    return fileName;
}

void FakeDrawingView::setAutoDrag(bool on) {
    record(QStringLiteral("setAutoDrag(%1)").arg(int(on)));
    autoDrag = on;
}
