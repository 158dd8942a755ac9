#include "application.h"
#include "main_window.h"

#include "DrawingView.h"
#include "close_up_combobox.h"

#include <QDockWidget>
#include <QImage>
#include <QLabel>
#include <QStatusBar>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <QToolButton>

// The main window around the real drawing control.
class TestRealControl : public QObject {
    Q_OBJECT

private slots:
    void loadsARasterImageAndReportsIt() {
        QTemporaryDir dir;
        QVERIFY(dir.isValid());
        const QString path = dir.filePath(QStringLiteral("checker.png"));
        QImage image(64, 32, QImage::Format_RGB32);
        image.fill(Qt::white);
        for (int y = 0; y < 32; ++y)
            for (int x = 0; x < 64; ++x)
                if ((x / 8 + y / 8) % 2)
                    image.setPixel(x, y, qRgb(20, 40, 160));
        QVERIFY(image.save(path));

        QStringList errors;
        static_cast<TApplication*>(QCoreApplication::instance())
            ->setErrorReporter([&](const QString& m) { errors << m; });
        TfmMain window([](QWidget* parent) { return new dv::DrawingView(parent); });
        window.resize(900, 600);
        window.show();
        QVERIFY(QTest::qWaitForWindowExposed(&window));

        window.openFile(path);
        QCOMPARE(errors, QStringList());
        QCOMPARE(window.sbPanels[0]->text(), QStringLiteral("checker.png"));
        QCOMPARE(window.sbPanels[1]->text(), QStringLiteral("64 x 32"));
        QVERIFY(window.BtnPlus->isEnabled());
        QVERIFY(!window.btnLayers->isEnabled());
        QCOMPARE(window.cbLayouts->count(), 0);

        // The image's top-left pixel under the mouse.
        const auto rect = window.DrawingView->GetImageRect();
        window.DrawingViewMouseMove(0, rect.Left, rect.Top);
        QCOMPARE(window.sbPanels[2]->text(), QStringLiteral("(0; 0)"));

        // A broken file is reported and the window goes on.
        const QString broken = dir.filePath(QStringLiteral("broken.png"));
        QFile file(broken);
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write("\x89PNG\r\n\x1a\n not really");
        file.close();
        QTimer::singleShot(0, &window, guarded([&] { window.openFile(broken); }));
        QTRY_COMPARE(errors.size(), 1);
        QVERIFY2(errors[0].contains(QStringLiteral("broken.png")), qPrintable(errors[0]));

        // A left-drag on the drawing floats it out of the window.
        QWidget* control = window.DrawingView->widget();
        const QPoint start = control->rect().center();
        QTest::mousePress(control, Qt::LeftButton, {}, start);
        for (int step = 1; step <= 5; ++step)
            QTest::mouseMove(control, start + QPoint(step * 10, step * 5));
        QTest::mouseRelease(control, Qt::LeftButton, {}, start + QPoint(50, 25));
        QTRY_VERIFY(window.dockDrawing->isFloating());
        QVERIFY(control->isVisible());
        window.dockDrawing->setFloating(false);
        QTRY_VERIFY(!window.dockDrawing->isFloating());

        window.mmiCloseClick();
        QVERIFY(!window.BtnPlus->isEnabled());
        static_cast<TApplication*>(QCoreApplication::instance())->setErrorReporter({});
    }
};

int main(int argc, char** argv) {
    TApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("Vistrel"));
    TestRealControl test;
    return QTest::qExec(&test, argc, argv);
}
#include "test_real_control.moc"
