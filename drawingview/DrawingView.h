#pragma once

// The drawing control: a widget that loads a file through the reader
// registry, shows one layout of it through the renderer and offers the
// automation interface the viewer drives.

#include "DrawingViewLib.h"
#include "render/Renderer.h"
#include "render/ViewHistory.h"
#include "render/ViewTransform.h"

#include <QImage>
#include <QPoint>
#include <QWidget>

#include <map>
#include <memory>

class QComboBox;
class QPainter;
class QPrinter;
class QToolButton;

namespace dv {

class Document;
struct DrawingSession;
class DXFImageObject;
class RenderScene;
class ViewRenderThread;

class DrawingView : public QWidget, public DrawingViewLib::IDrawingView {
    Q_OBJECT
public:
    explicit DrawingView(QWidget* parent = nullptr);
    ~DrawingView() override;

    QWidget* widget() override { return this; }

    void ExecuteCommand(int command) override;
    void ZoomAt(bool absolute, double factor, int x, int y) override;
    void LoadFile(const QString& fileName) override;
    void CloseFile() override;
    void PreviousScale() override;
    void RefreshView() override;
    DrawingViewLib::DrawingPoint ScreenToDrawing(int x, int y) const override;
    DrawingViewLib::TRect GetImageRect() const override;
    bool IsDrawing() const override;
    bool IsEmpty() const override;
    void SetCommandState(int command, bool enabled) override;
    std::shared_ptr<DrawingViewLib::IDXFImage> DXFImage() const override;

    bool MouseNavigation() const override { return m_mouseNavigation; }
    void setMouseNavigation(bool on) override { m_mouseNavigation = on; }
    bool LayoutsBarVisible() const override;
    void setLayoutsBarVisible(bool visible) override;
    bool ToolBarVisible() const override;
    void setToolBarVisible(bool visible) override;
    bool IsWithoutBorder() const override { return m_withoutBorder; }
    void setIsWithoutBorder(bool withoutBorder) override;
    int RasterWidth() const override;
    int RasterHeight() const override;
    QString FileName() const override;
    bool AutoDrag() const override { return m_autoDrag; }
    void setAutoDrag(bool on) override { m_autoDrag = on; }

    // Engine-side access, for tests and tools.
    const ViewTransform& viewTransform() const { return m_view; }
    QRect drawingArea() const;
    bool isCommandEnabled(int command) const;
    // How often the view has been rendered anew (not blitted from the cache).
    int renderCount() const { return m_renderCount; }
    // Where views are drawn: large drawings on a worker thread, so the window
    // answers while they draw; small ones at once, in the paint.
    enum class BackgroundRendering { Auto, Always, Never };
    void setBackgroundRendering(BackgroundRendering mode);
    // Whether the picture on screen is the exact one of the current view.
    bool isPictureCurrent() const;
    int currentLayout() const;
    // Shows layout `index` of the loaded drawing, refits and raises the
    // layout-change events; out-of-range indexes are ignored.
    void showLayout(int index);
    // Opens an already read document as if it had been loaded from a file.
    void setDocument(std::unique_ptr<Document> document);
    // The current view, as shown, in an image of `size` (same centre and scale).
    QImage renderView(QSize size) const;
    void saveView(const QString& path) const;
    // The current layout fitted into `target` of any painter (a printer's
    // page, a picture), through the same renderer as the screen.
    void paintFitted(QPainter& painter, const QRectF& target, const QColor& background) const;

    // Invokable through the meta-object, so a host that knows the control only
    // by its interfaces can save and print through the same renderer.
    // The current layout's extents in drawing units (y up); empty when nothing is loaded.
    Q_INVOKABLE QRectF layoutExtents() const;
    // Millimetres per drawing unit from the drawing's $INSUNITS; 1 when it
    // gives none (unitless drawings print one unit as one millimetre).
    Q_INVOKABLE double millimetresPerUnit() const;
    // Paints `window` (drawing units) of the current layout onto `target`,
    // scaled equally in x and y so that the window fits.
    Q_INVOKABLE void paintWindow(QPainter* painter, const QRectF& target, const QRectF& window,
                                 const QColor& background) const;
    Q_INVOKABLE void paintLayoutFitted(QPainter* painter, const QRectF& target,
                                       const QColor& background) const {
        if (painter)
            paintFitted(*painter, target, background);
    }

protected:
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void showEvent(QShowEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void wheelEvent(QWheelEvent* event) override;

private:
    void fit(bool pushHistory);
    void print(QPrinter& printer) const;
    void pushHistory();
    void invalidateCache();
    // The current view as the cached image shows it: the drawing area's size at (0, 0).
    ViewTransform imageView() const;
    bool rendersInBackground() const;
    void renderCache(const ViewTransform& view);
    // The screen's pictures: level of detail, drawn in bands on every core.
    RenderOptions screenOptions() const;
    QImage drawScreenPicture(const ViewTransform& view) const;
    void requestRender(const ViewTransform& view);
    void takeRendered(quint64 job, const QImage& image, const ViewTransform& view);
    void paintCache(QPainter& painter, const QRect& area, const ViewTransform& wanted);
    void installSession(std::shared_ptr<DrawingSession> session,
                        std::unique_ptr<RenderScene> scene = nullptr);
    void syncLayoutsBar();
    void updateViewport();

    std::shared_ptr<DrawingSession> m_session; // null when empty
    std::shared_ptr<DXFImageObject> m_image;   // handed out for drawings
    std::shared_ptr<RenderScene> m_scene;      // shared with the drawing thread's jobs

    ViewTransform m_view;
    ViewHistory m_history;
    bool m_fitPending = true;   // fit again once the widget has its real size
    bool m_followsSize = false; // the view is a fit and refits on resize

    QImage m_cache;
    ViewTransform m_cacheView; // the view m_cache was drawn for
    int m_cacheLayout = -1;
    bool m_cacheValid = false;                  // false once the content changes, whatever the view
    ViewRenderThread* m_renderThread = nullptr; // made on first use
    bool m_jobPending = false;                  // a job for m_jobView, still current
    ViewTransform m_jobView;
    BackgroundRendering m_backgroundRendering = BackgroundRendering::Auto;
    size_t m_shapeCount = 0;   // of the loaded drawing, all blocks
    double m_lastRenderMs = 0; // the last render in the paint

    std::map<int, bool> m_commandEnabled;
    bool m_mouseNavigation = false;
    bool m_withoutBorder = false;
    bool m_autoDrag = false;
    bool m_loading = false;

    enum class Drag { None, Pending, Host, Pan, Window };
    Drag m_drag = Drag::None;
    Qt::MouseButton m_dragButton = Qt::NoButton;
    enum class Tool { None, Pan, ZoomWindow }; // what a left drag does
    Tool m_tool = Tool::None;
    void setTool(Tool tool);
    int m_renderCount = 0;
    QPoint m_pressPos;
    QPoint m_lastPos;

    QWidget* m_bars = nullptr;
    QWidget* m_toolBar = nullptr;
    QWidget* m_layoutsBar = nullptr;
    QComboBox* m_layoutsCombo = nullptr;
    bool m_toolBarVisible = true;
    bool m_layoutsBarVisible = true;
};

} // namespace dv
