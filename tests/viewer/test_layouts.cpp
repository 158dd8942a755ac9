#include "viewer_test.h"

#include "close_up_combobox.h"

#include <QAbstractItemView>
#include <QSignalSpy>

using Content = FakeDrawingView::Content;

class TestLayouts : public QObject {
    Q_OBJECT

    static QStringList items(const QComboBox* box) {
        QStringList result;
        for (int i = 0; i < box->count(); ++i)
            result << box->itemText(i);
        return result;
    }

private slots:
    void afterLoadListsAndSelectsTheActiveLayout() {
        ViewerFixture f;
        f.loadDrawing({"Model", "Sheet A", "Sheet B"}, 2);
        QCOMPARE(items(f.window->cbLayouts), QStringList({"Model", "Sheet A", "Sheet B"}));
        QCOMPARE(f.window->cbLayouts->currentIndex(), 2);
        QCOMPARE(f.control->OnLayoutChange.connectionCount(), 1);
        QCOMPARE(f.control->image->OnLayoutChange.connectionCount(), 1);
    }

    void rasterAfterDrawingEmptiesTheList() {
        ViewerFixture f;
        f.loadDrawing({"Model", "Sheet"}, 1);
        f.loadRaster();
        QCOMPARE(f.window->cbLayouts->count(), 0);
        QCOMPARE(f.window->cbLayouts->currentText(), QString());
        // Not following layout changes while a raster image is shown.
        QCOMPARE(f.control->OnLayoutChange.connectionCount(), 0);
        QCOMPARE(f.control->image->OnLayoutChange.connectionCount(), 0);
    }

    void closeEmptiesTheListButKeepsFollowing() {
        ViewerFixture f;
        f.loadDrawing({"Model", "Sheet"});
        f.window->mmiCloseClick();
        QCOMPARE(f.window->cbLayouts->count(), 0);
        QCOMPARE(f.control->OnLayoutChange.connectionCount(), 1);
        QCOMPARE(f.control->image->OnLayoutChange.connectionCount(), 1);
        // A pick on an empty control does nothing.
        f.control->log.clear();
        f.window->cbLayoutsCloseUp();
        QVERIFY(f.control->log.isEmpty());
    }

    void nothingIsFollowedWhileLoading() {
        ViewerFixture f;
        f.loadDrawing({"Model", "Sheet"});
        f.window->DrawingViewBeforeLoad();
        QCOMPARE(f.control->OnLayoutChange.connectionCount(), 0);
        QCOMPARE(f.control->image->OnLayoutChange.connectionCount(), 0);
        f.control->image->showLayout(1); // raised by the old drawing: ignored
        QCOMPARE(f.window->cbLayouts->currentIndex(), 0);
    }

    void followSelectsTheFirstMatchIgnoringCase() {
        ViewerFixture f;
        f.loadDrawing({"Model", "Sheet", "SHEET", "Other"}, 0);
        f.control->image->showLayout(2); // "SHEET" → first of the equal names
        QCOMPARE(f.window->cbLayouts->currentIndex(), 1);
        f.control->image->current = std::make_shared<FakeLayout>("other");
        f.control->OnLayoutChange();
        QCOMPARE(f.window->cbLayouts->currentIndex(), 3);
        f.control->image->current = std::make_shared<FakeLayout>("Missing");
        f.control->OnLayoutChange();
        QCOMPARE(f.window->cbLayouts->currentIndex(), -1);
        QCOMPARE(f.window->cbLayouts->currentText(), QString());
    }

    void followWithoutAConnectedDrawingDoesNothing() {
        ViewerFixture f;
        f.control->OnLayoutChange(); // before any load
        QVERIFY(f.errors.isEmpty());
        QCOMPARE(f.window->cbLayouts->count(), 0);
    }

    void pickSetsTheLayoutFitsAndFocusesTheControl() {
        ViewerFixture f;
        f.loadDrawing({"Model", "Sheet A", "Sheet B"}, 0);
        f.window->activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(f.window.get()));
        f.window->cbLayouts->setFocus();
        f.window->cbLayouts->setCurrentIndex(1);
        f.control->log.clear();
        f.window->cbLayoutsCloseUp();
        QCOMPARE(f.control->log, QStringList({"setCurrentLayout(Sheet A)", "ExecuteCommand(4)"}));
        QVERIFY(f.control->hasFocus());
        // The same layout again is set again and refitted.
        f.control->log.clear();
        f.window->cbLayoutsCloseUp();
        QCOMPARE(f.control->log, QStringList({"setCurrentLayout(Sheet A)", "ExecuteCommand(4)"}));
    }

    void pickingFromTheListRaisesCloseUpAfterTheSelection() {
        ViewerFixture f;
        f.loadDrawing({"Model", "Sheet A", "Sheet B"}, 0);
        QComboBox* box = f.window->cbLayouts;
        box->showPopup();
        QAbstractItemView* view = box->view();
        QTRY_VERIFY(view->isVisible());
        f.control->log.clear();
        const QRect item = view->visualRect(view->model()->index(2, 0));
        QTest::mouseClick(view->viewport(), Qt::LeftButton, {}, item.center());
        QTRY_COMPARE(f.control->callsNamed("setCurrentLayout"),
                     QStringList({"setCurrentLayout(Sheet B)"}));
        QCOMPARE(box->currentIndex(), 2);

        // Closing without a pick (Esc) also closes up: the same layout again.
        f.control->log.clear();
        box->showPopup();
        QTRY_VERIFY(view->isVisible());
        QTest::keyClick(view, Qt::Key_Escape);
        QTRY_COMPARE(f.control->callsNamed("setCurrentLayout"),
                     QStringList({"setCurrentLayout(Sheet B)"}));
        QTest::qWait(20);
        QCOMPARE(f.control->callsNamed("setCurrentLayout").size(), 1); // exactly once
    }

    void arrowKeysOnTheClosedListPickNothing() {
        ViewerFixture f;
        f.loadDrawing({"Model", "Sheet A"}, 0);
        f.window->activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(f.window.get()));
        f.window->cbLayouts->setFocus();
        f.control->log.clear();
        QTest::keyClick(f.window->cbLayouts, Qt::Key_Down);
        QTest::qWait(20);
        QCOMPARE(f.window->cbLayouts->currentIndex(), 1);
        QVERIFY(f.control->callsNamed("setCurrentLayout").isEmpty());
    }

    void drawingWithoutConverterGivesAnEmptyList() {
        ViewerFixture f;
        f.control->image->withConverter = false;
        f.loadDrawing({"Model"});
        QVERIFY(f.errors.isEmpty());
        QCOMPARE(f.window->cbLayouts->count(), 0);
        QVERIFY(f.control->log.contains("ExecuteCommand(4)")); // the load still ends fitted
        f.control->log.clear();
        f.window->cbLayoutsCloseUp();
        QVERIFY(f.control->log.isEmpty());
    }
};

VIEWER_TEST_MAIN(TestLayouts)
#include "test_layouts.moc"
