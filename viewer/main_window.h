#pragma once

// Vistrel's main window: hosts the drawing control in a dock, offers the file
// and view commands and keeps their enabled states and the status bar in step
// with what the control holds. It asks the control each time; it keeps no
// document state of its own.

#include "DrawingViewLib.h"
#include "cadview/Wrappers.h"
#include "recent_files.h"

#include <QMainWindow>

#include <functional>
#include <memory>

class QAction;
class QDockWidget;
class QLabel;
class QMenu;
class QMenuBar;
class QPrinter;
class QStatusBar;
class QToolBar;
class QToolButton;
class TCloseUpComboBox;

class TfmMain : public QMainWindow {
    Q_OBJECT
public:
    using ControlFactory = std::function<DrawingViewLib::IDrawingView*(QWidget* parent)>;
    // Returns the chosen file, or an empty string when the user cancelled.
    using FileChooser =
        std::function<QString(QWidget* parent, const QStringList& nameFilters, int filterIndex)>;
    using InfoReporter = std::function<void(const QString& message)>;
    // Asks where to save the picture and, for raster formats, its size in
    // pixels (given the view's size). False when the user cancelled.
    using SaveAsker = std::function<bool(QWidget* parent, QString& path, QSize& pixels)>;
    // Shows the print dialog (or the preview) and calls `paint` for the
    // printer the user confirmed.
    using PrintRunner =
        std::function<void(QWidget* parent, QPrinter& printer, bool preview, const QString& title,
                           const std::function<void(QPrinter&)>& paint)>;

    explicit TfmMain(ControlFactory createControl, QWidget* parent = nullptr);
    ~TfmMain() override;

    static QString caption();
    static const QString& openDialogFilter();

    // Seams for tests; the defaults show the real dialogs.
    void setFileChooser(FileChooser chooser) { m_chooseFile = std::move(chooser); }
    void setInfoReporter(InfoReporter reporter) { m_reportInfo = std::move(reporter); }
    void setSaveAsker(SaveAsker asker) { m_askSave = std::move(asker); }
    void setPrintRunner(PrintRunner runner) { m_runPrint = std::move(runner); }

    // Loads a file given on the command line or dropped on the window.
    void openFile(const QString& fileName);

    // Command handlers. They throw on a failed control call; the connections
    // route that to the application's error report.
    void mmiOpenClick();
    void mmiCloseClick();
    void mmiExitClick();
    void mmiSaveClick();
    void mmiPrintClick();
    void mmiPrintPreviewClick();
    void BtnPrintClick();
    void BtnPrint1Click();
    void BtnPlusClick();
    void BtnMinusClick();
    void BtnRealClick();
    void btnFitToScreenClick();
    void BtnPrevClick();
    void mmiIsWithoutBorderClick();
    void btnLayersClick();
    void cbLayoutsCloseUp();

    void RefreshState();

    // Control events.
    void DrawingViewBeforeLoad();
    void DrawingViewProgress(int state, uint8_t percentDone, bool redrawNow, const QString& msg);
    void DrawingViewAfterLoad();
    void DrawingViewMouseMove(int shift, int x, int y);
    void DXFImageSrvLayoutChange();
    void DrawingViewStartDrag();
    void DrawingViewEndDrag();
    void FormDockDrop();

    // Components, named as on the form.
    DrawingViewLib::IDrawingView* DrawingView = nullptr;
    std::unique_ptr<TDXFImage> DXFImageSrv;
    std::unique_ptr<TConverter> ConverterSrv;

    QDockWidget* dockDrawing = nullptr;
    QToolBar* tbMain = nullptr;
    QWidget* pnlMain = nullptr;
    QToolButton* BtnOpen = nullptr;
    QToolButton* BtnSave = nullptr;
    QToolButton* BtnPrint = nullptr;
    QToolButton* BtnPrint1 = nullptr;
    QToolButton* BtnPlus = nullptr;
    QToolButton* BtnMinus = nullptr;
    QToolButton* BtnReal = nullptr;
    QToolButton* BtnPrev = nullptr;
    QToolButton* btnLayers = nullptr;
    QToolButton* btnFitToScreen = nullptr;
    QToolButton* btnIsWithoutBorder = nullptr;
    TCloseUpComboBox* cbLayouts = nullptr;
    QStatusBar* sbStatus = nullptr;
    QLabel* sbPanels[3] = {};
    QMenuBar* mmMain = nullptr;
    QMenu* mmiFile = nullptr;
    QMenu* mmiView = nullptr;
    QAction* mmiOpen = nullptr;
    QAction* mmiSave = nullptr;
    QAction* mmiClose = nullptr;
    QMenu* mmiRecent = nullptr;
    QAction* N1 = nullptr;
    QAction* mmiPrint = nullptr;
    QAction* mmiPrintPreview = nullptr;
    QAction* N2 = nullptr;
    QAction* mmiExit = nullptr;
    QAction* mmiZoomIn = nullptr;
    QAction* mmiZoomOut = nullptr;
    QAction* mmiFitToScreen = nullptr;
    QAction* mmi1x1 = nullptr;
    QAction* mmiPrevScale = nullptr;
    QAction* mmiIsWithoutBorder = nullptr;
    int OpenDialog1FilterIndex = 0;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
    void dragEnterEvent(QDragEnterEvent* event) override;
    void dropEvent(QDropEvent* event) override;

private:
    void FormCreate(const ControlFactory& createControl);
    void FormDestroy();
    void createMenu();
    void createToolbar();
    void createStatusBar();
    QToolButton* addButton(const char* name, int left, const QString& hint, int tag,
                           const QString& icon);
    QAction* addItem(QMenu* menu, const char* name, const QString& caption, int tag, bool enabled);
    void connectHandler(QToolButton* button, void (TfmMain::*handler)());
    void connectHandler(QAction* item, void (TfmMain::*handler)());
    void subscribeLayoutChange();
    void unsubscribeLayoutChange();
    void refillLayouts();
    void setPanel(int index, const QString& text, int width);
    int textWidth(const QString& text) const;
    void updateDockTitleBar();
    void placeFloating();
    QRect clientArea() const;
    void dockIfOverClientArea();
    void layOutPanel();
    bool reportNothingLoaded();
    void refillRecent();
    void openRecent(const QString& fileName);

    FileChooser m_chooseFile;
    InfoReporter m_reportInfo;
    SaveAsker m_askSave;
    PrintRunner m_runPrint;
    int m_layoutChangeId = 0;
    std::vector<std::function<void()>> m_unsubscribe;
    bool m_dragStartedFloating = false;
    RecentFiles m_recent;
    QPoint m_floatingPressedAt;
};
