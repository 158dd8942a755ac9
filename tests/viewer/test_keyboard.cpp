#include "viewer_test.h"

#include "close_up_combobox.h"

#include <QAbstractItemView>
#include <QMenu>
#include <QMenuBar>
#include <QWindow>

// The keyboard as a user meets it: keys go in through the window system, so an open list or
// menu gets them before the window's shortcuts.
class TestKeyboard : public QObject {
    Q_OBJECT

private slots:
    void escapeClosesAnOpenListOrMenuAndNothingMore() {
        ViewerFixture f;
        f.loadDrawing({"Model", "Sheet A"});
        f.window->activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(f.window.get()));
        QWindow* keyboard = f.window->windowHandle();

        f.window->cbLayouts->showPopup();
        QAbstractItemView* list = f.window->cbLayouts->view();
        QTRY_VERIFY(list->isVisible());
        QTest::keyClick(keyboard, Qt::Key_Escape);
        QTRY_VERIFY(!list->isVisible());
        QTest::qWait(50);
        QVERIFY(f.window->isVisible());

        f.window->mmMain->setActiveAction(f.window->mmiFile->menuAction());
        QTRY_VERIFY(f.window->mmiFile->isVisible());
        QTest::keyClick(keyboard, Qt::Key_Escape);
        QTRY_VERIFY(!f.window->mmiFile->isVisible());
        QTest::qWait(50);
        QVERIFY(f.window->isVisible());
        // As menu bars do, the bar keeps the keyboard after its menu closes; Esc leaves it.
        QCOMPARE(f.window->mmMain->activeAction(), f.window->mmiFile->menuAction());
        QTest::keyClick(keyboard, Qt::Key_Escape);
        QTest::qWait(50);
        QVERIFY(f.window->isVisible());
        QVERIFY(!f.window->mmMain->activeAction());

        // Nothing open any more: Esc is Exit again.
        QTRY_VERIFY(QApplication::activePopupWidget() == nullptr);
        f.window->activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(f.window.get()));
        // Offscreen, a closed menu stays the active window; a real window system hands
        // activation back.
        if (QApplication::activeWindow() != f.window.get())
            QSKIP("the platform does not hand activation back after a popup (run under Xvfb)");
        QTest::keyClick(keyboard, Qt::Key_Escape);
        QTRY_VERIFY(!f.window->isVisible());
    }

    void keyboardZoomsAsTheButtonsDo() {
        ViewerFixture f;
        f.loadRaster();
        f.window->activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(f.window.get()));
        const QRect frame = f.window->frameGeometry();
        const QString in =
            QStringLiteral("ZoomAt(0,2,%1,%2)").arg(frame.width() / 2).arg(frame.height() / 2);
        const QString out =
            QStringLiteral("ZoomAt(0,0.5,%1,%2)").arg(frame.width() / 2).arg(frame.height() / 2);
        struct Press {
            Qt::Key key;
            Qt::KeyboardModifiers modifiers;
            QString call;
        };
        const Press presses[] = {
            {Qt::Key_Plus, Qt::NoModifier, in},       {Qt::Key_Minus, Qt::NoModifier, out},
            {Qt::Key_Plus, Qt::KeypadModifier, in},   {Qt::Key_Minus, Qt::KeypadModifier, out},
            {Qt::Key_Plus, Qt::ControlModifier, in},  {Qt::Key_Minus, Qt::ControlModifier, out},
            {Qt::Key_Equal, Qt::ControlModifier, in}, // Ctrl++ without Shift on most layouts
        };
        for (const Press& p : presses) {
            f.control->log.clear();
            QTest::keyClick(f.window->windowHandle(), p.key, p.modifiers);
            QCOMPARE(f.control->callsNamed("ZoomAt"), QStringList({p.call}));
        }
        // Nothing loaded: the zoom commands are off, and so are their keys.
        f.window->mmiCloseClick();
        f.control->log.clear();
        QTest::keyClick(f.window->windowHandle(), Qt::Key_Plus);
        QVERIFY(f.control->callsNamed("ZoomAt").isEmpty());
    }
};

VIEWER_TEST_MAIN(TestKeyboard)
#include "test_keyboard.moc"
