#include "main_window.h"

#include "application.h"
#include "close_up_combobox.h"
#include "file_filter.h"
#include "layers_dialog.h"
#include "open_dialog.h"
#include "picture_output.h"
#include "status_format.h"

#include <QAction>
#include <QApplication>
#include <QCursor>
#include <QDir>
#include <QDockWidget>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QFileDialog>
#include <QFileInfo>
#include <QInputDialog>
#include <QKeyEvent>
#include <QLabel>
#include <QMenu>
#include <QMenuBar>
#include <QMessageBox>
#include <QMimeData>
#include <QPrintDialog>
#include <QPrintPreviewDialog>
#include <QPrinter>
#include <QScreen>
#include <QStatusBar>
#include <QToolBar>
#include <QToolButton>

#include <algorithm>

using namespace DrawingViewLib;

namespace {
constexpr int PanelHeight = 33;
constexpr int LayoutsLeft = 312;
constexpr int LayoutsRightMargin = 10;
constexpr int FileNamePanelMax = 400;

const char* const TagProperty = "tag";

int tagOf(const QObject* object) {
    return object->property(TagProperty).toInt();
}

// Tag 1: needs a drawing; tag 2: needs anything loaded; other tags keep
// their state.
void applyTagRule(QObject* object, bool isDrawing, bool isEmpty) {
    const int tag = tagOf(object);
    if (tag != 1 && tag != 2)
        return;
    const bool enabled = tag == 1 ? isDrawing : !isEmpty;
    if (auto* widget = qobject_cast<QWidget*>(object))
        widget->setEnabled(enabled);
    else if (auto* action = qobject_cast<QAction*>(object))
        action->setEnabled(enabled);
}

bool askPictureFile(QWidget* parent, QString& path, QSize& pixels) {
    path = QFileDialog::getSaveFileName(
        parent, QStringLiteral("Save to picture"), QString(),
        QStringLiteral("PNG image (*.png);;JPEG image (*.jpg *.jpeg);;BMP image (*.bmp);;"
                       "TIFF image (*.tif *.tiff);;SVG drawing (*.svg);;PDF document (*.pdf)"));
    if (path.isEmpty())
        return false;
    if (QFileInfo(path).suffix().isEmpty())
        path += QStringLiteral(".png");
    const QString suffix = QFileInfo(path).suffix().toLower();
    if (suffix == QLatin1String("svg") || suffix == QLatin1String("pdf"))
        return true;
    const int largest =
        std::max(1, PictureOutput::MaxPixels / std::max({1, pixels.width(), pixels.height()}));
    bool ok = false;
    const int multiple = QInputDialog::getInt(parent, QStringLiteral("Save to picture"),
                                              QStringLiteral("Picture size: %1 x %2 pixels times")
                                                  .arg(pixels.width())
                                                  .arg(pixels.height()),
                                              1, 1, std::min(8, largest), 1, &ok);
    if (!ok)
        return false;
    pixels *= multiple;
    return true;
}

void runPrintDialog(QWidget* parent, QPrinter& printer, bool preview, const QString& title,
                    const std::function<void(QPrinter&)>& paint) {
    if (preview) {
        QPrintPreviewDialog dialog(&printer, parent);
        dialog.setWindowTitle(title);
        QObject::connect(&dialog, &QPrintPreviewDialog::paintRequested, &dialog,
                         guarded([&paint](QPrinter* p) { paint(*p); }));
        dialog.exec();
        return;
    }
    QPrintDialog dialog(&printer, parent);
    dialog.setWindowTitle(title);
    if (dialog.exec() == QDialog::Accepted)
        paint(printer);
}

// Esc is Exit's shortcut, but while a list or menu is open it belongs to that popup: Qt closes
// a combobox's list on the shortcut check itself and then lets the same key run the shortcut.
// Claiming the key as an ordinary press leaves it to the popup, which closes on it.
class PopupKeepsEscape : public QObject {
public:
    using QObject::QObject;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override {
        if (event->type() == QEvent::ShortcutOverride && QApplication::activePopupWidget()) {
            auto* key = static_cast<QKeyEvent*>(event);
            if (key->key() == Qt::Key_Escape) {
                key->accept();
                return true;
            }
        }
        return QObject::eventFilter(watched, event);
    }
};

} // namespace

TfmMain::TfmMain(ControlFactory createControl, QWidget* parent)
    : QMainWindow(parent), m_chooseFile(chooseFileToOpen), m_reportInfo([this](const QString& m) {
          QMessageBox::information(this, QCoreApplication::applicationName(), m);
      }),
      m_askSave(askPictureFile), m_runPrint(runPrintDialog) {
    Q_INIT_RESOURCE(viewer);
    setObjectName(QStringLiteral("fmMain"));
    setWindowTitle(caption());
    setWindowIcon(QIcon(QStringLiteral(":/icons/vistrel.svg")));
    setGeometry(234, 157, 821, 494);
    setAcceptDrops(true);
    setDockNestingEnabled(false);
    createMenu();
    createToolbar();
    createStatusBar();
    FormCreate(createControl);
}

TfmMain::~TfmMain() {
    FormDestroy();
}

QString TfmMain::caption() {
    return QCoreApplication::applicationName() +
           QStringLiteral(" V8.0 - Tips: Hold down the mouse right-button to drag drawings; Mouse "
                          "wheel zoom.");
}

const QString& TfmMain::openDialogFilter() {
    static const QString filter = QStringLiteral(
        "All Files (*.*)|*.*|CAD "
        "drawings|*.dwg;*.dxf;*.plt;*.hgl;*.hg;*.hpg;*.plo;*.hp;*.hp1;*.hp2;*.hpgl;*.hpgl2;*.gl2;*."
        "prn;*.spl;*.rtl;*.emf;*.wmf;*.cgm;*.svg|Images|*.bmp;*.rle;*.dib;*.ico;*.jpg;*.jpeg;*.gif;"
        "*.pcx;*.tif;*.tiff;*.emf;*.wmf;*.fax;*.bw;*.rgb;*.rgba;*.sgi;*.cel;*.pic;*.tga;*.vst;*."
        "icb;*.vda;*.win;*.pcd;*.ppm;*.pgm;*.pbm;*.cut;*.pal;*.rla;*.rpf;*.psd;*.pdd;*.psp;*.png;*."
        "ged|*.emf|*.emf|*.wmf|*.wmf|JPEG (*.jpg;*jpeg)|*.jpg;*jpeg|GIF(*.gif)|*.gif|AutoCAD DWG "
        "(*.dwg)|*.dwg|AutoCAD DXF (*.dxf)|*.dxf|HPGL/2 "
        "Image|*.plt;*.hgl;*.hg;*.hpg;*.plo;*.hp;*.hp1;*.hp2;*.hpgl;*.hpgl2;*.gl2;*.prn;*.spl;*."
        "rtl|Scalable Vector Graphics (*.svg)|*.svg|Computer Graphics Metafile (*.cgm)|*.cgm|PCX "
        "(*.pcx)|*.pcx|TIFF (*.tif;*.tiff)|*.tif;*.tiff|GFI fax images (*.fax)|*.fax|SGI "
        "(*.bw;*.rgb;*.rgba;*.sgi)|*.bw;*.rgb;*.rgba;*.sgi|Autodesk images files "
        "(*.cel;*.pic)|*.cel;*.pic|Truevision images "
        "*.tga;*.vst;*.icb;*.vda;*.win|*.tga;*.vst;*.icb;*.vda;*.win|Kodak Photo-CD images "
        "(*.pcd)|*.pcd|Portable pixel/gray map images (*.ppm;*.pgm;*.pbm)|*.ppm;*.pgm;*.pbm|Dr. "
        "Halo images (*.cut;*.pal)|*.cut;*.pal|SGI Wavefront images (*.rla;*.rpf)|*.rla;*.rpf|"
        "Photoshop images (*.psd;*.pdd)|*.psd;*.pdd|Paintshop Pro images (*.psp)|*.psp|Portable "
        "network graphic images (*.png)|*.png|Arts & Letters thumbnail images (*.ged)|*.ged");
    return filter;
}

// --- construction ---------------------------------------------------------

QAction* TfmMain::addItem(QMenu* menu, const char* name, const QString& caption, int tag,
                          bool enabled) {
    QAction* item = caption == QLatin1String("-") ? menu->addSeparator() : menu->addAction(caption);
    item->setObjectName(QLatin1String(name));
    item->setProperty(TagProperty, tag);
    item->setEnabled(enabled);
    return item;
}

void TfmMain::createMenu() {
    mmMain = menuBar();
    mmMain->setObjectName(QStringLiteral("mmMain"));
    mmiFile = mmMain->addMenu(QStringLiteral("File"));
    mmiFile->setObjectName(QStringLiteral("mmiFile"));
    mmiFile->menuAction()->setProperty(TagProperty, 2);
    mmiView = mmMain->addMenu(QStringLiteral("View"));
    mmiView->setObjectName(QStringLiteral("mmiView"));

    mmiOpen = addItem(mmiFile, "mmiOpen", QStringLiteral("Open"), 0, true);
    mmiSave = addItem(mmiFile, "mmiSave", QStringLiteral("Save to picture"), 1, false);
    mmiClose = addItem(mmiFile, "mmiClose", QStringLiteral("Close"), 2, false);
    mmiRecent = mmiFile->addMenu(QStringLiteral("Recent Files"));
    mmiRecent->setObjectName(QStringLiteral("mmiRecent"));
    // Built as the File menu opens, never while one of its items is delivering a click.
    refillRecent();
    connect(mmiFile, &QMenu::aboutToShow, this, guarded([this] { refillRecent(); }));
    N1 = addItem(mmiFile, "N1", QStringLiteral("-"), 0, true);
    mmiPrint = addItem(mmiFile, "mmiPrint", QStringLiteral("Print"), 2, true);
    mmiPrintPreview =
        addItem(mmiFile, "mmiPrintPreview", QStringLiteral("Print Preview..."), 2, true);
    N2 = addItem(mmiFile, "N2", QStringLiteral("-"), 0, true);
    mmiExit = addItem(mmiFile, "mmiExit", QStringLiteral("Exit"), 0, true);
    mmiExit->setShortcut(QKeySequence(Qt::Key_Escape));
    mmiExit->setShortcutContext(Qt::WindowShortcut);
    qApp->installEventFilter(new PopupKeepsEscape(this));

    mmiZoomIn = addItem(mmiView, "mmiZoomIn", QStringLiteral("Zoom In"), 2, false);
    mmiZoomOut = addItem(mmiView, "mmiZoomOut", QStringLiteral("Zoom Out"), 2, false);
    mmiFitToScreen = addItem(mmiView, "mmiFitToScreen", QStringLiteral("Fit To Screen"), 2, false);
    mmi1x1 = addItem(mmiView, "mmi1x1", QStringLiteral("1:1 Show"), 2, false);
    mmiPrevScale = addItem(mmiView, "mmiPrevScale", QStringLiteral("Previous  Scale"), 2, false);
    mmiIsWithoutBorder =
        addItem(mmiView, "mmiIsWithoutBorder", QStringLiteral("Without Border"), 1, false);
    mmiIsWithoutBorder->setCheckable(true);
    // The hints promise + and -; the keypad and Ctrl spellings are what users also try. Ctrl+=
    // is Ctrl++ typed without Shift. Application-wide, so they also reach a floating drawing.
    mmiZoomIn->setShortcuts(
        {QKeySequence(Qt::Key_Plus), QKeySequence(Qt::KeypadModifier | Qt::Key_Plus),
         QKeySequence(Qt::CTRL | Qt::Key_Plus), QKeySequence(Qt::CTRL | Qt::Key_Equal)});
    mmiZoomOut->setShortcuts({QKeySequence(Qt::Key_Minus),
                              QKeySequence(Qt::KeypadModifier | Qt::Key_Minus),
                              QKeySequence(Qt::CTRL | Qt::Key_Minus)});
    mmiZoomIn->setShortcutContext(Qt::ApplicationShortcut);
    mmiZoomOut->setShortcutContext(Qt::ApplicationShortcut);

    connectHandler(mmiOpen, &TfmMain::mmiOpenClick);
    connectHandler(mmiSave, &TfmMain::mmiSaveClick);
    connectHandler(mmiClose, &TfmMain::mmiCloseClick);
    connectHandler(mmiPrint, &TfmMain::mmiPrintClick);
    connectHandler(mmiPrintPreview, &TfmMain::mmiPrintPreviewClick);
    connectHandler(mmiExit, &TfmMain::mmiExitClick);
    connectHandler(mmiZoomIn, &TfmMain::BtnPlusClick);
    connectHandler(mmiZoomOut, &TfmMain::BtnMinusClick);
    connectHandler(mmiFitToScreen, &TfmMain::btnFitToScreenClick);
    connectHandler(mmi1x1, &TfmMain::BtnRealClick);
    connectHandler(mmiPrevScale, &TfmMain::BtnPrevClick);
    connectHandler(mmiIsWithoutBorder, &TfmMain::mmiIsWithoutBorderClick);
}

QToolButton* TfmMain::addButton(const char* name, int left, const QString& hint, int tag,
                                const QString& icon) {
    auto* button = new QToolButton(pnlMain);
    button->setObjectName(QLatin1String(name));
    button->setGeometry(left, 5, 25, 25);
    button->setAutoRaise(true);
    button->setFocusPolicy(Qt::NoFocus);
    button->setToolTip(hint);
    button->setProperty(TagProperty, tag);
    button->setEnabled(tag == 0);
    if (!icon.isEmpty()) {
        button->setIcon(QIcon(QStringLiteral(":/icons/%1.svg").arg(icon)));
        button->setIconSize(QSize(18, 18));
    }
    return button;
}

void TfmMain::createToolbar() {
    tbMain = addToolBar(QStringLiteral("Toolbar"));
    tbMain->setObjectName(QStringLiteral("tbMain"));
    tbMain->setMovable(false);
    tbMain->setFloatable(false);
    tbMain->setContextMenuPolicy(Qt::PreventContextMenu);
    tbMain->setContentsMargins(0, 0, 0, 0);
    tbMain->setStyleSheet(QStringLiteral("QToolBar { border: 0px; padding: 0px; spacing: 0px; }"));

    pnlMain = new QWidget(tbMain);
    pnlMain->setObjectName(QStringLiteral("pnlMain"));
    pnlMain->setFixedHeight(PanelHeight);
    pnlMain->setMinimumWidth(LayoutsLeft + 80 + LayoutsRightMargin);
    pnlMain->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
    pnlMain->installEventFilter(this);
    tbMain->addWidget(pnlMain);

    BtnOpen = addButton("BtnOpen", 3, QStringLiteral("Open"), 0, QStringLiteral("open"));
    BtnSave =
        addButton("BtnSave", 28, QStringLiteral("Save to picture"), 1, QStringLiteral("save"));
    BtnPrint = addButton("BtnPrint", 53, QStringLiteral("Print Preview"), 2,
                         QStringLiteral("print-preview"));
    BtnPrint1 = addButton("BtnPrint1", 78, QStringLiteral("Print 1:1"), 2, QStringLiteral("print"));
    BtnPlus =
        addButton("BtnPlus", 107, QStringLiteral("Zoom in (+)"), 2, QStringLiteral("zoom-in"));
    BtnMinus =
        addButton("BtnMinus", 132, QStringLiteral("Zoom out (-)"), 2, QStringLiteral("zoom-out"));
    BtnReal = addButton("BtnReal", 157, QStringLiteral("1:1 View"), 2, QString());
    BtnReal->setText(QStringLiteral("1:1"));
    QFont realFont = BtnReal->font();
    realFont.setBold(true);
    realFont.setPixelSize(12);
    BtnReal->setFont(realFont);
    BtnPrev =
        addButton("BtnPrev", 182, QStringLiteral("Previous scale"), 2, QStringLiteral("previous"));
    btnLayers = addButton("btnLayers", 207, QStringLiteral("Layers"), 1, QStringLiteral("layers"));
    btnFitToScreen =
        addButton("btnFitToScreen", 232, QStringLiteral("Fit To Screen"), 2, QStringLiteral("fit"));
    btnIsWithoutBorder = addButton("btnIsWithoutBorder", 257, QStringLiteral("Border off/on"), 1,
                                   QStringLiteral("border"));

    cbLayouts = new TCloseUpComboBox(pnlMain);
    cbLayouts->setObjectName(QStringLiteral("cbLayouts"));
    cbLayouts->setToolTip(QStringLiteral("Show Layout"));
    layOutPanel();

    connectHandler(BtnOpen, &TfmMain::mmiOpenClick);
    connectHandler(BtnSave, &TfmMain::mmiSaveClick);
    connectHandler(BtnPrint, &TfmMain::mmiPrintPreviewClick);
    connectHandler(BtnPrint1, &TfmMain::BtnPrint1Click);
    connectHandler(BtnPlus, &TfmMain::BtnPlusClick);
    connectHandler(BtnMinus, &TfmMain::BtnMinusClick);
    connectHandler(BtnReal, &TfmMain::BtnRealClick);
    connectHandler(BtnPrev, &TfmMain::BtnPrevClick);
    connectHandler(btnLayers, &TfmMain::btnLayersClick);
    connectHandler(btnFitToScreen, &TfmMain::btnFitToScreenClick);
    connectHandler(btnIsWithoutBorder, &TfmMain::mmiIsWithoutBorderClick);
    connect(cbLayouts, &TCloseUpComboBox::closeUp, this, guarded([this] { cbLayoutsCloseUp(); }));
}

void TfmMain::createStatusBar() {
    sbStatus = statusBar();
    sbStatus->setObjectName(QStringLiteral("sbStatus"));
    const int widths[3] = {200, 100, 50};
    for (int i = 0; i < 3; ++i) {
        sbPanels[i] = new QLabel(sbStatus);
        sbPanels[i]->setObjectName(QStringLiteral("sbPanel%1").arg(i));
        sbPanels[i]->setFixedWidth(widths[i]);
        sbStatus->addWidget(sbPanels[i]);
    }
}

void TfmMain::connectHandler(QToolButton* button, void (TfmMain::*handler)()) {
    connect(button, &QToolButton::clicked, this, guarded([this, handler] { (this->*handler)(); }));
}

void TfmMain::connectHandler(QAction* item, void (TfmMain::*handler)()) {
    connect(item, &QAction::triggered, this, guarded([this, handler] { (this->*handler)(); }));
}

void TfmMain::FormCreate(const ControlFactory& createControl) {
    // 1. The control, docked so that it fills the window.
    dockDrawing = new QDockWidget(QStringLiteral("Drawing"), this);
    dockDrawing->setObjectName(QStringLiteral("dockDrawing"));
    dockDrawing->setFeatures(QDockWidget::DockWidgetMovable | QDockWidget::DockWidgetFloatable);
    dockDrawing->setAllowedAreas(Qt::AllDockWidgetAreas);
    DrawingView = createControl(dockDrawing);
    if (!DrawingView || !DrawingView->widget())
        throw DrawingViewError("The drawing control could not be created");
    dockDrawing->setWidget(DrawingView->widget());
    addDockWidget(Qt::LeftDockWidgetArea, dockDrawing);
    dockDrawing->installEventFilter(this);
    // Docked at once on a drop, so a drop that Qt docks is over before ours is looked at.
    setAnimated(false);
    updateDockTitleBar();
    // Queued: a title-bar drag is still running inside the dock when it
    // reports the change, and swapping its title bar then would break it.
    connect(
        dockDrawing, &QDockWidget::topLevelChanged, this,
        [this](bool floating) {
            updateDockTitleBar();
            if (!floating)
                FormDockDrop();
        },
        Qt::QueuedConnection);

    // 2. Events.
    auto subscribe = [this](auto& event, auto handler) {
        const int id = event.connect(guarded(handler));
        m_unsubscribe.push_back([&event, id] { event.disconnect(id); });
    };
    subscribe(DrawingView->OnAfterLoad, [this] { DrawingViewAfterLoad(); });
    subscribe(DrawingView->OnBeforeLoad, [this] { DrawingViewBeforeLoad(); });
    subscribe(DrawingView->OnMouseMove,
              [this](int shift, int x, int y) { DrawingViewMouseMove(shift, x, y); });
    subscribe(DrawingView->OnProgress,
              [this](int state, uint8_t percent, bool redraw, const QString& msg) {
                  DrawingViewProgress(state, percent, redraw, msg);
              });
    subscribeLayoutChange();

    // 3. The control's own bars stay hidden; the window has its own.
    DrawingView->setLayoutsBarVisible(false);
    DrawingView->setToolBarVisible(false);

    // 4. A left-drag on the drawing floats it out.
    subscribe(DrawingView->OnStartDrag, [this] { DrawingViewStartDrag(); });
    subscribe(DrawingView->OnEndDrag, [this] { DrawingViewEndDrag(); });
    DrawingView->setAutoDrag(true);

    // 5. The control's own mouse navigation (right-drag pans, wheel zooms).
    DrawingView->setMouseNavigation(true);

    // 6. Holders of the loaded drawing and its converter.
    DXFImageSrv = std::make_unique<TDXFImage>();
    DXFImageSrv->OnLayoutChange = guarded([this] { DXFImageSrvLayoutChange(); });
    ConverterSrv = std::make_unique<TConverter>();

    // 7.
    OpenDialog1FilterIndex = 1;

    // 8. Again: the control may reset it while its window is being set up.
    DrawingView->setMouseNavigation(true);

    // 9. Commands the window offers itself (or not at all) are off in the control.
    for (int command : {1, 11, 12, 13, 14, 19, 20, 21, 22, 23, 24, 25})
        DrawingView->SetCommandState(command, false);
}

void TfmMain::FormDestroy() {
    // The control's widget goes with the dock; nothing may call back into a
    // window that is going away.
    if (DrawingView) {
        unsubscribeLayoutChange();
        for (auto& unsubscribe : m_unsubscribe)
            unsubscribe();
        m_unsubscribe.clear();
    }
    if (DXFImageSrv)
        DXFImageSrv->disconnect();
    if (ConverterSrv)
        ConverterSrv->disconnect();
    DrawingView = nullptr;
}

// --- commands --------------------------------------------------------------

void TfmMain::openFile(const QString& fileName) {
    DrawingView->LoadFile(fileName);
}

void TfmMain::mmiOpenClick() {
    const QString fileName =
        m_chooseFile(this, toQtNameFilters(openDialogFilter()), OpenDialog1FilterIndex);
    if (fileName.isEmpty())
        return;
    DrawingView->LoadFile(fileName);
}

void TfmMain::refillRecent() {
    mmiRecent->clear();
    const QStringList files = m_recent.files();
    for (int i = 0; i < files.size(); ++i) {
        const QString path = files.at(i);
        QAction* item = mmiRecent->addAction(
            QStringLiteral("&%1 %2").arg(i + 1).arg(QFileInfo(path).fileName()));
        item->setStatusTip(path);
        item->setToolTip(path);
        connect(item, &QAction::triggered, this, guarded([this, path] { openRecent(path); }));
    }
    mmiRecent->setEnabled(!files.isEmpty());
}

void TfmMain::openRecent(const QString& fileName) {
    if (!QFileInfo(fileName).isFile()) {
        m_recent.remove(fileName);
        sbStatus->showMessage(
            QStringLiteral("%1 is gone; it has been removed from the recent files.")
                .arg(QDir::toNativeSeparators(fileName)),
            8000);
        return;
    }
    openFile(fileName);
}

void TfmMain::mmiCloseClick() {
    DrawingView->CloseFile();
    RefreshState();
}

void TfmMain::mmiExitClick() {
    close();
}

bool TfmMain::reportNothingLoaded() {
    // Print and Print Preview are on before anything is loaded.
    if (!DrawingView->IsEmpty())
        return false;
    sbStatus->showMessage(QStringLiteral("Nothing to print: open a drawing first."), 5000);
    return true;
}

void TfmMain::mmiSaveClick() {
    if (DrawingView->IsEmpty())
        return;
    // A raster image is saved at its own size, a drawing at the view's.
    QSize pixels = DrawingView->IsDrawing()
                       ? DrawingView->widget()->size()
                       : QSize(DrawingView->RasterWidth(), DrawingView->RasterHeight());
    QString path;
    if (!m_askSave(this, path, pixels))
        return;
    PictureOutput::save(*DrawingView, path, pixels);
    sbStatus->showMessage(QStringLiteral("Saved %1").arg(QFileInfo(path).fileName()), 5000);
}

void TfmMain::mmiPrintClick() {
    if (reportNothingLoaded())
        return;
    QPrinter printer(QPrinter::HighResolution);
    PictureOutput::chooseOrientation(*DrawingView, printer);
    m_runPrint(this, printer, false, QStringLiteral("Print"),
               [this](QPrinter& p) { PictureOutput::printFitted(*DrawingView, p); });
}

void TfmMain::mmiPrintPreviewClick() {
    if (reportNothingLoaded())
        return;
    QPrinter printer(QPrinter::HighResolution);
    PictureOutput::chooseOrientation(*DrawingView, printer);
    m_runPrint(this, printer, true, QStringLiteral("Print Preview"),
               [this](QPrinter& p) { PictureOutput::printFitted(*DrawingView, p); });
}

void TfmMain::BtnPrint1Click() {
    if (reportNothingLoaded() || !DrawingView->IsDrawing())
        return;
    QPrinter printer(QPrinter::HighResolution);
    PictureOutput::chooseOrientation(*DrawingView, printer);
    const double mmPerUnit = PictureOutput::millimetresPerUnit(*DrawingView);
    const int pages = PictureOutput::pageGrid1to1(*DrawingView, printer, mmPerUnit).pages();
    const QString note = pages == 1 ? QStringLiteral("Print 1:1 (1 page)")
                                    : QStringLiteral("Print 1:1 (%1 pages)").arg(pages);
    sbStatus->showMessage(note, 5000);
    m_runPrint(this, printer, false, note, [this, mmPerUnit](QPrinter& p) {
        PictureOutput::print1to1(*DrawingView, p, mmPerUnit);
    });
}
void TfmMain::BtnPrintClick() {
    DrawingView->ExecuteCommand(CmdPrint);
}

// The zoom point is half the window's outer size, whatever the control's
// place in it.
void TfmMain::BtnPlusClick() {
    const QRect frame = frameGeometry();
    DrawingView->ZoomAt(false, 2.0, frame.width() / 2, frame.height() / 2);
}

void TfmMain::BtnMinusClick() {
    const QRect frame = frameGeometry();
    DrawingView->ZoomAt(false, 0.5, frame.width() / 2, frame.height() / 2);
}

void TfmMain::BtnRealClick() {
    const QRect frame = frameGeometry();
    DrawingView->ZoomAt(true, 1.0, frame.width() / 2, frame.height() / 2);
}

void TfmMain::btnFitToScreenClick() {
    DrawingView->ExecuteCommand(CmdFit);
}
void TfmMain::BtnPrevClick() {
    DrawingView->PreviousScale();
}

void TfmMain::mmiIsWithoutBorderClick() {
    DrawingView->setIsWithoutBorder(!DrawingView->IsWithoutBorder());
}

void TfmMain::btnLayersClick() {
    if (!DrawingView->DXFImage())
        return;
    ShowLayersDialog(DXFImageSrv->intf(), DrawingView);
    DrawingView->RefreshView();
}

// --- state -----------------------------------------------------------------

void TfmMain::RefreshState() {
    const bool isDrawing = DrawingView->IsDrawing();
    const bool isEmpty = DrawingView->IsEmpty();
    for (QToolButton* button : pnlMain->findChildren<QToolButton*>(Qt::FindDirectChildrenOnly))
        applyTagRule(button, isDrawing, isEmpty);
    for (QAction* top : mmMain->actions()) {
        if (QMenu* menu = top->menu()) {
            for (QAction* item : menu->actions())
                applyTagRule(item, isDrawing, isEmpty);
        }
    }
    refillLayouts();
}

void TfmMain::refillLayouts() {
    cbLayouts->clear();
    if (!DrawingView->IsDrawing())
        return;
    const auto drawing = DrawingView->DXFImage();
    if (!drawing)
        return;
    const auto converter = drawing->Converter();
    if (!converter)
        return;
    const int count = drawing->LayoutsCount();
    for (int i = 0; i < count; ++i) {
        const auto layout = converter->Layouts(i);
        cbLayouts->addItem(layout ? layout->Name() : QString());
    }
}

void TfmMain::subscribeLayoutChange() {
    if (m_layoutChangeId)
        return;
    m_layoutChangeId =
        DrawingView->OnLayoutChange.connect(guarded([this] { DXFImageSrvLayoutChange(); }));
}

void TfmMain::unsubscribeLayoutChange() {
    if (m_layoutChangeId)
        DrawingView->OnLayoutChange.disconnect(m_layoutChangeId);
    m_layoutChangeId = 0;
}

// --- control events --------------------------------------------------------

int TfmMain::textWidth(const QString& text) const {
    return sbStatus->fontMetrics().horizontalAdvance(text);
}

void TfmMain::setPanel(int index, const QString& text, int width) {
    sbPanels[index]->setFixedWidth(width);
    sbPanels[index]->setText(text);
}

void TfmMain::DrawingViewBeforeLoad() {
    unsubscribeLayoutChange();
    for (QLabel* panel : sbPanels)
        panel->clear();
    DXFImageSrv->disconnect();
}

void TfmMain::DrawingViewProgress(int, uint8_t percentDone, bool, const QString& msg) {
    const QString text = progressText(percentDone, msg);
    setPanel(0, text, textWidth(text) + 16);
}

void TfmMain::DrawingViewAfterLoad() {
    const QString name = QFileInfo(DrawingView->FileName()).fileName();
    setPanel(0, name, std::min(textWidth(name) + 16, FileNamePanelMax));

    RefreshState();
    if (!DrawingView->IsEmpty())
        m_recent.add(DrawingView->FileName());

    if (DrawingView->IsDrawing()) {
        DXFImageSrv->connectTo(DrawingView->DXFImage());
        ConverterSrv->connectTo(DXFImageSrv->Converter());
        // A drawing without a converter has no layouts to select.
        if (ConverterSrv->isConnected())
            cbLayouts->setCurrentIndex(ConverterSrv->ActiveLayoutIndex());
        subscribeLayoutChange();
    }

    DrawingView->ExecuteCommand(CmdFit);

    if (!DrawingView->IsEmpty()) {
        const QString size =
            DrawingView->IsDrawing()
                ? drawingSizeText(DXFImageSrv->DrawingWidth(), DXFImageSrv->DrawingHeight())
                : rasterSizeText(DrawingView->RasterWidth(), DrawingView->RasterHeight());
        setPanel(1, size, textWidth(size) + 16);
    }
}

void TfmMain::DrawingViewMouseMove(int, int x, int y) {
    if (DrawingView->IsEmpty())
        return;
    QString text;
    if (DrawingView->IsDrawing()) {
        const DrawingPoint point = DrawingView->ScreenToDrawing(x, y);
        text = drawingPointText(point.X, point.Y, point.Z);
    } else {
        const TRect rect = DrawingView->GetImageRect();
        text = pixelPointText(
            mulDiv(DrawingView->RasterWidth(), x - rect.Left, rect.Right - rect.Left),
            mulDiv(DrawingView->RasterHeight(), y - rect.Top, rect.Bottom - rect.Top));
    }
    setPanel(2, text, textWidth(text));
}

void TfmMain::DXFImageSrvLayoutChange() {
    // Nothing to follow before the first drawing or while one loads.
    if (!DXFImageSrv->isConnected())
        return;
    auto layout = DXFImageSrv->CurrentLayout();
    cbLayouts->setCurrentIndex(layout ? cbLayouts->findText(layout->Name(), Qt::MatchFixedString)
                                      : -1);
    // A drop-down list takes a text by selecting its first match, ignoring case.
    layout = DXFImageSrv->CurrentLayout();
    cbLayouts->setCurrentIndex(layout ? cbLayouts->findText(layout->Name(), Qt::MatchFixedString)
                                      : -1);
}

void TfmMain::cbLayoutsCloseUp() {
    if (!DrawingView->IsDrawing())
        return;
    // A drawing without a converter has an empty list: nothing to pick.
    if (!ConverterSrv->isConnected())
        return;
    const int index = cbLayouts->currentIndex();
    DXFImageSrv->setCurrentLayout(ConverterSrv->Layouts(index));
    DrawingView->ExecuteCommand(CmdFit);
    DrawingView->widget()->setFocus();
}

// --- docking ---------------------------------------------------------------

void TfmMain::DrawingViewStartDrag() {
    if (dockDrawing->isFloating()) {
        m_dragStartedFloating = true;
        return;
    }
    m_dragStartedFloating = false;
    dockDrawing->setFloating(true);
    dockDrawing->show();
    placeFloating();
}

void TfmMain::placeFloating() {
    // Next to the cursor, smaller than the window so it is seen to have left, and wholly on
    // the screen it was dragged out on.
    const QPoint cursor = QCursor::pos();
    const QScreen* screen = QGuiApplication::screenAt(cursor);
    const QRect free = (screen ? screen : this->screen())->availableGeometry();
    // The window manager's frame counts too.
    const QSize frame = dockDrawing->frameGeometry().size() - dockDrawing->geometry().size();
    const QSize size = ((this->size() * 2) / 3).boundedTo(free.size() - frame);
    const QSize outer = size + frame;
    QRect placed(cursor - QPoint(outer.width() / 2, 12), outer);
    placed.moveLeft(std::clamp(placed.left(), free.left(), free.right() - outer.width() + 1));
    placed.moveTop(std::clamp(placed.top(), free.top(), free.bottom() - outer.height() + 1));
    dockDrawing->resize(size);
    dockDrawing->move(placed.topLeft());
}

QRect TfmMain::clientArea() const {
    // Between the toolbar and the status bar, where the docked drawing lies.
    const QPoint topLeft = mapToGlobal(QPoint(0, tbMain->geometry().bottom() + 1));
    const QPoint bottomRight = mapToGlobal(QPoint(width() - 1, sbStatus->geometry().top() - 1));
    return QRect(topLeft, bottomRight);
}

void TfmMain::dockIfOverClientArea() {
    if (dockDrawing->isFloating() && clientArea().contains(QCursor::pos()))
        dockDrawing->setFloating(false);
}

void TfmMain::DrawingViewEndDrag() {
    // A drag that started in the floating window is a dock drag: dropped on
    // the main window, it docks the drawing back.
    const bool dockDrag = m_dragStartedFloating;
    m_dragStartedFloating = false;
    if (dockDrag)
        dockIfOverClientArea();
}

void TfmMain::FormDockDrop() {
    // The dock is the window's only content, so once docked it fills the
    // client area; it only has to be shown.
    dockDrawing->show();
}

void TfmMain::updateDockTitleBar() {
    // Docked, the drawing fills the window without a title; floating, it gets
    // one to drag it back by (or double-click).
    if (dockDrawing->isFloating()) {
        if (QWidget* old = dockDrawing->titleBarWidget()) {
            dockDrawing->setTitleBarWidget(nullptr);
            old->deleteLater();
        }
    } else if (!dockDrawing->titleBarWidget()) {
        dockDrawing->setTitleBarWidget(new QWidget(dockDrawing));
    }
}

// --- window ----------------------------------------------------------------

void TfmMain::layOutPanel() {
    const int height = std::max(21, cbLayouts->sizeHint().height());
    const int width = std::max(80, pnlMain->width() - LayoutsLeft - LayoutsRightMargin);
    cbLayouts->setGeometry(LayoutsLeft, (PanelHeight - height) / 2, width, height);
}

bool TfmMain::eventFilter(QObject* watched, QEvent* event) {
    if (watched == pnlMain && event->type() == QEvent::Resize)
        layOutPanel();
    if (watched == dockDrawing) {
        // Qt docks a window dragged by its title only near an edge of the main window; a drop
        // anywhere over the drawing's place docks it here.
        const QEvent::Type type = event->type();
        if (type == QEvent::MouseButtonPress || type == QEvent::NonClientAreaMouseButtonPress)
            m_floatingPressedAt = dockDrawing->pos();
        if ((type == QEvent::MouseButtonRelease ||
             type == QEvent::NonClientAreaMouseButtonRelease) &&
            dockDrawing->isFloating() && dockDrawing->pos() != m_floatingPressedAt)
            // Once Qt has finished its own drag.
            QMetaObject::invokeMethod(
                this, [this] { dockIfOverClientArea(); }, Qt::QueuedConnection);
    }
    return QMainWindow::eventFilter(watched, event);
}

void TfmMain::dragEnterEvent(QDragEnterEvent* event) {
    const QList<QUrl> urls = event->mimeData()->urls();
    if (!urls.isEmpty() && urls.constFirst().isLocalFile())
        event->acceptProposedAction();
}

void TfmMain::dropEvent(QDropEvent* event) {
    const QList<QUrl> urls = event->mimeData()->urls();
    if (urls.isEmpty() || !urls.constFirst().isLocalFile())
        return;
    event->acceptProposedAction();
    const QString fileName = urls.constFirst().toLocalFile();
    // Loading may show an error box; let the drag finish first.
    QMetaObject::invokeMethod(this, guarded([this, fileName] { openFile(fileName); }),
                              Qt::QueuedConnection);
}
