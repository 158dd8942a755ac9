#include "viewer_test.h"

#include <QCursor>
#include <QDockWidget>
#include <QMenuBar>
#include <QScreen>
#include <QStatusBar>
#include <QToolBar>

class TestDocking : public QObject {
    Q_OBJECT

    // The part of the window between the toolbar and the status bar.
    static QRect clientArea(TfmMain& w) {
        const int top = w.tbMain->geometry().bottom() + 1;
        const int bottom = w.sbStatus->geometry().top() - 1;
        return QRect(QPoint(0, top), QPoint(w.width() - 1, bottom));
    }

    static void verifyFills(TfmMain& w, QWidget* control) {
        QVERIFY(!w.dockDrawing->isFloating());
        const QRect area = clientArea(w);
        const QRect placed(control->mapTo(&w, QPoint(0, 0)), control->size());
        // A pixel or two of frame is all that may lie between them.
        QVERIFY2(
            qAbs(placed.left() - area.left()) <= 2 && qAbs(placed.right() - area.right()) <= 2 &&
                qAbs(placed.top() - area.top()) <= 2 && qAbs(placed.bottom() - area.bottom()) <= 2,
            qPrintable(QStringLiteral("control at %1,%2 %3x%4, client area %5,%6 %7x%8")
                           .arg(placed.x())
                           .arg(placed.y())
                           .arg(placed.width())
                           .arg(placed.height())
                           .arg(area.x())
                           .arg(area.y())
                           .arg(area.width())
                           .arg(area.height())));
    }

    // Floats the drawing out, drags it by its title to `x` of the window's middle height and
    // checks it docks there and fills the window again.
    static void dragFloatingTitle(ViewerFixture& f, QPoint to) {
        f.window->resize(1000, 700);
        QTest::qWait(50);
        f.control->OnStartDrag();
        QTRY_VERIFY(f.window->dockDrawing->isFloating());
        QTRY_VERIFY(f.window->dockDrawing->titleBarWidget() == nullptr);
        QTest::qWait(50);
        QDockWidget* dock = f.window->dockDrawing;
        const QPoint grip(dock->width() / 2, f.control->mapTo(dock, QPoint(0, 0)).y() / 2);
        const QPoint from = dock->mapToGlobal(grip);
        const QPoint target = f.window->mapToGlobal(QPoint(to.x(), f.window->height() / 2));
        QTest::mousePress(dock, Qt::LeftButton, {}, grip);
        for (int step = 1; step <= 20; ++step) {
            const QPoint at = from + (target - from) * step / 20;
            QCursor::setPos(at);
            QTest::mouseMove(dock, dock->mapFromGlobal(at));
            QTest::qWait(10);
        }
        QTest::mouseRelease(dock, Qt::LeftButton, {}, dock->mapFromGlobal(target));
        QTRY_VERIFY(!dock->isFloating());
        QTest::qWait(100);
        verifyFills(*f.window, f.control);
    }

private slots:
    void dockedControlFillsTheWindow() {
        ViewerFixture f;
        f.window->resize(1000, 700);
        QTest::qWait(50);
        verifyFills(*f.window, f.control);
        f.window->resize(700, 500);
        QTest::qWait(50);
        verifyFills(*f.window, f.control);
    }

    void startDragFloatsAndDockDropFillsAgain() {
        ViewerFixture f;
        f.window->resize(1000, 700);
        QTest::qWait(50);
        f.control->OnStartDrag();
        f.control->OnEndDrag();
        QTRY_VERIFY(f.window->dockDrawing->isFloating());
        QVERIFY(f.window->dockDrawing->isWindow());
        QVERIFY(f.window->dockDrawing->isVisible());
        QVERIFY(f.control->isVisible());

        // The user drops it back on the window (as a title-bar drag or
        // double-click does).
        f.window->dockDrawing->setFloating(false);
        QTest::qWait(50);
        verifyFills(*f.window, f.control);
        QTRY_VERIFY(f.window->dockDrawing->titleBarWidget() != nullptr); // no title when docked
    }

    void dragFromTheFloatingWindowDocksWhenDroppedOnTheWindow() {
        ViewerFixture f;
        f.window->resize(1000, 700);
        QTest::qWait(50);
        f.control->OnStartDrag();
        f.control->OnEndDrag();
        QTRY_VERIFY(f.window->dockDrawing->isFloating());
        QTRY_VERIFY(f.window->dockDrawing->titleBarWidget() == nullptr); // a title to drag by

        // Dropped away from the main window: stays floating.
        QCursor::setPos(f.window->frameGeometry().bottomRight() + QPoint(300, 300));
        f.control->OnStartDrag();
        f.control->OnEndDrag();
        QVERIFY(f.window->dockDrawing->isFloating());

        // Dropped on the main window: docks and fills.
        QCursor::setPos(f.window->frameGeometry().center());
        f.control->OnStartDrag();
        f.control->OnEndDrag();
        QTRY_VERIFY(!f.window->dockDrawing->isFloating());
        QTest::qWait(50);
        verifyFills(*f.window, f.control);
    }

    void doubleClickOnTheFloatingTitleDocksBack() {
        // Only X11 gets Qt's own title bar on a floating dock; elsewhere the
        // window manager owns it.
        if (QGuiApplication::platformName() != QLatin1String("xcb"))
            QSKIP("needs the xcb platform (run under Xvfb)");
        ViewerFixture f;
        f.window->resize(1000, 700);
        QTest::qWait(50);
        f.control->OnStartDrag();
        QTRY_VERIFY(f.window->dockDrawing->isFloating());
        QTest::qWait(50);
        const QPoint title(f.window->dockDrawing->width() / 2,
                           f.control->mapTo(f.window->dockDrawing, QPoint(0, 0)).y() / 2);
        QTest::mouseDClick(f.window->dockDrawing, Qt::LeftButton, {}, title);
        QTRY_VERIFY(!f.window->dockDrawing->isFloating());
        QTest::qWait(50);
        verifyFills(*f.window, f.control);
    }

    // Near the window's edge Qt docks it itself.
    void draggingTheFloatingTitleOntoTheWindowDocksBack() {
        if (QGuiApplication::platformName() != QLatin1String("xcb"))
            QSKIP("needs the xcb platform (run under Xvfb)");
        ViewerFixture f;
        dragFloatingTitle(f, QPoint(60, 0));
    }

    void floatingWindowOpensWhollyOnTheScreenNextToTheCursor() {
        ViewerFixture f;
        f.window->resize(1000, 700);
        QTest::qWait(50);
        const QRect free = f.window->screen()->availableGeometry();
        const QPoint spots[] = {free.bottomRight() - QPoint(5, 5), free.topLeft() + QPoint(5, 5),
                                free.center(), QPoint(free.right() - 5, free.top() + 5)};
        for (const QPoint& cursor : spots) {
            QCursor::setPos(cursor);
            QTRY_COMPARE(QCursor::pos(), cursor);
            f.control->OnStartDrag();
            f.control->OnEndDrag();
            QTRY_VERIFY(f.window->dockDrawing->isFloating());
            QTest::qWait(50);
            const QRect placed = f.window->dockDrawing->frameGeometry();
            const QString where = QStringLiteral("cursor %1,%2: window at %3,%4 %5x%6")
                                      .arg(cursor.x())
                                      .arg(cursor.y())
                                      .arg(placed.x())
                                      .arg(placed.y())
                                      .arg(placed.width())
                                      .arg(placed.height());
            QVERIFY2(free.contains(placed), qPrintable(where));
            QVERIFY2(placed.contains(cursor), qPrintable(where));
            const QSize inner = f.window->dockDrawing->size();
            QVERIFY2(inner.width() <= f.window->width() && inner.height() <= f.window->height(),
                     qPrintable(where));
            f.window->dockDrawing->setFloating(false);
            QTRY_VERIFY(!f.window->dockDrawing->isFloating());
        }
    }

    void draggingTheFloatingTitleOverTheMiddleDocksBack() {
        if (QGuiApplication::platformName() != QLatin1String("xcb"))
            QSKIP("needs the xcb platform (run under Xvfb)");
        ViewerFixture f;
        QCursor::setPos(f.window->frameGeometry().bottomRight() + QPoint(200, 100));
        dragFloatingTitle(f, QPoint(500, 0));
    }

    void floatingDrawingCannotBeClosedAway() {
        ViewerFixture f;
        QVERIFY(!(f.window->dockDrawing->features() & QDockWidget::DockWidgetClosable));
    }
};

VIEWER_TEST_MAIN(TestDocking)
#include "test_docking.moc"
