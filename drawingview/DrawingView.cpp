#include "DrawingView.h"

#include "DrawingObjects.h"
#include "render/RenderScene.h"

namespace dv {

using namespace DrawingViewLib;

DrawingView::DrawingView(QWidget* parent) : QWidget(parent) {}
DrawingView::~DrawingView() = default;

void DrawingView::ExecuteCommand(int) {}
void DrawingView::ZoomAt(bool, double, int, int) {}
void DrawingView::LoadFile(const QString&) {}
void DrawingView::CloseFile() {}
void DrawingView::PreviousScale() {}
void DrawingView::RefreshView() {}
DrawingPoint DrawingView::ScreenToDrawing(int, int) const {
    return {};
}
TRect DrawingView::GetImageRect() const {
    return {};
}
bool DrawingView::IsDrawing() const {
    return false;
}
bool DrawingView::IsEmpty() const {
    return true;
}
void DrawingView::SetCommandState(int command, bool enabled) {
    m_commandEnabled[command] = enabled;
}
std::shared_ptr<IDXFImage> DrawingView::DXFImage() const {
    return nullptr;
}
bool DrawingView::LayoutsBarVisible() const {
    return m_layoutsBarVisible;
}
void DrawingView::setLayoutsBarVisible(bool visible) {
    m_layoutsBarVisible = visible;
}
bool DrawingView::ToolBarVisible() const {
    return m_toolBarVisible;
}
void DrawingView::setToolBarVisible(bool visible) {
    m_toolBarVisible = visible;
}
void DrawingView::setIsWithoutBorder(bool withoutBorder) {
    m_withoutBorder = withoutBorder;
}
int DrawingView::RasterWidth() const {
    return 0;
}
int DrawingView::RasterHeight() const {
    return 0;
}
QString DrawingView::FileName() const {
    return {};
}
QRect DrawingView::drawingArea() const {
    return rect();
}
bool DrawingView::isCommandEnabled(int command) const {
    auto it = m_commandEnabled.find(command);
    return it == m_commandEnabled.end() || it->second;
}
int DrawingView::currentLayout() const {
    return 0;
}
void DrawingView::showLayout(int) {}
void DrawingView::setDocument(std::unique_ptr<Document>) {}
void DrawingView::paintEvent(QPaintEvent*) {}
void DrawingView::resizeEvent(QResizeEvent*) {}
void DrawingView::showEvent(QShowEvent*) {}
void DrawingView::mousePressEvent(QMouseEvent*) {}
void DrawingView::mouseMoveEvent(QMouseEvent*) {}
void DrawingView::mouseReleaseEvent(QMouseEvent*) {}
void DrawingView::wheelEvent(QWheelEvent*) {}

} // namespace dv
