#include "DrawingView.h"

#include "DrawingObjects.h"
#include "ViewRenderThread.h"
#include "formats/Reader.h"
#include "formats/raster/RasterPyramid.h"
#include "model/Units.h"
#include "render/Renderer.h"

#include <QApplication>
#include <QClipboard>
#include <QComboBox>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFileDialog>
#include <QFileInfo>
#include <QHBoxLayout>
#include <QMouseEvent>
#include <QPainter>
#include <QPrintDialog>
#include <QPrintPreviewDialog>
#include <QPrinter>
#include <QToolButton>
#include <QWheelEvent>

#include <atomic>
#include <cmath>
#include <exception>
#include <thread>

namespace dv {

using namespace DrawingViewLib;

namespace {

constexpr double wheelStep = 1.25; // zoom per notch of the wheel
// Drawings this large, or whose last picture took this long, are drawn on
// the worker thread: a paint that long would freeze the window.
constexpr size_t backgroundShapes = 200'000;
constexpr double backgroundMs = 40;

// Halvings for a large image the reader left without them, so zoomed-out
// views never scale the full picture.
void ensurePyramid(Document& doc) {
    if (doc.kind != Document::Kind::Raster || doc.raster.isNull() || !doc.rasterPyramid.empty())
        return;
    if (doc.raster.format() != QImage::Format_RGB32 &&
        doc.raster.format() != QImage::Format_ARGB32_Premultiplied)
        doc.raster.convertTo(doc.raster.hasAlphaChannel() ? QImage::Format_ARGB32_Premultiplied
                                                          : QImage::Format_RGB32);
    doc.rasterPyramid = raster::buildPyramid(doc.raster);
}

QToolButton* toolButton(QWidget* parent, const QString& text, const QString& tip) {
    auto* b = new QToolButton(parent);
    b->setText(text);
    b->setToolTip(tip);
    b->setAutoRaise(true);
    b->setFocusPolicy(Qt::NoFocus);
    return b;
}

} // namespace

DrawingView::DrawingView(QWidget* parent) : QWidget(parent) {
    setMouseTracking(true);
    setAttribute(Qt::WA_OpaquePaintEvent);
    setFocusPolicy(Qt::StrongFocus);
    setMinimumSize(32, 32);

    m_bars = new QWidget(this);
    m_bars->setAutoFillBackground(true); // the control paints only the drawing area
    auto* row = new QHBoxLayout(m_bars);
    row->setContentsMargins(2, 2, 2, 2);
    row->setSpacing(2);
    m_toolBar = new QWidget(m_bars);
    auto* tools = new QHBoxLayout(m_toolBar);
    tools->setContentsMargins(0, 0, 0, 0);
    tools->setSpacing(0);
    const struct {
        const char* text;
        const char* tip;
        int command;
    } buttons[] = {{"Fit", "Fit to window", CmdFit},
                   {"+", "Zoom in", CmdZoomIn},
                   {"-", "Zoom out", CmdZoomOut},
                   {"Prev", "Previous scale", CmdPreviousScale}};
    for (const auto& b : buttons) {
        QToolButton* button = toolButton(m_toolBar, tr(b.text), tr(b.tip));
        const int command = b.command;
        connect(button, &QToolButton::clicked, this, [this, command] { ExecuteCommand(command); });
        tools->addWidget(button);
    }
    m_layoutsBar = new QWidget(m_bars);
    auto* layouts = new QHBoxLayout(m_layoutsBar);
    layouts->setContentsMargins(0, 0, 0, 0);
    m_layoutsCombo = new QComboBox(m_layoutsBar);
    m_layoutsCombo->setSizeAdjustPolicy(QComboBox::AdjustToContents);
    m_layoutsCombo->setFocusPolicy(Qt::NoFocus);
    layouts->addWidget(m_layoutsCombo);
    connect(m_layoutsCombo, &QComboBox::activated, this, [this](int index) { showLayout(index); });
    row->addWidget(m_toolBar);
    row->addWidget(m_layoutsBar);
    row->addStretch(1);
    updateViewport();
}

DrawingView::~DrawingView() {
    if (m_image)
        m_image->setLayoutSwitcher({});
}

// --- loading -------------------------------------------------------------

namespace {

struct LoadResult {
    std::shared_ptr<Document> document;
    std::unique_ptr<RenderScene> scene;
    QString error;
};

} // namespace

void DrawingView::LoadFile(const QString& fileName) {
    if (m_loading)
        throw DrawingViewError(QStringLiteral("Cannot open \"%1\": another file is still loading")
                                   .arg(fileName)
                                   .toStdString());
    const QString path = fileName.isEmpty() ? fileName : QFileInfo(fileName).absoluteFilePath();
    OnBeforeLoad();
    m_loading = true;
    struct LoadingFlag {
        bool& flag;
        ~LoadingFlag() { flag = false; }
    } loadingFlag{m_loading};

    LoadResult result;
    std::exception_ptr handlerError;
    int lastPercent = -1;
    auto progress = [&](int percent) {
        percent = std::clamp(percent, 0, 100);
        if (percent <= lastPercent)
            return;
        lastPercent = percent;
        try {
            OnProgress(0, uint8_t(percent), false, QString());
        } catch (...) {
            if (!handlerError)
                handlerError = std::current_exception();
        }
    };
    progress(0);
    {
        // The reader runs on a worker while this thread keeps painting and
        // passes its progress on; user input waits until the file is in.
        QEventLoop loop;
        std::atomic<int> reported{-1};
        std::thread worker([&] {
            try {
                std::shared_ptr<Document> document =
                    ReaderRegistry::builtin().load(path, [&](int percent) {
                        if (percent <= reported.load())
                            return;
                        reported = percent;
                        QMetaObject::invokeMethod(
                            &loop, [&progress, percent] { progress(percent); },
                            Qt::QueuedConnection);
                    });
                ensurePyramid(*document);
                // Index here too, so the first paint does not stall the window.
                result.scene = std::make_unique<RenderScene>(document);
                result.scene->buildAll();
                result.document = std::move(document);
            } catch (const std::bad_alloc&) {
                result.error =
                    QStringLiteral("Cannot open \"%1\": the file is too large to read").arg(path);
            } catch (const std::exception& e) {
                result.error = QString::fromStdString(e.what());
                if (!result.error.contains(path))
                    result.error = QStringLiteral("Cannot open \"%1\": %2").arg(path, result.error);
            } catch (...) {
                result.error = QStringLiteral("Cannot open \"%1\": the reader failed").arg(path);
            }
            QMetaObject::invokeMethod(&loop, &QEventLoop::quit, Qt::QueuedConnection);
        });
        loop.exec(QEventLoop::ExcludeUserInputEvents);
        worker.join();
    }
    m_loading = false;

    if (result.error.isEmpty() && result.document) {
        progress(100);
        auto session = std::make_shared<DrawingSession>();
        session->document = std::move(result.document);
        session->layout = session->document->activeLayout;
        if (session->layout < 0 || session->layout >= int(session->document->layouts.size()))
            session->layout = 0;
        installSession(session, std::move(result.scene));
        m_history.clear();
        fit(false);
    }
    OnAfterLoad();
    if (!result.error.isEmpty())
        throw DrawingViewError(result.error.toStdString());
    if (handlerError)
        std::rethrow_exception(handlerError);
}

void DrawingView::setDocument(std::unique_ptr<Document> document) {
    OnBeforeLoad();
    if (document) {
        ensurePyramid(*document);
        auto session = std::make_shared<DrawingSession>();
        session->document = std::shared_ptr<Document>(std::move(document));
        const int active = session->document->activeLayout;
        session->layout =
            active >= 0 && active < int(session->document->layouts.size()) ? active : 0;
        installSession(session);
        m_history.clear();
        fit(false);
    }
    OnAfterLoad();
}

void DrawingView::installSession(std::shared_ptr<DrawingSession> session,
                                 std::unique_ptr<RenderScene> scene) {
    if (m_image)
        m_image->setLayoutSwitcher({});
    m_image.reset();
    if (m_renderThread)
        m_renderThread->cancelAll();
    m_jobPending = false;
    m_cache = QImage(); // the old drawing's picture means nothing for the new one
    m_lastRenderMs = 0;
    m_shapeCount = 0;
    m_session = std::move(session);
    m_scene = std::move(scene);
    if (m_session) {
        if (!m_scene)
            m_scene = std::make_shared<RenderScene>(m_session->document);
        for (const Block& b : m_session->document->blocks)
            m_shapeCount += b.shapes.size();
        if (m_session->document->kind == Document::Kind::Drawing) {
            m_image = std::make_shared<DXFImageObject>(m_session);
            m_image->setLayoutSwitcher([this](int index) { showLayout(index); });
        }
    }
    syncLayoutsBar();
    invalidateCache();
}

void DrawingView::CloseFile() {
    installSession(nullptr);
    m_history.clear();
    m_fitPending = true;
}

// --- state ---------------------------------------------------------------

bool DrawingView::IsDrawing() const {
    return m_session && m_session->document->kind == Document::Kind::Drawing;
}

bool DrawingView::IsEmpty() const {
    return !m_session;
}

std::shared_ptr<IDXFImage> DrawingView::DXFImage() const {
    return m_image;
}

int DrawingView::RasterWidth() const {
    return m_session && m_session->document->kind == Document::Kind::Raster
               ? m_session->document->raster.width()
               : 0;
}

int DrawingView::RasterHeight() const {
    return m_session && m_session->document->kind == Document::Kind::Raster
               ? m_session->document->raster.height()
               : 0;
}

QString DrawingView::FileName() const {
    return m_session ? m_session->document->fileName : QString();
}

int DrawingView::currentLayout() const {
    return m_session ? m_session->layout : -1;
}

void DrawingView::SetCommandState(int command, bool enabled) {
    m_commandEnabled[command] = enabled;
}

bool DrawingView::isCommandEnabled(int command) const {
    const auto it = m_commandEnabled.find(command);
    return it == m_commandEnabled.end() || it->second;
}

// --- commands and navigation --------------------------------------------

void DrawingView::ExecuteCommand(int command) {
    if (!isCommandEnabled(command))
        return;
    const QPoint mid = drawingArea().center();
    switch (command) {
    case CmdOpen: {
        const QString path = QFileDialog::getOpenFileName(this, tr("Open"));
        if (!path.isEmpty())
            LoadFile(path);
        break;
    }
    case CmdZoomIn:
        ZoomAt(false, 2.0, mid.x(), mid.y());
        break;
    case CmdZoomOut:
        ZoomAt(false, 0.5, mid.x(), mid.y());
        break;
    case CmdFit:
        fit(true);
        break;
    case CmdRealSize:
        ZoomAt(true, 1.0, mid.x(), mid.y());
        break;
    case CmdPreviousScale:
        PreviousScale();
        break;
    case CmdClose:
        CloseFile();
        break;
    case CmdRefresh:
        RefreshView();
        break;
    case CmdSaveAs: {
        if (IsEmpty())
            break;
        const QString path = QFileDialog::getSaveFileName(this, tr("Save to picture"), QString(),
                                                          tr("Images (*.png *.jpg *.bmp)"));
        if (!path.isEmpty())
            saveView(path);
        break;
    }
    case CmdCopyToClipboard:
        if (!IsEmpty())
            QGuiApplication::clipboard()->setImage(renderView(drawingArea().size()));
        break;
    case CmdPrint:
    case CmdPrintPreview: {
        if (IsEmpty())
            break;
        QPrinter printer(QPrinter::HighResolution);
        if (command == CmdPrint) {
            QPrintDialog dialog(&printer, this);
            if (dialog.exec() == QDialog::Accepted)
                print(printer);
        } else {
            QPrintPreviewDialog dialog(&printer, this);
            connect(&dialog, &QPrintPreviewDialog::paintRequested, this,
                    [this](QPrinter* p) { print(*p); });
            dialog.exec();
        }
        break;
    }
    case CmdPan:
        setTool(m_tool == Tool::Pan ? Tool::None : Tool::Pan);
        break;
    case CmdZoomWindow:
        setTool(m_tool == Tool::ZoomWindow ? Tool::None : Tool::ZoomWindow);
        break;
    case CmdLayouts:
        setLayoutsBarVisible(!LayoutsBarVisible());
        break;
    case CmdBorder:
        setIsWithoutBorder(!IsWithoutBorder());
        break;
    default:
        break; // the rest belongs to the host, or is unknown
    }
}

void DrawingView::ZoomAt(bool absolute, double factor, int x, int y) {
    if (!std::isfinite(factor) || factor <= 0)
        throw DrawingViewError(QStringLiteral("The zoom factor must be a positive number, not %1")
                                   .arg(factor)
                                   .toStdString());
    if (IsEmpty())
        return;
    pushHistory();
    m_view.zoomAbout(absolute ? factor : m_view.zoom() * factor, QPointF(x, y));
    m_fitPending = false;
    m_followsSize = false;
    invalidateCache();
}

void DrawingView::PreviousScale() {
    const auto previous = m_history.pop();
    if (!previous)
        return;
    ViewTransform view = *previous;
    view.resizeViewport(m_view.viewport());
    m_view = view;
    m_fitPending = false;
    m_followsSize = false;
    invalidateCache();
}

void DrawingView::RefreshView() {
    invalidateCache();
}

void DrawingView::pushHistory() {
    if (!IsEmpty())
        m_history.push(m_view);
}

void DrawingView::fit(bool push) {
    if (push)
        pushHistory();
    const QRectF area(drawingArea());
    if (IsEmpty()) {
        m_view.setViewport(area);
    } else {
        m_view.zoomToFit(Renderer::contentExtents(*m_session->document, m_session->layout), area,
                         m_withoutBorder ? 0.0 : Renderer::borderMargin);
    }
    // Before the first show the widget's size is not yet its real one.
    m_fitPending = !isVisible();
    // A fitted view stays fitted as the window is resized, until the user
    // zooms or pans.
    m_followsSize = true;
    invalidateCache();
}

void DrawingView::setIsWithoutBorder(bool withoutBorder) {
    if (m_withoutBorder == withoutBorder)
        return;
    m_withoutBorder = withoutBorder;
    if (!IsEmpty())
        fit(true);
    invalidateCache();
}

void DrawingView::showLayout(int index) {
    if (!IsDrawing() || index < 0 || index >= int(m_session->document->layouts.size()) ||
        index == m_session->layout)
        return;
    m_session->layout = index;
    m_history.clear();
    fit(false);
    syncLayoutsBar();
    const auto image = m_image; // a handler may close the file
    if (image)
        image->OnLayoutChange();
    OnLayoutChange();
}

DrawingPoint DrawingView::ScreenToDrawing(int x, int y) const {
    const Vec2 p = m_view.mapToDrawing(QPointF(x, y));
    return {p.x, p.y, 0.0};
}

TRect DrawingView::GetImageRect() const {
    if (IsEmpty())
        return {};
    const Box e = Renderer::contentExtents(*m_session->document, m_session->layout);
    if (!e.isValid())
        return {};
    const QPointF topLeft = m_view.mapFromDrawing({e.minX, e.maxY});
    const QPointF bottomRight = m_view.mapFromDrawing({e.maxX, e.minY});
    auto toInt = [](double v) {
        return int(std::clamp(std::round(v), double(INT_MIN / 2), double(INT_MAX / 2)));
    };
    return {toInt(topLeft.x()), toInt(topLeft.y()), toInt(bottomRight.x()), toInt(bottomRight.y())};
}

// --- bars ----------------------------------------------------------------

bool DrawingView::LayoutsBarVisible() const {
    return m_layoutsBarVisible;
}

void DrawingView::setLayoutsBarVisible(bool visible) {
    m_layoutsBarVisible = visible;
    updateViewport();
}

bool DrawingView::ToolBarVisible() const {
    return m_toolBarVisible;
}

void DrawingView::setToolBarVisible(bool visible) {
    m_toolBarVisible = visible;
    updateViewport();
}

void DrawingView::syncLayoutsBar() {
    const QSignalBlocker block(m_layoutsCombo);
    m_layoutsCombo->clear();
    if (IsDrawing()) {
        for (const Layout& l : m_session->document->layouts)
            m_layoutsCombo->addItem(l.name);
        m_layoutsCombo->setCurrentIndex(m_session->layout);
    }
    m_layoutsCombo->setEnabled(m_layoutsCombo->count() > 1);
}

QRect DrawingView::drawingArea() const {
    QRect area = rect();
    if (m_toolBarVisible || m_layoutsBarVisible)
        area.setTop(m_bars->sizeHint().height());
    return area;
}

void DrawingView::updateViewport() {
    m_toolBar->setVisible(m_toolBarVisible);
    m_layoutsBar->setVisible(m_layoutsBarVisible);
    const bool bars = m_toolBarVisible || m_layoutsBarVisible;
    m_bars->setVisible(bars);
    if (bars)
        m_bars->setGeometry(0, 0, width(), m_bars->sizeHint().height());
    const QRectF area(drawingArea());
    if (m_fitPending || m_followsSize || IsEmpty())
        fit(false);
    else
        m_view.resizeViewport(area);
    invalidateCache();
}

// --- painting ------------------------------------------------------------

void DrawingView::invalidateCache() {
    m_cacheValid = false;
    if (m_jobPending && m_renderThread)
        m_renderThread->cancelAll(); // its picture would show the old content
    m_jobPending = false;
    update();
}

void DrawingView::setBackgroundRendering(BackgroundRendering mode) {
    m_backgroundRendering = mode;
    invalidateCache();
}

ViewTransform DrawingView::imageView() const {
    ViewTransform view = m_view;
    view.resizeViewport(QRectF(QPointF(0, 0), QSizeF(drawingArea().size().expandedTo({1, 1}))));
    return view;
}

bool DrawingView::isPictureCurrent() const {
    return m_cacheValid && !m_cache.isNull() && m_cacheView == imageView() &&
           (IsEmpty() || m_cacheLayout == m_session->layout);
}

bool DrawingView::rendersInBackground() const {
    if (!IsDrawing())
        return false; // pictures and rasters draw from one image at once
    switch (m_backgroundRendering) {
    case BackgroundRendering::Always:
        return true;
    case BackgroundRendering::Never:
        return false;
    case BackgroundRendering::Auto:
        break;
    }
    return m_shapeCount >= backgroundShapes || m_lastRenderMs >= backgroundMs;
}

QImage DrawingView::renderView(QSize size) const {
    QImage image(size.expandedTo(QSize(1, 1)), QImage::Format_RGB32);
    if (IsEmpty()) {
        image.fill(palette().color(QPalette::Dark));
        return image;
    }
    ViewTransform view = m_view;
    // Same scale and centre, in an image of its own.
    view.resizeViewport(QRectF(QPointF(0, 0), QSizeF(image.size())));
    QPainter painter(&image);
    QPainterBackend backend(painter, QRectF(image.rect()));
    RenderOptions options;
    options.frame = !m_withoutBorder && IsDrawing();
    Renderer(*m_scene).render(backend, view, m_session->layout, options);
    return image;
}

void DrawingView::saveView(const QString& path) const {
    if (!renderView(drawingArea().size()).save(path))
        throw DrawingViewError(
            QStringLiteral("Cannot save the picture to \"%1\"").arg(path).toStdString());
}

void DrawingView::paintFitted(QPainter& painter, const QRectF& target,
                              const QColor& background) const {
    if (IsEmpty() || target.isEmpty())
        return;
    const Document& doc = *m_session->document;
    ViewTransform view;
    view.zoomToFit(Renderer::contentExtents(doc, m_session->layout), target,
                   m_withoutBorder ? 0.0 : Renderer::borderMargin);
    painter.save();
    QPainterBackend backend(painter, target);
    RenderOptions options;
    options.frame = !m_withoutBorder && IsDrawing();
    options.background = background;
    Renderer(*m_scene).render(backend, view, m_session->layout, options);
    painter.restore();
}

QRectF DrawingView::layoutExtents() const {
    if (IsEmpty())
        return QRectF();
    const Box box = Renderer::contentExtents(*m_session->document, m_session->layout);
    if (!box.isValid())
        return QRectF();
    return QRectF(box.minX, box.minY, box.width(), box.height());
}

double DrawingView::millimetresPerUnit() const {
    if (!IsDrawing())
        return 1.0;
    return dv::millimetresPerUnit(m_session->document->header);
}

void DrawingView::paintWindow(QPainter* painter, const QRectF& target, const QRectF& window,
                              const QColor& background) const {
    if (!painter || IsEmpty() || target.isEmpty() || window.isEmpty())
        return;
    Box box;
    box.add(window.left(), window.top());
    box.add(window.right(), window.bottom());
    ViewTransform view;
    view.zoomToFit(box, target, 0.0);
    painter->save();
    painter->setClipRect(target);
    QPainterBackend backend(*painter, target);
    RenderOptions options;
    options.frame = false;
    options.background = background;
    Renderer(*m_scene).render(backend, view, m_session->layout, options);
    painter->restore();
}

void DrawingView::print(QPrinter& printer) const {
    QPainter painter;
    if (!painter.begin(&printer))
        throw DrawingViewError("The printer could not be started");
    // Paper is white: colour 7 prints black, as CAD users expect.
    const QColor paper = IsDrawing() ? QColor(Qt::white) : QColor();
    paintFitted(
        painter,
        printer.pageLayout()
            .paintRectPixels(printer.resolution())
            .translated(-printer.pageLayout().paintRectPixels(printer.resolution()).topLeft()),
        paper);
}

void DrawingView::renderCache(const ViewTransform& view) {
    ++m_renderCount;
    QElapsedTimer timer;
    timer.start();
    m_cache = IsEmpty() ? renderView(view.viewport().size().toSize()) : drawScreenPicture(view);
    m_lastRenderMs = timer.nsecsElapsed() / 1e6;
    m_cacheView = view;
    m_cacheLayout = IsEmpty() ? -1 : m_session->layout;
    m_cacheValid = true;
}

RenderOptions DrawingView::screenOptions() const {
    RenderOptions options;
    options.frame = !m_withoutBorder && IsDrawing();
    options.levelOfDetail = true;
    return options;
}

QImage DrawingView::drawScreenPicture(const ViewTransform& view) const {
    QImage image(view.viewport().size().toSize().expandedTo(QSize(1, 1)), QImage::Format_RGB32);
    renderInBands(*m_scene, image, view, m_session->layout, screenOptions(),
                  ViewRenderThread::bandCount());
    return image;
}

void DrawingView::requestRender(const ViewTransform& view) {
    if (m_jobPending && m_jobView == view)
        return; // already on its way
    if (!m_renderThread) {
        m_renderThread = new ViewRenderThread(this);
        connect(m_renderThread, &ViewRenderThread::finished, this, &DrawingView::takeRendered);
    }
    m_scene->buildAll(); // the worker only reads the indexes
    ViewRenderThread::Job job;
    job.scene = m_scene;
    job.view = view;
    job.layout = m_session->layout;
    job.options = screenOptions();
    job.size = view.viewport().size().toSize();
    m_renderThread->request(std::move(job));
    m_jobPending = true;
    m_jobView = view;
}

void DrawingView::takeRendered(quint64 job, const QImage& image, const ViewTransform& view) {
    if (!m_jobPending || job != m_renderThread->latest() || IsEmpty())
        return; // a newer view or content is on its way
    ++m_renderCount;
    m_jobPending = false;
    m_cache = image;
    m_cacheView = view;
    m_cacheLayout = m_session->layout;
    m_cacheValid = true;
    update();
}

void DrawingView::paintCache(QPainter& painter, const QRect& area, const ViewTransform& wanted) {
    const QColor background =
        IsEmpty() ? palette().color(QPalette::Dark)
                  : Renderer::defaultBackground(*m_session->document, m_session->layout);
    const bool sameLayout = IsEmpty() ? m_cacheLayout < 0 : m_cacheLayout == m_session->layout;
    if (m_cache.isNull() || !sameLayout) {
        painter.fillRect(area, background);
        return;
    }
    if (m_cacheView == wanted) {
        painter.drawImage(area.topLeft(), m_cache);
        return;
    }
    // The last picture moved and scaled to the new view until its own is
    // drawn (a pan drag shows only this): cache pixels to drawing to screen.
    bool invertible = false;
    const QTransform fromCache = m_cacheView.toQTransform().inverted(&invertible);
    painter.fillRect(area, background);
    if (!invertible)
        return;
    painter.save();
    painter.setTransform(fromCache * wanted.toQTransform() *
                         QTransform::fromTranslate(area.left(), area.top()));
    painter.drawImage(QPointF(0, 0), m_cache);
    painter.restore();
}

void DrawingView::paintEvent(QPaintEvent*) {
    const QRect area = drawingArea();
    if (area.isEmpty())
        return;
    const ViewTransform wanted = imageView();
    // A pan drag moves the last picture; the drawing is drawn anew on release.
    if (!isPictureCurrent() && m_drag != Drag::Pan) {
        if (rendersInBackground())
            requestRender(wanted);
        else
            renderCache(wanted);
    }
    QPainter painter(this);
    painter.setClipRect(area);
    paintCache(painter, area, wanted);
    if (m_drag == Drag::Window) {
        painter.setPen(QPen(Qt::gray, 0, Qt::DashLine));
        painter.setBrush(Qt::NoBrush);
        painter.drawRect(QRect(m_pressPos, m_lastPos).normalized());
    }
}

void DrawingView::resizeEvent(QResizeEvent*) {
    updateViewport();
}

void DrawingView::showEvent(QShowEvent*) {
    if (m_fitPending)
        updateViewport();
}

void DrawingView::setTool(Tool tool) {
    m_tool = tool;
    if (tool == Tool::Pan)
        setCursor(Qt::OpenHandCursor);
    else if (tool == Tool::ZoomWindow)
        setCursor(Qt::CrossCursor);
    else
        unsetCursor();
}

void DrawingView::mousePressEvent(QMouseEvent* event) {
    m_pressPos = m_lastPos = event->position().toPoint();
    m_dragButton = event->button();
    const bool left = event->button() == Qt::LeftButton;
    if (!IsEmpty() && ((event->button() == Qt::RightButton && m_mouseNavigation) ||
                       (left && m_tool == Tool::Pan))) {
        m_drag = Drag::Pan;
        pushHistory(); // one entry for the whole drag
        event->accept();
        return;
    }
    if (left && m_tool == Tool::ZoomWindow && !IsEmpty()) {
        m_drag = Drag::Window;
        event->accept();
        return;
    }
    if (left && m_autoDrag) {
        m_drag = Drag::Pending;
        event->accept();
        return;
    }
    QWidget::mousePressEvent(event);
}

void DrawingView::mouseMoveEvent(QMouseEvent* event) {
    const QPoint pos = event->position().toPoint();
    OnMouseMove(int(event->modifiers()), pos.x(), pos.y());
    const QPoint delta = pos - m_lastPos;
    m_lastPos = pos;
    switch (m_drag) {
    case Drag::Pan:
        if (!delta.isNull()) {
            m_view.panBy(delta);
            m_fitPending = false;
            m_followsSize = false;
            update(); // the last picture follows; drawn anew on release
        }
        break;
    case Drag::Window:
        update(); // the rubber band follows
        break;
    case Drag::Pending:
        if ((pos - m_pressPos).manhattanLength() >= QApplication::startDragDistance()) {
            m_drag = Drag::Host;
            OnStartDrag();
        }
        break;
    default:
        break;
    }
}

void DrawingView::mouseReleaseEvent(QMouseEvent* event) {
    if (m_drag == Drag::None || event->button() != m_dragButton) {
        QWidget::mouseReleaseEvent(event); // another button; a drag goes on
        return;
    }
    const Drag drag = m_drag;
    m_drag = Drag::None;
    switch (drag) {
    case Drag::Pan:
        invalidateCache();
        break;
    case Drag::Host:
        OnEndDrag();
        break;
    case Drag::Window: {
        const QRect band = QRect(m_pressPos, event->position().toPoint()).normalized();
        setTool(Tool::None);
        update();
        if (band.width() < 3 || band.height() < 3)
            break; // a click, not a window
        Box area;
        area.add(m_view.mapToDrawing(band.topLeft()));
        area.add(m_view.mapToDrawing(band.bottomRight()));
        pushHistory();
        m_view.zoomToFit(area, QRectF(drawingArea()), 0);
        m_fitPending = false;
        m_followsSize = false;
        invalidateCache();
        break;
    }
    default:
        break;
    }
}

void DrawingView::wheelEvent(QWheelEvent* event) {
    const int delta = event->angleDelta().y();
    if (!m_mouseNavigation || IsEmpty() || delta == 0) {
        event->ignore();
        return;
    }
    const QPointF at = event->position();
    pushHistory();
    m_view.zoomAbout(m_view.zoom() * std::pow(wheelStep, delta / 120.0), at);
    m_fitPending = false;
    m_followsSize = false;
    invalidateCache();
    event->accept();
}

} // namespace dv
