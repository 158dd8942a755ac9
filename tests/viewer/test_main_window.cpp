#include "viewer_test.h"

#include "layers_dialog.h"

#include <QPageLayout>
#include <QPrinter>

#include "close_up_combobox.h"
#include "file_filter.h"

#include <QAction>
#include <QDragEnterEvent>
#include <QLabel>
#include <QMenu>
#include <QMenuBar>
#include <QMimeData>
#include <QToolButton>

using Content = FakeDrawingView::Content;

class TestMainWindow : public QObject {
    Q_OBJECT

    static QStringList enabledTags(TfmMain& w) {
        QStringList result;
        for (auto* button : w.pnlMain->findChildren<QToolButton*>())
            result << QStringLiteral("%1=%2").arg(button->objectName()).arg(button->isEnabled());
        for (QMenu* menu : {w.mmiFile, w.mmiView})
            for (QAction* item : menu->actions())
                if (!item->isSeparator())
                    result
                        << QStringLiteral("%1=%2").arg(item->objectName()).arg(item->isEnabled());
        return result;
    }

private slots:
    void creationSequenceTalksToTheControlInOrder() {
        ViewerFixture f(false);
        const QStringList expected = {
            "setLayoutsBarVisible(0)", "setToolBarVisible(0)",  "setAutoDrag(1)",
            "setMouseNavigation(1)",   "setMouseNavigation(1)", "SetCommandState(1,0)",
            "SetCommandState(11,0)",   "SetCommandState(12,0)", "SetCommandState(13,0)",
            "SetCommandState(14,0)",   "SetCommandState(19,0)", "SetCommandState(20,0)",
            "SetCommandState(21,0)",   "SetCommandState(22,0)", "SetCommandState(23,0)",
            "SetCommandState(24,0)",   "SetCommandState(25,0)"};
        QCOMPARE(f.control->log, expected);
        // Every control event has exactly one handler.
        QCOMPARE(f.control->OnAfterLoad.connectionCount(), 1);
        QCOMPARE(f.control->OnBeforeLoad.connectionCount(), 1);
        QCOMPARE(f.control->OnMouseMove.connectionCount(), 1);
        QCOMPARE(f.control->OnProgress.connectionCount(), 1);
        QCOMPARE(f.control->OnLayoutChange.connectionCount(), 1);
        QCOMPARE(f.control->OnStartDrag.connectionCount(), 1);
        QCOMPARE(f.control->OnEndDrag.connectionCount(), 1);
        QCOMPARE(f.window->OpenDialog1FilterIndex, 1);
    }

    void windowCaptionMenuAndToolbarLayout() {
        ViewerFixture f(false);
        QCOMPARE(f.window->windowTitle(),
                 QStringLiteral("Vistrel V8.0 - Tips: Hold down the mouse right-button to drag "
                                "drawings; Mouse wheel zoom."));
        QCOMPARE(f.window->mmiFile->title(), QStringLiteral("File"));
        QCOMPARE(f.window->mmiView->title(), QStringLiteral("View"));
        QStringList captions;
        for (QAction* a : f.window->mmiFile->actions())
            captions << (a->isSeparator() ? QStringLiteral("-") : a->text());
        QCOMPARE(captions, QStringList({"Open", "Save to picture", "Close", "Recent Files", "-",
                                        "Print", "Print Preview...", "-", "Exit"}));
        captions.clear();
        for (QAction* a : f.window->mmiView->actions())
            captions << a->text();
        QCOMPARE(captions, QStringList({"Zoom In", "Zoom Out", "Fit To Screen", "1:1 Show",
                                        "Previous  Scale", "Without Border"}));

        struct Button {
            QToolButton* button;
            int left;
            const char* hint;
            int tag;
        };
        TfmMain& w = *f.window;
        const Button buttons[] = {{w.BtnOpen, 3, "Open", 0},
                                  {w.BtnSave, 28, "Save to picture", 1},
                                  {w.BtnPrint, 53, "Print Preview", 2},
                                  {w.BtnPrint1, 78, "Print 1:1", 2},
                                  {w.BtnPlus, 107, "Zoom in (+)", 2},
                                  {w.BtnMinus, 132, "Zoom out (-)", 2},
                                  {w.BtnReal, 157, "1:1 View", 2},
                                  {w.BtnPrev, 182, "Previous scale", 2},
                                  {w.btnLayers, 207, "Layers", 1},
                                  {w.btnFitToScreen, 232, "Fit To Screen", 2},
                                  {w.btnIsWithoutBorder, 257, "Border off/on", 1}};
        for (const Button& b : buttons) {
            QCOMPARE(b.button->geometry(), QRect(b.left, 5, 25, 25));
            QCOMPARE(b.button->toolTip(), QString::fromLatin1(b.hint));
            QCOMPARE(b.button->property("tag").toInt(), b.tag);
            QVERIFY(b.button->autoRaise());
            QVERIFY(!b.button->icon().isNull() || b.button == w.BtnReal);
        }
        QCOMPARE(w.BtnReal->text(), QStringLiteral("1:1"));
        QVERIFY(w.BtnReal->font().bold());
        QCOMPARE(w.cbLayouts->toolTip(), QStringLiteral("Show Layout"));
        QVERIFY(!w.cbLayouts->isEditable());
        QCOMPARE(w.cbLayouts->x(), 312);
        QVERIFY(!w.windowIcon().isNull());
    }

    void layoutsComboStretchesWithTheWindow() {
        ViewerFixture f;
        f.window->resize(900, 500);
        QTest::qWait(20);
        const int narrow = f.window->cbLayouts->width();
        f.window->resize(1200, 500);
        QTRY_COMPARE(f.window->cbLayouts->width(), narrow + 300);
        QCOMPARE(f.window->cbLayouts->x(), 312);
    }

    void enabledStatesFollowTheTags() {
        ViewerFixture f;
        // Before any load the tables apply: Print and Print Preview are on.
        QStringList start = enabledTags(*f.window);
        QVERIFY(start.contains("mmiPrint=1"));
        QVERIFY(start.contains("mmiPrintPreview=1"));
        QVERIFY(start.contains("mmiOpen=1"));
        QVERIFY(start.contains("BtnOpen=1"));
        QVERIFY(start.contains("BtnPlus=0"));
        QVERIFY(start.contains("mmiClose=0"));
        QVERIFY(start.contains("mmiIsWithoutBorder=0"));

        f.loadRaster();
        QStringList raster = enabledTags(*f.window);
        for (const char* on : {"BtnPlus=1", "BtnPrint=1", "BtnPrint1=1", "btnFitToScreen=1",
                               "mmiClose=1", "mmiZoomIn=1", "mmiPrint=1", "mmiPrevScale=1"})
            QVERIFY2(raster.contains(on), on);
        for (const char* off : {"BtnSave=0", "btnLayers=0", "btnIsWithoutBorder=0", "mmiSave=0",
                                "mmiIsWithoutBorder=0"})
            QVERIFY2(raster.contains(off), off);

        f.loadDrawing();
        QStringList drawing = enabledTags(*f.window);
        for (const char* on : {"BtnSave=1", "btnLayers=1", "btnIsWithoutBorder=1", "mmiSave=1",
                               "mmiIsWithoutBorder=1", "BtnPlus=1"})
            QVERIFY2(drawing.contains(on), on);

        f.window->mmiClose->trigger();
        QStringList closed = enabledTags(*f.window);
        for (const char* off : {"BtnPlus=0", "mmiClose=0", "mmiPrint=0", "mmiPrintPreview=0",
                                "btnLayers=0", "mmiIsWithoutBorder=0"})
            QVERIFY2(closed.contains(off), off);
        // Tag 0 and the top-level items are never touched.
        QVERIFY(closed.contains("BtnOpen=1"));
        QVERIFY(closed.contains("mmiExit=1"));
        QVERIFY(f.window->mmiFile->menuAction()->isEnabled());
        QCOMPARE(f.control->callsNamed("CloseFile").size(), 1);
    }

    void zoomCommandsUseHalfTheOuterWindowSize() {
        ViewerFixture f;
        f.loadRaster();
        f.window->resize(777, 455);
        QTest::qWait(20);
        const QRect frame = f.window->frameGeometry();
        const int x = frame.width() / 2, y = frame.height() / 2;
        f.control->log.clear();
        QTest::mouseClick(f.window->BtnPlus, Qt::LeftButton);
        f.window->mmiZoomOut->trigger();
        QTest::mouseClick(f.window->BtnReal, Qt::LeftButton);
        QCOMPARE(f.control->callsNamed("ZoomAt"),
                 QStringList({QStringLiteral("ZoomAt(0,2,%1,%2)").arg(x).arg(y),
                              QStringLiteral("ZoomAt(0,0.5,%1,%2)").arg(x).arg(y),
                              QStringLiteral("ZoomAt(1,1,%1,%2)").arg(x).arg(y)}));
    }

    void otherViewCommands() {
        ViewerFixture f;
        f.loadDrawing();
        f.control->log.clear();
        QTest::mouseClick(f.window->btnFitToScreen, Qt::LeftButton);
        f.window->mmiPrevScale->trigger();
        f.window->BtnPrintClick();
        QCOMPARE(f.control->log,
                 QStringList({"ExecuteCommand(4)", "PreviousScale()", "ExecuteCommand(14)"}));
        // BtnPrintClick belongs to no component: the buttons run the window's
        // own preview, 1:1 print and save, never the control's commands.
        f.loadRaster(300, 100);
        f.control->log.clear();
        QStringList runs;
        f.window->setPrintRunner([&](QWidget*, QPrinter& printer, bool preview,
                                     const QString& title, const std::function<void(QPrinter&)>&) {
            runs << QStringLiteral("%1 %2 %3")
                        .arg(title)
                        .arg(preview)
                        .arg(printer.pageLayout().orientation() == QPageLayout::Landscape);
        });
        QSize offered;
        f.window->setSaveAsker([&](QWidget*, QString&, QSize& pixels) {
            offered = pixels;
            return false; // cancelled: nothing is written
        });
        QTest::mouseClick(f.window->BtnPrint, Qt::LeftButton);
        QTest::mouseClick(f.window->BtnSave, Qt::LeftButton);
        f.window->mmiPrint->trigger();
        QCOMPARE(runs, QStringList({"Print Preview 1 1", "Print 0 1"}));
        // Save is for drawings only (Tag 1): nothing is asked for a raster image.
        QCOMPARE(offered, QSize(-1, -1));
        QVERIFY(f.control->callsNamed("ExecuteCommand").isEmpty());
        QVERIFY(f.infos.isEmpty());
    }

    void borderMarkTogglesOnlyFromTheMenuItem() {
        ViewerFixture f;
        f.loadDrawing();
        QVERIFY(!f.window->mmiIsWithoutBorder->isChecked());
        QTest::mouseClick(f.window->btnIsWithoutBorder, Qt::LeftButton);
        QVERIFY(f.control->withoutBorder);
        QVERIFY(!f.window->mmiIsWithoutBorder->isChecked());
        f.window->mmiIsWithoutBorder->trigger();
        QVERIFY(!f.control->withoutBorder);
        QVERIFY(f.window->mmiIsWithoutBorder->isChecked()); // now disagrees with the control
        f.window->mmiIsWithoutBorder->trigger();
        QVERIFY(f.control->withoutBorder);
        QVERIFY(!f.window->mmiIsWithoutBorder->isChecked());
    }

    void layersCommandRefreshesOnlyWithADrawingObject() {
        ViewerFixture f;
        f.loadRaster();
        f.control->log.clear();
        f.window->btnLayersClick();
        QVERIFY(f.control->log.isEmpty());
        f.loadDrawing();
        f.control->log.clear();
        setLayersDialogShownHook([](TfmLayers& form) { form.reject(); });
        QTest::mouseClick(f.window->btnLayers, Qt::LeftButton);
        setLayersDialogShownHook({});
        // Cancelled with no layers touched: only the window's own refresh.
        QCOMPARE(f.control->log, QStringList({"RefreshView()"}));
    }

    void escapeRunsExit() {
        ViewerFixture f;
        f.window->activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(f.window.get()));
        QTest::keyClick(f.window.get(), Qt::Key_Escape);
        QTRY_VERIFY(!f.window->isVisible());
    }

    void openPassesTheChosenFileAndCancelDoesNothing() {
        ViewerFixture f;
        QStringList seenFilters;
        int seenIndex = -1;
        QString answer = QStringLiteral("/data/Plan One.DXF");
        f.window->setFileChooser([&](QWidget*, const QStringList& filters, int index) {
            seenFilters = filters;
            seenIndex = index;
            return answer;
        });
        QTest::mouseClick(f.window->BtnOpen, Qt::LeftButton);
        QCOMPARE(f.control->callsNamed("LoadFile"), QStringList({"LoadFile(/data/Plan One.DXF)"}));
        QCOMPARE(seenIndex, 1);
        QCOMPARE(seenFilters.value(0), QStringLiteral("All Files (*)"));

        answer.clear();
        f.control->log.clear();
        f.window->mmiOpen->trigger();
        QVERIFY(f.control->log.isEmpty());
        QVERIFY(f.errors.isEmpty());
    }

    void openDialogFilterInQtForm() {
        const QStringList filters = toQtNameFilters(TfmMain::openDialogFilter());
        QCOMPARE(filters.size(), 26);
        QCOMPARE(filters[0], QStringLiteral("All Files (*)"));
        QCOMPARE(filters[3], QStringLiteral("*.emf (*.emf)"));
        QCOMPARE(filters[5], QStringLiteral("JPEG (*.jpg *jpeg)"));
        QCOMPARE(filters[6], QStringLiteral("GIF (*.gif)"));
        QVERIFY(filters[1].startsWith(QStringLiteral("CAD drawings (*.dwg *.dxf *.plt ")));
        QVERIFY(filters[1].endsWith(QStringLiteral("*.cgm *.svg)")));
        QCOMPARE(filters[17], QStringLiteral("Truevision images *.tga;*.vst;*.icb;*.vda;*.win "
                                             "(*.tga *.vst *.icb *.vda *.win)"));
        // Every file passes "All Files", with or without an extension.
        for (const char* name : {"README", "plan.dxf", ".hidden", "a.b.c"})
            QVERIFY2(nameFilterMatches(filters[0], QString::fromLatin1(name)), name);
        QVERIFY(nameFilterMatches(filters[1], QStringLiteral("PLAN.DXF")));
        QVERIFY(nameFilterMatches(filters[2], QStringLiteral("Photo.Png")));
        QVERIFY(!nameFilterMatches(filters[2], QStringLiteral("plan.dxf")));
        QVERIFY(!nameFilterMatches(filters[1], QStringLiteral("notes.txt")));
    }

    void failingHandlerIsReportedAndTheProgramGoesOn() {
        ViewerFixture f;
        f.loadDrawing();
        f.control->failing.insert(QStringLiteral("ZoomAt"));
        QTest::mouseClick(f.window->BtnPlus, Qt::LeftButton);
        QCOMPARE(f.errors, QStringList({"ZoomAt failed"}));
        f.window->mmiZoomIn->trigger();
        QTRY_COMPARE(f.errors.size(), 2);
        // The window still works.
        f.control->failing.clear();
        f.control->log.clear();
        QTest::mouseClick(f.window->BtnPlus, Qt::LeftButton);
        QCOMPARE(f.control->callsNamed("ZoomAt").size(), 1);
        QCOMPARE(f.errors.size(), 2);
    }

    void failingLoadEndsTheHandlerAtThatStep() {
        ViewerFixture f;
        f.loadDrawing({"Model"});
        // The after-load handler fails at its fit step: the state refresh and
        // file name before it have happened, the size after it has not.
        f.control->failing.insert(QStringLiteral("ExecuteCommand"));
        f.control->rasterWidth = 10;
        f.control->rasterHeight = 20;
        f.control->nextContent = Content::Raster;
        f.control->LoadFile(QStringLiteral("/tmp/next.png"));
        QTRY_COMPARE(f.errors, QStringList({"ExecuteCommand failed"}));
        QCOMPARE(f.window->sbPanels[0]->text(), QStringLiteral("next.png"));
        QCOMPARE(f.window->sbPanels[1]->text(), QString());
        QVERIFY(f.window->BtnPlus->isEnabled());
        QVERIFY(!f.window->btnLayers->isEnabled());
    }

    void droppedFileIsLoaded() {
        ViewerFixture f;
        QMimeData data;
        data.setUrls({QUrl::fromLocalFile(QStringLiteral("/tmp/dropped plan.dxf"))});
        const QPointF at = f.window->rect().center();
        QDragEnterEvent enter(at.toPoint(), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(f.window.get(), &enter);
        QVERIFY(enter.isAccepted());
        QDropEvent drop(at, Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(f.window.get(), &drop);
        QTRY_COMPARE(f.control->callsNamed("LoadFile"),
                     QStringList({"LoadFile(/tmp/dropped plan.dxf)"}));

        // Text that is not a file is refused.
        QMimeData text;
        text.setText(QStringLiteral("hello"));
        QDragEnterEvent refused(at.toPoint(), Qt::CopyAction, &text, Qt::LeftButton,
                                Qt::NoModifier);
        refused.setAccepted(false);
        QApplication::sendEvent(f.window.get(), &refused);
        QVERIFY(!refused.isAccepted());
    }
};

VIEWER_TEST_MAIN(TestMainWindow)
#include "test_main_window.moc"
