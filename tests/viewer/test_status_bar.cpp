#include "viewer_test.h"

#include "status_format.h"

#include <QLabel>
#include <QLocale>
#include <QStatusBar>

#include <limits>

using Content = FakeDrawingView::Content;

class TestStatusBar : public QObject {
    Q_OBJECT

    static int advance(TfmMain& w, const QString& text) {
        return w.sbStatus->fontMetrics().horizontalAdvance(text);
    }

private slots:
    void cleanup() { QLocale::setDefault(QLocale::c()); }

    void mulDivRoundsAndGuards() {
        QCOMPARE(mulDiv(640, 50, 100), 320);
        QCOMPARE(mulDiv(10, 1, 4), 3); // 2.5 rounds away from zero
        QCOMPARE(mulDiv(10, 1, 3), 3); // 3.33
        QCOMPARE(mulDiv(10, 2, 3), 7); // 6.67
        QCOMPARE(mulDiv(-10, 1, 4), -3);
        QCOMPARE(mulDiv(10, -1, 4), -3);
        QCOMPARE(mulDiv(10, 1, -4), -3);
        QCOMPARE(mulDiv(-10, -1, 4), 3);
        QCOMPARE(mulDiv(640, -7, 100), -45); // -44.8
        QCOMPARE(mulDiv(5, 7, 0), -1);
        QCOMPARE(mulDiv(0, 7, 0), -1);
        // The product needs 64 bits; the result fits.
        QCOMPARE(mulDiv(100000, 100000, 100000), 100000);
        QCOMPARE(mulDiv(std::numeric_limits<int>::max(), 2, 4), 1073741824);
        // The result itself does not fit.
        QCOMPARE(mulDiv(std::numeric_limits<int>::max(), 2, 1), -1);
    }

    void fixedFormatUsesTheLocaleSeparatorWithoutGrouping() {
        QCOMPARE(drawingPointText(1.5, -2, 0), QStringLiteral("(1.500; -2.000; 0.000)"));
        QCOMPARE(drawingSizeText(210, 297), QStringLiteral("210.000 x 297.000"));
        QCOMPARE(formatFixed3(1234567.25), QStringLiteral("1234567.250"));
        QCOMPARE(formatFixed3(-0.0004), QStringLiteral("-0.000"));
        QLocale::setDefault(QLocale(QLocale::German, QLocale::Germany));
        QCOMPARE(drawingSizeText(1234.5, 0.25), QStringLiteral("1234,500 x 0,250"));
        QCOMPARE(rasterSizeText(1024, 768), QStringLiteral("1024 x 768"));
        QCOMPARE(pixelPointText(-1, 12345), QStringLiteral("(-1; 12345)"));
    }

    void startWidthsAndProgressTexts() {
        ViewerFixture f;
        TfmMain& w = *f.window;
        QCOMPARE(w.sbPanels[0]->width(), 200);
        QCOMPARE(w.sbPanels[1]->width(), 100);
        QCOMPARE(w.sbPanels[2]->width(), 50);

        w.DrawingViewProgress(0, 37, false, QString());
        QCOMPARE(w.sbPanels[0]->text(), QStringLiteral("Load file 37% complete"));
        QCOMPARE(w.sbPanels[0]->width(), advance(w, "Load file 37% complete") + 16);
        w.DrawingViewProgress(0, 37, false, QStringLiteral("Msg"));
        QCOMPARE(w.sbPanels[0]->text(), QStringLiteral("Msg 37% complete"));

        // Progress has no upper limit on the panel.
        const QString longMsg(120, QLatin1Char('W'));
        w.DrawingViewProgress(0, 100, false, longMsg);
        const int longWidth = advance(w, longMsg + " 100% complete") + 16;
        QVERIFY(longWidth > 400);
        QCOMPARE(w.sbPanels[0]->width(), longWidth);
    }

    void afterLoadCapsTheFileNameAndShowsTheSize() {
        ViewerFixture f;
        TfmMain& w = *f.window;
        f.control->progressSteps = {{0, QString()}, {50, QString()}, {100, QString()}};
        f.control->image->width = 1.5;
        f.control->image->height = 1234.25;
        f.loadDrawing();
        QCOMPARE(w.sbPanels[0]->text(), QStringLiteral("plan.dxf"));
        QCOMPARE(w.sbPanels[0]->width(), advance(w, "plan.dxf") + 16);
        QCOMPARE(w.sbPanels[1]->text(), QStringLiteral("1.500 x 1234.250"));
        QCOMPARE(w.sbPanels[1]->width(), advance(w, "1.500 x 1234.250") + 16);
        QVERIFY(f.control->log.contains("ExecuteCommand(4)"));

        const QString longName = QString(80, QLatin1Char('M')) + ".png";
        f.control->rasterWidth = 4000;
        f.control->rasterHeight = 3000;
        f.control->nextContent = Content::Raster;
        f.control->LoadFile("/tmp/" + longName);
        QCOMPARE(w.sbPanels[0]->text(), longName);
        QCOMPARE(w.sbPanels[0]->width(), 400);
        QCOMPARE(w.sbPanels[1]->text(), QStringLiteral("4000 x 3000"));
    }

    void beforeLoadClearsTheTexts() {
        ViewerFixture f;
        TfmMain& w = *f.window;
        f.loadDrawing();
        w.DrawingViewMouseMove(0, 1, 1);
        QVERIFY(!w.sbPanels[2]->text().isEmpty());
        w.DrawingViewBeforeLoad();
        for (QLabel* panel : w.sbPanels)
            QVERIFY(panel->text().isEmpty());
    }

    void closeKeepsTheTextsAndStopsMouseMoves() {
        ViewerFixture f;
        TfmMain& w = *f.window;
        f.loadDrawing();
        f.control->point = {1, 2, 3};
        w.DrawingViewMouseMove(0, 5, 5);
        w.mmiCloseClick();
        const QString texts[3] = {w.sbPanels[0]->text(), w.sbPanels[1]->text(),
                                  w.sbPanels[2]->text()};
        QCOMPARE(texts[2], QStringLiteral("(1.000; 2.000; 3.000)"));
        f.control->log.clear();
        f.control->point = {9, 9, 9};
        f.control->OnMouseMove(0, 7, 7);
        QCOMPARE(f.control->log, QStringList()); // nothing asked but IsEmpty
        for (int i = 0; i < 3; ++i)
            QCOMPARE(w.sbPanels[i]->text(), texts[i]);
    }

    void mouseMoveOverADrawing() {
        ViewerFixture f;
        TfmMain& w = *f.window;
        f.loadDrawing();
        f.control->point = {1.5, -2, 0};
        f.control->OnMouseMove(0, 40, 60);
        QVERIFY(f.control->log.contains("ScreenToDrawing(40,60)"));
        QCOMPARE(w.sbPanels[2]->text(), QStringLiteral("(1.500; -2.000; 0.000)"));
        QCOMPARE(w.sbPanels[2]->width(), advance(w, "(1.500; -2.000; 0.000)"));
    }

    void mouseMoveOverARasterGivesPixels() {
        ViewerFixture f;
        TfmMain& w = *f.window;
        f.loadRaster(640, 480);
        f.control->imageRect = {100, 50, 420, 290}; // shown at half size
        f.control->OnMouseMove(0, 260, 170);
        QCOMPARE(w.sbPanels[2]->text(), QStringLiteral("(320; 240)"));
        f.control->OnMouseMove(0, 90, 40); // left of and above the image
        QCOMPARE(w.sbPanels[2]->text(), QStringLiteral("(-20; -20)"));
        // A degenerate rectangle gives -1 rather than a division fault.
        f.control->imageRect = {100, 50, 100, 50};
        f.control->OnMouseMove(0, 260, 170);
        QCOMPARE(w.sbPanels[2]->text(), QStringLiteral("(-1; -1)"));
        QCOMPARE(w.sbPanels[2]->width(), advance(w, "(-1; -1)"));
    }

    void failingMouseMoveIsReported() {
        ViewerFixture f;
        f.loadDrawing();
        f.control->failing.insert("ScreenToDrawing");
        f.control->OnMouseMove(0, 1, 1);
        QTRY_COMPARE(f.errors, QStringList({"ScreenToDrawing failed"}));
    }
};

VIEWER_TEST_MAIN(TestStatusBar)
#include "test_status_bar.moc"
